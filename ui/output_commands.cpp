// Print, PrintEx, Report_Print, SetStatusText, Cls and the folder commands.
#include "ui/output_commands.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "script/script_text.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/image_size.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "ui/text_file.h"

namespace tb {

namespace {

constexpr size_t kTextFileLineChars = 512;
constexpr int kMaxImageLineHeight = 255;

struct NamedColour {
    const char* name;
    uint32_t value;
};

constexpr NamedColour kPrintExColours[] = {
    {"RED", 0x0000FF},    {"GREEN", 0x00FF00},  {"BLUE", 0xFF9632},   {"GRAY", 0x969696},
    {"MAROON", 0x4C3E85}, {"ORANGE", 0x277FFF}, {"OLIVE", 0x009696},  {"PURPLE", 0xFA00FA},
    {"NAVY", 0x804000},   {"BLUEGREEN", 0xFFFF00}, {"YELLOW", 0x00FFFF},
};

uint32_t printex_colour(std::string_view name) {
    for (const NamedColour& c : kPrintExColours)
        if (iequals(name, c.name)) return c.value;
    return colour::kWhite;
}

std::string program_folder() { return path_folder(own_program_path()); }

// PrintEx IMAGE: an image line whose size is the picture's height.
void print_image(int slot, const std::string& name, LineFormat format) {
    std::string path = find_script_file(slot, name);
    if (path.empty()) {
        raise_error(slot, kErrFileOpen, name);
        return;
    }
    int height = image_height(path);
    if (height < 0) {
        raise_error(slot, kErrFileOpen, path);
        return;
    }
    write_line(slot, path, format, std::min(height, kMaxImageLineHeight), colour::kBlue, LineKind::Image, path);
}

// PrintEx TXTFILE: every line of a text file, echoed on the console too.
void print_text_file(int slot, const std::string& name, LineFormat format, int font_size) {
    std::string path = find_script_file(slot, name);
    std::vector<std::string> lines;
    if (path.empty() || !read_text_lines(path, kTextFileLineChars, lines)) {
        raise_error(slot, kErrFileOpen, path.empty() ? name : path);
        return;
    }
    for (const std::string& line : lines)
        write_line(slot, line, format, font_size, colour::kWhite, LineKind::ConsoleText);
}

bool is_absolute(std::string_view path) {
    return path.find(':') != std::string_view::npos || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

}  // namespace

void cmd_Print(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    // A lone pair is the text; otherwise LeftAlign comes first and Output second.
    const ArgPair* output = r.find_key("Output");
    if (!output && r.size() == 1) output = &r.pair(0);
    if (!output) output = keyed_arg(r, {"Output"}, 1);
    const ArgPair* left = r.find_key("LeftAlign");
    if (!left && r.size() >= 2 && &r.pair(0) != output && r.pair(0).key.empty()) left = &r.pair(0);
    std::string text;
    bool left_align = false;
    if (!output || !opt_string(r, output, text) || !opt_bool(r, left, left_align, false)) return;
    write_line(slot, text, left_align ? LineFormat::LeftAligned : LineFormat::Normal, 10, colour::kYellow);
}

void cmd_PrintEx(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool left_align = false;
    int32_t font_size = 10;
    std::string colour_name, text;
    for (size_t i = 0; i < r.size(); ++i) {
        const ArgPair& p = r.pair(i);
        bool ok = true;
        if (icontains(p.key, "LeftAlign")) ok = arg_bool(slot, p.value, left_align);
        else if (icontains(p.key, "Size")) ok = arg_i32(slot, p.value, font_size);
        else if (icontains(p.key, "Color")) ok = arg_string(slot, p.value, colour_name);
        else if (icontains(p.key, "Output")) ok = arg_string(slot, p.value, text);
        if (!ok) return;
    }
    LineFormat format = left_align ? LineFormat::LeftAligned : LineFormat::Normal;
    if (iequals(colour_name, "IMAGE")) {
        print_image(slot, text, format);
        return;
    }
    if (iequals(colour_name, "TXTFILE")) {
        print_text_file(slot, text, format, font_size);
        return;
    }
    write_line(slot, text, format, font_size, printex_colour(colour_name), LineKind::ConsoleText);
    set_status_text(slot, text);
}

void cmd_Report_Print(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string file, output;
    bool append = true;
    if (!opt_string(r, keyed_arg(r, {"File"}, 0), file) || !opt_string(r, keyed_arg(r, {"Output"}, 1), output) ||
        !opt_bool(r, keyed_arg(r, {"Append"}, 2), append, true))
        return;
    // An empty name asks with the save dialog ("CSV File"); where no dialog can
    // be shown (a console run without a terminal) the request counts as cancelled.
    switch (resolve_file_argument(slot, file, true, "csv", "CSV File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
    }
    std::string text = replace_all(output, "\\n", "\n");
    if (!write_file_bytes(file, text, append)) raise_error(slot, kErrOutputFile, file);
}

void cmd_SetStatusText(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string status;
    if (!opt_string(r, keyed_arg(r, {"Status"}, 0), status)) return;
    // Up to two progress numbers: the stage start and the stage end (16 bits each).
    ProgressStage stage = progress_stage(slot);
    const ArgPair* first = keyed_arg(r, {"Progress"}, 1);
    uint32_t v = 0;
    if (first) {
        if (!arg_u32(slot, first->value, v)) return;
        stage.start = static_cast<uint16_t>(v);
    }
    if (r.has(2)) {
        if (!arg_u32(slot, r.pair(2).value, v)) return;
        stage.end = static_cast<uint16_t>(v);
    }
    write_line(slot, status, LineFormat::Normal, 10, colour::kYellow);
    set_progress_stage(slot, stage);
    set_status_text(slot, status);
}

void cmd_Cls(int slot, const std::string& args, const std::string& name) {
    clear_job_log(slot);
    JobSlot* js = job_slot(slot);
    if (!js || js->log_folder.empty()) return;
    // Data files of earlier commands ("*.hex", any letter case as the file system matches it).
    std::error_code ec;
    for (std::filesystem::directory_iterator it(native_path(js->log_folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code fec;
        if (it->is_regular_file(fec) && iequals(it->path().extension().string(), ".hex"))
            std::filesystem::remove(it->path(), fec);
    }
}

void cmd_GetLogFolder(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool job_path = true, show = true;
    if (!opt_bool(r, keyed_arg(r, {"JobPath"}, 0), job_path, true) ||
        !opt_bool(r, keyed_arg(r, {"ShowResult"}, 1), show, true))
        return;
    JobSlot* js = job_slot(slot);
    bool has_job_folder = js && !js->log_folder.empty() && folder_exists(js->log_folder);
    std::string folder = job_path && has_job_folder ? js->log_folder : app().work_folder;
    set_result_string(slot, name, folder);
    if (show) write_line(slot, folder, LineFormat::Normal, 10, colour::kYellow);
}

void cmd_ScpxFolder(int slot, const std::string& args, const std::string& name) {
    std::string folder = program_folder();
    set_result_string(slot, name, folder);
    write_line(slot, folder, LineFormat::Normal, 10, colour::kYellow);  // written whatever ShowResult says
}

void cmd_SetLogFolder(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string folder;
    if (!opt_string(r, keyed_arg(r, {"Output"}, 0), folder)) return;
    JobSlot* js = job_slot(slot);
    if (!js || folder.empty()) return;  // nothing to copy to
    folder = replace_all(folder, "/", "\\");
    if (folder.front() == '.') folder = path_join(relative_output_folder(slot), folder);
    else if (!is_absolute(folder)) folder = path_join(path_folder(absolute_path(js->script_path)), folder);
    folder = absolute_path(native_path(folder));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    log_text(slot, fmt("SetLogFolder To %s", folder), colour::kCyan);
    js->log_copy_folder = folder;
}

}  // namespace tb
