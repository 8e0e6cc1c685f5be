#include "exttools/upload_source.h"

#include "common/text.h"
#include "exttools/upload_folder.h"
#include "platform/paths.h"
#include "script/job_slot.h"
#include "script/operator_dialogs.h"

namespace tb {

bool typed_by_user(int slot, const std::string& command_name) {
    const JobSlot* js = job_slot(slot);
    if (!js || js->typed_command.size() < command_name.size()) return false;
    return iequals(std::string_view(js->typed_command).substr(0, command_name.size()), command_name);
}

std::string first_script_name(const std::string& folder) {
    for (const std::string& name : files_to_upload(folder)) {  // by name
        const std::string ext = to_lower(path_extension(name));
        if (ext == ".scp" || ext == ".scpt") return path_stem(name);
    }
    return {};
}

std::optional<UploadSource> choose_upload_source(int slot, const std::string& command_name) {
    const JobSlot* js = job_slot(slot);
    if (!js) return std::nullopt;
    if (!typed_by_user(slot, command_name)) return UploadSource{js->log_folder, path_stem(js->script_path)};
    FileRequest request;
    request.title = kUploadFolderTitle;
    request.mode = FileMode::Folder;
    const std::optional<std::string> chosen = operator_dialogs()->file(slot, request);
    if (!chosen || !folder_exists(*chosen)) return std::nullopt;
    return UploadSource{*chosen, first_script_name(*chosen)};
}

}  // namespace tb
