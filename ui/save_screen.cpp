#include "ui/save_screen.h"

#include <chrono>
#include <filesystem>

#include "common/file_handle.h"
#include "common/format.h"
#include "common/text.h"
#include "platform/host/local_time.h"
#include "platform/paths.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "ui/html_log.h"

namespace tb {

namespace {

namespace fs = std::filesystem;

// The text as TestLog.txt holds it: UTF-16LE without a byte-order mark.
std::string utf16_bytes(std::string_view utf8) {
    std::string out;
    for (char16_t c : to_utf16(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// Copies a file a line names into the folder; a name that is no file is left.
void copy_named_file(const std::string& path, const std::string& folder) {
    if (path.empty() || !file_exists(path)) return;
    std::error_code ec;
    fs::copy_file(fs_path(path), fs_path(path_join(folder, path_file_name(path))),
                  fs::copy_options::overwrite_existing, ec);
}

// A new folder under `desktop` named by the time now.
std::string make_folder(const std::string& desktop) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    const std::string folder = path_join(desktop, save_screen_folder_name(host::local_time(seconds), ms));
    std::error_code ec;
    return fs::create_directories(fs_path(folder), ec) ? folder : std::string();
}

}  // namespace

std::string save_screen_folder_name(const std::tm& tm, int ms) {
    return fmt("[SaveScreen_%d%02d%02d-%02d%02d%02d-%03d]", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
               tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
}

SavedScreen save_screen(int slot, const std::string& desktop_folder) {
    SavedScreen out;
    const std::vector<LogLine> lines = job_log_lines(slot);
    if (lines.empty()) {
        out.outcome = SavedScreen::NoData;
        return out;
    }
    const std::string folder = desktop_folder.empty() ? std::string() : make_folder(desktop_folder);
    if (folder.empty()) {
        out.error = "cannot make a folder on the desktop " + desktop_folder;
        return out;
    }
    if (JobSlot* js = job_slot(slot)) js->log_folder = folder;

    std::string text;
    std::string html = kHtmlLogHeader;
    for (const LogLine& line : lines) {
        copy_named_file(line.value, folder);
        if (line.kind == LineKind::Image || line.kind == LineKind::HexFile) copy_named_file(line.text, folder);
        text += (line.left_aligned ? "" : "        ") + line.text + "\n";
        html += html_line(line);
    }
    if (!write_file_bytes(path_join(folder, "TestLog.txt"), utf16_bytes(text)) ||
        !write_file_bytes(path_join(folder, "TestLog.htm"), html)) {
        out.error = "cannot write the logs in " + folder;
        return out;
    }
    out.outcome = SavedScreen::Saved;
    out.folder = folder;
    return out;
}

}  // namespace tb
