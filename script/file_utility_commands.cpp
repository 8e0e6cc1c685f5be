// File built-ins of the engine: IsFileExist, GetFileSize, FileRename, APFileName.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/paths.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/script_text.h"
#include "script/utility_commands.h"

namespace tb {

namespace {

// Moves a file, copying and deleting when the destination is on another file system.
bool move_file(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    const fs::path source = fs_path(from), target = fs_path(to);
    std::error_code ec;
    fs::rename(source, target, ec);
    if (!ec) return true;
    // Another drive or file system: the bytes must be copied.
    const bool other_volume = ec == std::errc::cross_device_link ||
                              fs::absolute(source, ec).root_name() != fs::absolute(target, ec).root_name();
    if (!other_volume) return false;
    if (!fs::copy_file(source, target, fs::copy_options::none, ec)) return false;
    fs::remove(source, ec);
    return true;
}

}  // namespace

void cmd_IsFileExist(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string path;
    if (!a.get_string(0, path)) return;
    // Like the system's path test, a folder counts as existing too.
    const bool exists = !path.empty() && (file_exists(path) || folder_exists(path));
    set_result_number(slot, name, exists ? 1 : 0);
}

void cmd_GetFileSize(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string path;
    if (!a.get_string(0, path)) return;
    int64_t size = 0;
    std::error_code ec;
    if (!path.empty() && std::filesystem::is_regular_file(fs_path(path), ec)) {
        const uintmax_t bytes = std::filesystem::file_size(fs_path(path), ec);
        if (!ec) size = static_cast<int64_t>(bytes);
    }
    set_result_number(slot, name, size);
}

void cmd_FileRename(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string source, dest;
    if (!a.get_string(0, source) || !a.get_string(1, dest)) return;
    const std::string found = source.empty() ? std::string() : find_script_file(slot, source);
    if (found.empty()) {
        raise_error(slot, kErrFileOpen, source);
        return;
    }
    if (dest.empty()) {
        raise_error(slot, kErrOutputFile, "DestFile is Empty.");
        return;
    }
    if (file_exists(dest) || folder_exists(dest)) {
        raise_error(slot, kErrOutputFile, "DestFile is Exist.");
        return;
    }
    set_result_number(slot, name, move_file(found, dest) ? 1 : 0);
}

void cmd_APFileName(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    bool show = false;
    if (a.has(0)) a.get_bool(0, show);
    const std::string stem = path_stem(own_program_path());
    if (show) log_text(slot, stem, colour::kYellow);
    set_result_string(slot, name, stem);
}

}  // namespace tb
