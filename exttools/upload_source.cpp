#include "exttools/upload_source.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "common/text.h"
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
    std::vector<std::string> scripts;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(fs_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec)) continue;
        const std::string name = utf8_path(it->path().filename());
        const std::string ext = to_lower(path_extension(name));
        if (ext == ".scp" || ext == ".scpt") scripts.push_back(name);
    }
    if (scripts.empty()) return {};
    return path_stem(*std::min_element(scripts.begin(), scripts.end()));
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
