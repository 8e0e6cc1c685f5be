#include "ui/debug_archive.h"

#include <ctime>
#include <filesystem>

#include "app/zip_archive.h"
#include "common/file_handle.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "ui/datx_transform.h"

namespace tb {

namespace {

namespace fs = std::filesystem;

// Every file below `folder`, named relative to it with '/' separators.
bool pack_folder(const std::string& folder, std::string& archive, std::string& error) {
    ZipWriter zip;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    std::error_code ec;
    for (fs::recursive_directory_iterator it(fs_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (!it->is_regular_file(fec)) continue;
        std::string name = utf8_path(fs::relative(it->path(), fs_path(folder), fec));
        for (char& c : name)
            if (c == '\\') c = '/';
        std::string data;
        if (fec || !read_file_bytes(utf8_path(it->path()), data)) {
            error = "cannot read " + utf8_path(it->path());
            return false;
        }
        if (!zip.add(name, data, kZipDeflated, 0644, now)) {
            error = "cannot pack " + name;
            return false;
        }
    }
    if (ec) {
        error = "cannot list " + folder;
        return false;
    }
    archive = zip.finish();
    return true;
}

}  // namespace

bool debug_archive_wanted() { return app().debug_level == 1 && !app().console_run(); }

DebugArchive write_debug_archive(const std::string& log_folder, const std::string& script_path,
                                 const std::string& program_folder) {
    DebugArchive out;
    if (log_folder.empty() || !folder_exists(log_folder)) {
        out.error = "no job log folder";
        return out;
    }
    std::error_code ec;
    if (!script_path.empty())
        fs::copy_file(fs_path(script_path), fs_path(path_join(log_folder, path_file_name(script_path))),
                      fs::copy_options::overwrite_existing, ec);

    std::string archive;
    if (!pack_folder(log_folder, archive, out.error)) return out;
    const std::string zip_path = log_folder + ".zip";
    std::string packed;
    if (!write_file_bytes(zip_path, archive) || !read_file_bytes(zip_path, packed)) {
        fs::remove(fs_path(zip_path), ec);
        out.error = "cannot write " + zip_path;
        return out;
    }
    out.path = path_join(program_folder, path_file_name(log_folder) + ".datx");
    out.written = write_file_bytes(out.path, datx_encode(packed));
    if (!out.written) out.error = "cannot write " + out.path;
    fs::remove(fs_path(zip_path), ec);
    return out;
}

}  // namespace tb
