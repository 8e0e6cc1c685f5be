#include "app/package.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/package_filter.h"
#include "app/program_image.h"
#include "app/zip_limits.h"
#include "common/format.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "platform/host/file_position.h"
#include "platform/host/local_time.h"
#include "platform/host/open_file.h"
#include "platform/host/private_folder.h"
#include "platform/host/temp_folder.h"
#include "platform/host/user_identity.h"
#include "platform/paths.h"
#include "platform/process_identity.h"
#include "script/app_context.h"
#include "script/error_policy.h"

namespace tb {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Names of the regular files directly inside a folder, sorted.
std::vector<std::string> files_of(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fs_path(folder), ec)) {
        std::error_code type_ec;
        if (entry.is_regular_file(type_ec) && !entry.is_symlink(type_ec))
            names.push_back(utf8_path(entry.path().filename()));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return to_lower(a) < to_lower(b); });
    return names;
}

// A folder under the temporary folder that only this user controls: a real
// folder (not a link) owned by us. Created when missing.
bool private_folder(const std::string& path) {
    const std::filesystem::path p = fs_path(path);
    host::create_private_folder(p);
    return host::is_own_folder(p);
}

// Whether anything (a link included) already carries that name.
bool name_taken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(fs_path(path), ec));
}

std::atomic<unsigned> g_work_folder_counter{0};

}  // namespace

// ---------------------------------------------------------------- locating

std::string package_trailer(uint64_t archive_length) {
    std::string t;
    for (int i = 0; i < 8; ++i) t.push_back(static_cast<char>((archive_length >> (8 * i)) & 0xFF));
    t += kPackageMagic;
    return t;
}

std::optional<PackageLocation> find_embedded_package(const std::string& exe_path) {
    PackageProbe probe = probe_embedded_package(exe_path);
    if (probe.kind != PackageProbe::Kind::Present) return std::nullopt;
    return probe.where;
}

PackageProbe probe_embedded_package(const std::string& exe_path) {
    PackageProbe probe;
    const std::filesystem::path exe = fs_path(exe_path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(exe, ec)) return probe;
    FilePtr f(host::open_file(exe, "rb"));
    if (!f) return probe;
    const uint64_t size = std::filesystem::file_size(exe, ec);
    if (ec) return probe;
    const std::optional<uint64_t> image = program_image_size(exe_path);
    auto damaged = [&probe](std::string problem) {
        probe.kind = PackageProbe::Kind::Damaged;
        probe.problem = std::move(problem);
        return probe;
    };

    unsigned char t[kPackageTrailerSize];
    const bool trailer = size >= kPackageTrailerSize &&
                         host::seek_file(f.get(), size - kPackageTrailerSize) &&
                         std::fread(t, 1, sizeof t, f.get()) == sizeof t &&
                         std::string_view(reinterpret_cast<const char*>(t + 8), 8) == kPackageMagic;
    if (!trailer) {
        // Bytes after the program's image are what is left of a package.
        if (image && size > *image) return damaged("the program file is cut short (no package trailer)");
        return probe;
    }
    uint64_t length = 0;
    for (int i = 7; i >= 0; --i) length = (length << 8) | t[i];
    if (length > size - kPackageTrailerSize)
        return damaged(fmt("the package trailer counts %I64u bytes, more than the program file holds", length));
    const uint64_t offset = size - kPackageTrailerSize - length;
    if (image && offset != *image) return damaged("the package does not begin where the program ends");
    probe.kind = PackageProbe::Kind::Present;
    probe.where = PackageLocation{offset, length};
    return probe;
}

// ---------------------------------------------------------------- settings

int profile_int(std::string_view value, int fallback) {
    std::string_view v = trim_view(value);
    if (v.empty()) return fallback;
    bool negative = false;
    size_t i = 0;
    if (v[i] == '+' || v[i] == '-') negative = v[i++] == '-';
    int base = 10;
    if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    uint32_t n = 0;
    for (; i < v.size(); ++i) {
        char c = v[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        n = n * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);  // wraps like a 32-bit count
    }
    if (negative) n = 0u - n;
    return static_cast<int>(n);
}

PackageSettings read_package_settings(const std::string& ini_path) {
    PackageSettings s;
    IniFile ini;
    if (!ini.load(ini_path)) return s;
    auto text = [&](std::string_view key, size_t capacity) {
        std::optional<std::string> v = ini.get(kPackageInfoSection, key);
        return v ? utf16_truncate(*v, capacity - 1) : std::string();
    };
    auto number = [&](std::string_view key, int fallback) {
        std::optional<std::string> v = ini.get(kPackageInfoSection, key);
        return v ? profile_int(*v, fallback) : fallback;
    };
    s.style = number("Style", 1);
    s.dos_mini = number("DOSMini", 0);
    s.title = text("TITLE", 260);
    s.disk_type = parse_disk_type(text("DiskType", 260));
    s.protocol_filter = parse_protocol_filter(text("ProtocolType", 260));
    s.soc_id = text("SOCID", 64);
    s.model_name = text("ModelName", 64);
    s.show_logo = number("ShowKorvanteLogo", 0);
    s.debug_log = number("DebugLogDATX", 0);
    s.no_disk_cmd = text("NoDiskCmd", 256);
    return s;
}

std::string caption_from_script_files(const std::string& folder) {
    for (const std::string& name : files_of(folder)) {
        // "*.scp?": the last ".scp" ends the name or is followed by one character
        // (a trailing '?' also matches nothing, as in the system's file search).
        size_t last = std::string::npos;
        for (size_t p = ifind(name, ".scp"); p != std::string::npos; p = ifind(name, ".scp", p + 1))
            last = p;
        if (last == std::string::npos || name.size() - (last + 4) > 1) continue;
        std::string caption = replace_all(name.substr(0, ifind(name, ".scp")), "_", " ");
        return utf16_truncate(caption, 259);
    }
    return {};
}

// ---------------------------------------------------------------- work folder

std::string temp_folder() {
    std::string t = native_path(utf8_path(host::temp_folder()));
    while (t.size() > 1 && t.back() == '/') t.pop_back();
    return t;
}

std::string sanitize_program_name(std::string_view program_path) {
    std::u16string name = to_utf16(path_stem(program_path));
    for (char16_t& c : name)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            c = u'_';
    return to_utf8(name);
}

std::string create_work_folder(const std::string& program_path) {
    std::string parent = path_join(temp_folder(), "TamblorLite");
    if (!private_folder(parent)) {
        // Someone else's folder of that name: keep ours apart.
        parent = fmt("%s-%s", parent, host::user_tag());
        if (!private_folder(parent)) return {};
    }
    const std::tm tm = host::local_time(std::time(nullptr));
    std::string base = fmt("%s/%s_%02d%02d%02d_%d", parent, sanitize_program_name(program_path),
                           tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(current_process_id()));
    // Creation fails on any existing name, links included, so the folder we
    // get is always new and empty.
    if (host::create_private_folder(fs_path(base))) return base;
    if (!name_taken(base)) return {};
    for (int tries = 0; tries < 10000; ++tries) {
        std::string name = fmt("%s_%u", base, ++g_work_folder_counter);
        if (host::create_private_folder(fs_path(name))) return name;
        if (!name_taken(name)) return {};
    }
    return {};
}

bool remove_work_folder(const std::string& folder) {
    if (folder.empty()) return false;
    std::error_code ec;
    std::filesystem::remove_all(fs_path(folder), ec);
    return !ec;
}

WorkFolderGuard& WorkFolderGuard::operator=(WorkFolderGuard&& o) noexcept {
    if (this != &o) {
        reset();
        folder_ = std::move(o.folder_);
        kept_ = std::move(o.kept_);
        o.folder_.clear();
    }
    return *this;
}

namespace {

// Removes everything below `folder` except the kept paths and the folders
// that lead to them; the folder itself goes only when nothing is kept in it.
void remove_all_but(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& kept) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::filesystem::path p = entry.path().lexically_normal();
        bool keep = false, leads_to_kept = false;
        for (const auto& k : kept) {
            if (k == p) keep = true;
            auto rel = k.lexically_relative(p);
            if (!rel.empty() && *rel.begin() != "..") leads_to_kept = true;
        }
        if (keep) continue;
        if (leads_to_kept && entry.is_directory(ec) && !entry.is_symlink(ec)) remove_all_but(p, kept);
        else std::filesystem::remove_all(p, ec);
    }
    if (std::filesystem::is_empty(folder, ec)) std::filesystem::remove(folder, ec);
}

}  // namespace

void WorkFolderGuard::reset() {
    if (!folder_.empty()) {
        if (kept_.empty()) {
            remove_work_folder(folder_);
        } else {
            std::vector<std::filesystem::path> kept;
            for (const auto& k : kept_) kept.push_back(fs_path(k).lexically_normal());
            remove_all_but(fs_path(folder_).lexically_normal(), kept);
        }
    }
    folder_.clear();
    kept_.clear();
}

std::string WorkFolderGuard::release() {
    std::string f = std::move(folder_);
    folder_.clear();
    return f;
}

// ---------------------------------------------------------------- start-up

std::string find_file_ignoring_case(const std::string& folder, std::string_view name) {
    if (file_exists(path_join(folder, name))) return std::string(name);
    for (const std::string& f : files_of(folder))
        if (iequals(f, name)) return f;
    return {};
}

PackageStatus prepare_package(const std::string& exe_path, PreparedPackage& out, const ZipLimits& limits) {
    out = PreparedPackage{};
    auto fail = [&out](PackageStatus status, std::string problem) {
        out.problem = std::move(problem);
        return status;
    };
    PackageProbe probe = probe_embedded_package(exe_path);
    if (probe.kind == PackageProbe::Kind::Absent) return PackageStatus::NotPackaged;
    if (probe.kind == PackageProbe::Kind::Damaged) return fail(PackageStatus::Damaged, probe.problem);

    ZipReader reader;
    reader.open(exe_path, probe.where.offset, probe.where.length);
    if (!reader.damage().empty()) return fail(PackageStatus::Damaged, reader.damage());

    WorkFolderGuard guard(create_work_folder(exe_path));
    if (guard.folder().empty()) return fail(PackageStatus::NoWorkFolder, "the work folder cannot be created");
    const std::string& folder = guard.folder();

    // Refuse what would not fit before writing any of it.
    if (std::optional<std::string> why = archive_over_limits(reader.entries(), limits, free_space_of(folder)))
        return fail(PackageStatus::Damaged, *why);
    out.extraction = extract_all(reader, folder, limits);
    reader.close();
    for (const ZipEntryReport& r : out.extraction.entries) {
        if (r.status == ZipStatus::Ok) continue;
        bool local = r.status == ZipStatus::CreateFailed || r.status == ZipStatus::WriteFailed;
        return fail(local ? PackageStatus::UnpackFailed : PackageStatus::Damaged,
                    fmt("entry %s: %s", r.name, zip_status_text(r.status)));
    }

    std::string script = find_file_ignoring_case(folder, kPackageScriptName);
    if (script.empty()) return fail(PackageStatus::MissingScript, fmt("no %s", kPackageScriptName));
    std::string info = find_file_ignoring_case(folder, kPackageInfoName);
    if (info.empty()) return fail(PackageStatus::MissingScriptInfo, fmt("no %s", kPackageInfoName));

    out.work_folder = folder;
    out.script_folder = out.log_root_folder = out.ext_cmd_folder = out.library_folder = folder;
    out.script_path = path_join(folder, script);
    out.info_path = path_join(folder, info);
    out.settings = read_package_settings(out.info_path);
    out.caption = out.settings.title.empty() ? caption_from_script_files(folder) : out.settings.title;
    guard.release();
    return PackageStatus::Ready;
}

int package_error_code(PackageStatus status) {
    switch (status) {
        case PackageStatus::Ready:
        case PackageStatus::NotPackaged: return kErrSuccessFalse;
        case PackageStatus::MissingScript:
        case PackageStatus::MissingScriptInfo: return kErrFileOpen;
        case PackageStatus::NoWorkFolder:
        case PackageStatus::UnpackFailed: return kErrPrepareFile;
        case PackageStatus::Damaged: return kErrInvalidData;
    }
    return kErrGeneric;
}

std::string package_failure_text(PackageStatus status, const std::string& problem) {
    bool ours = status == PackageStatus::NoWorkFolder || status == PackageStatus::UnpackFailed;
    return fmt("%s: %s", ours ? "cannot unpack package" : "damaged package", problem);
}

void apply_package_settings(const PreparedPackage& package, AppContext& a) {
    const PackageSettings& s = package.settings;
    a.run_style = s.style;
    a.ui_mode = s.dos_mini;
    a.caption = package.caption;
    a.logo = s.show_logo;
    if (a.debug_level == 0 && s.debug_log != 0) a.debug_level = 1;
    a.work_folder = package.work_folder;
}

std::optional<std::string> ext_cmd_ini_path(const std::string& ext_cmd_folder) {
    std::string name = find_file_ignoring_case(ext_cmd_folder, kExtCmdIniName);
    if (name.empty()) return std::nullopt;
    return path_join(ext_cmd_folder, name);
}

}  // namespace tb
