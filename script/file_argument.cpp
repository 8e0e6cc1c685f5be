#include "script/file_argument.h"

#include <iterator>
#include <optional>

#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/operator_dialogs.h"
#include "script/script_text.h"

namespace tb {

namespace {

std::string with_default_extension(std::string name, std::string_view ext) {
    if (!ext.empty() && path_extension(name).empty()) name += "." + std::string(ext);
    return name;
}

FileRequest file_request(bool save_mode, std::string_view default_ext, std::string_view title) {
    FileRequest request;
    request.title = std::string(title);
    request.mode = save_mode ? FileMode::Save : FileMode::Open;
    request.default_extension = std::string(default_ext);
    if (!default_ext.empty()) request.filters.push_back({"*." + request.default_extension, request.title});
    return request;
}

bool job_running(int slot) {
    return slot >= 0 && static_cast<size_t>(slot) < std::size(app().jobs) && app().jobs[slot].running.load();
}

// Every file a command writes is named in full in the job log, so a relative
// name never leaves the reader guessing where it went.
void log_output_path(int slot, const std::string& path) {
    if (job_running(slot)) log_text(slot, "Output File : " + path, colour::kGrey);
}

}  // namespace

std::string own_program_path() {
    const std::string& p = app().program_path;
    return p.empty() ? program_path() : p;
}

std::string relative_output_folder(int slot) {
    const std::string own = path_folder(own_program_path());
    if (!is_system_folder(own)) return own;
    const JobSlot* js = job_slot(slot);
    if (js && !js->log_folder.empty() && folder_exists(js->log_folder)) return js->log_folder;
    return app().work_folder.empty() ? own : app().work_folder;
}

FileResolve resolve_file_argument(int slot, std::string& name, bool save_mode, std::string_view default_ext,
                                  std::string_view title) {
    if (name.empty()) {
        const FileRequest request = file_request(save_mode, default_ext, title);
        std::optional<std::string> chosen = operator_dialogs()->file(slot, request);
        if (chosen && !chosen->empty()) {
            name = *chosen;
            return FileResolve::Chosen;
        }
        name.clear();
        if (job_running(slot)) log_text(slot, "---- Cancel Command ----", colour::kCyan);
        return FileResolve::Cancelled;
    }

    std::string path = with_default_extension(replace_all(name, "/", "\\"), default_ext);
    const bool absolute = path.find(':') != std::string::npos || path.front() == '\\';
    if (absolute) {
        name = native_path(path);
        if (save_mode) log_output_path(slot, name);
        if (save_mode || file_exists(path)) return FileResolve::Chosen;
        name = system_spelling(path);
        return FileResolve::NotFound;
    }
    if (save_mode) {
        name = absolute_path(native_path(path_join(relative_output_folder(slot), path)));
        log_output_path(slot, name);
        return FileResolve::Chosen;
    }
    std::string found = find_script_file(slot, path);
    if (found.empty()) {
        name = system_spelling(path);
        return FileResolve::NotFound;
    }
    name = found;
    return FileResolve::Chosen;
}

}  // namespace tb
