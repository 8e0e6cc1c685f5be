#include "app/package_builder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/package.h"
#include "app/program_image.h"
#include "app/zip_archive.h"
#include "common/text.h"
#include "platform/host/replace_file.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "script/script_text.h"

namespace tb {

namespace fs = std::filesystem;

namespace {

bool read_whole(const std::string& path, std::string& out) {
    std::ifstream in(fs_path(path), std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

struct SourceFile {
    std::string name;  // in the archive
    std::string path;  // on disk
    unsigned mode = 0644;
    int64_t mtime = 0;
};

int64_t mtime_of(const fs::path& path, unsigned* mode) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) return 0;
    if (mode) *mode = static_cast<unsigned>(status.permissions() & fs::perms::all);
    const fs::file_time_type written = fs::last_write_time(path, ec);
    if (ec) return 0;
    const auto since_epoch = std::chrono::file_clock::to_sys(written).time_since_epoch();
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
}

}  // namespace

bool build_package_archive(const std::string& folder, const PackageBuildOptions& options,
                           std::string& archive, std::string& error, std::vector<std::string>* names) {
    archive.clear();
    error.clear();
    const fs::path root = fs_path(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        error = "not a folder: " + folder;
        return false;
    }

    // Every regular file, with its name relative to the folder.
    std::vector<SourceFile> files;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        SourceFile f;
        f.path = utf8_path(it->path());
        const std::u8string name = fs::relative(it->path(), root, ec).generic_u8string();
        f.name.assign(name.begin(), name.end());
        if (ec) break;
        f.mtime = mtime_of(it->path(), &f.mode);
        files.push_back(std::move(f));
    }
    if (ec) {
        error = "cannot list " + folder + ": " + ec.message();
        return false;
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });

    // The script: the chosen one, or the single plain script at the top.
    auto top_level = [](const SourceFile& f) { return f.name.find('/') == std::string::npos; };
    const SourceFile* script = nullptr;
    const SourceFile* encoded = nullptr;
    const SourceFile* info = nullptr;
    int plain_scripts = 0;
    for (const SourceFile& f : files) {
        if (!top_level(f)) continue;
        if (!options.script.empty()) {
            if (f.name == native_path(options.script)) script = &f;
        } else if (path_extension(f.name) == ".scpt") {
            ++plain_scripts;
            script = &f;
        }
        if (iequals(f.name, kPackageScriptName)) encoded = &f;
        if (iequals(f.name, kPackageInfoName)) info = &f;
    }
    if (!options.script.empty() && !script) {
        error = "no script " + options.script + " in " + folder;
        return false;
    }
    if (plain_scripts > 1) {
        error = "more than one *.scpt in " + folder + "; choose one with --script";
        return false;
    }
    if (script && encoded) {
        error = "both a plain script and " + std::string(kPackageScriptName) + " in " + folder;
        return false;
    }
    if (!script && !encoded) {
        error = "no *.scpt script (or " + std::string(kPackageScriptName) + ") in " + folder;
        return false;
    }
    if (!info) {
        error = "no " + std::string(kPackageInfoName) + " in " + folder;
        return false;
    }

    ZipWriter writer(options.qz_signature);
    const uint16_t method = options.deflate ? kZipDeflated : kZipStored;
    auto add = [&](const std::string& name, const std::string& data, const SourceFile& from) {
        if (!writer.add(name, data, method, from.mode, from.mtime)) {
            error = "cannot add " + name + " to the archive";
            return false;
        }
        if (names) names->push_back(name);
        return true;
    };

    std::string data;
    const SourceFile& script_file = script ? *script : *encoded;
    if (!read_whole(script_file.path, data)) {
        error = "cannot read " + script_file.path;
        return false;
    }
    if (script) encode_script_buffer(data);
    if (!add(std::string(kPackageScriptName), data, script_file)) return false;
    if (!read_whole(info->path, data)) {
        error = "cannot read " + info->path;
        return false;
    }
    if (!add(std::string(kPackageInfoName), data, *info)) return false;

    for (const SourceFile& f : files) {
        if (&f == script || &f == encoded || &f == info) continue;
        if (!read_whole(f.path, data)) {
            error = "cannot read " + f.path;
            return false;
        }
        if (!add(f.name, data, f)) return false;
    }
    archive = writer.finish();
    return true;
}

bool write_packaged_executable(const std::string& base, const std::string& archive,
                               const std::string& out, std::string& error) {
    std::string program;
    if (!read_whole(native_path(base), program)) {
        error = "cannot read " + base;
        return false;
    }
    // A player that already carries a package gives up the old one, even
    // one that lost its trailer.
    if (std::optional<uint64_t> image = program_image_size(base); image && *image < program.size())
        program.resize(static_cast<size_t>(*image));
    else if (std::optional<PackageLocation> old = find_embedded_package(base))
        program.resize(static_cast<size_t>(old->offset));

    const fs::path target = fs_path(out);
    fs::path temp = target;
    temp += ".tmp" + std::to_string(current_process_id());
    {
        std::ofstream o(temp, std::ios::binary | std::ios::trunc);
        o.write(program.data(), static_cast<std::streamsize>(program.size()));
        o.write(archive.data(), static_cast<std::streamsize>(archive.size()));
        std::string trailer = package_trailer(archive.size());
        o.write(trailer.data(), static_cast<std::streamsize>(trailer.size()));
        o.close();
        if (!o) {
            std::error_code ec;
            fs::remove(temp, ec);
            error = "cannot write " + out;
            return false;
        }
    }
    std::error_code ec;
    fs::permissions(temp, static_cast<fs::perms>(0755), ec);
    if (ec || !host::replace_file(temp, target, nullptr)) {
        fs::remove(temp, ec);
        error = "cannot write " + out;
        return false;
    }
    return true;
}

}  // namespace tb
