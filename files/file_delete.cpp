// File_Delete: every file matching a name or wildcard deleted, after the
// operator's yes when ConfirmMsg is TRUE (no answer, "no" or a cancelled box
// delete nothing).
#include <filesystem>
#include <optional>

#include "common/format.h"
#include "files/file_commands.h"
#include "files/file_list.h"
#include "files/file_place.h"
#include "files/file_size.h"
#include "platform/paths.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/operator_dialogs.h"
#include "workload/command_support.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"ConfirmMsg", "Confirm", ArgType::Bool, "TRUE"},
};

}  // namespace

void cmd_File_Delete(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "File_Delete", kSpecs);
    if (!a) return;
    const std::optional<std::string> path = place_file_name(slot, a->text("File"), FileBox::Open, "Any File");
    if (!path) return;
    if (is_folder(*path)) {
        raise_error(slot, kErrFileOpen, fmt("%s is a folder; File_Delete deletes files", *path));
        return;
    }
    const std::vector<std::string> files = files_matching(*path);
    if (files.empty()) {
        log_text(slot, fmt("No File to Delete: %s", *path), colour::kYellow);
        set_result_number(slot, name, 0);
        return;
    }
    if (a->flag("ConfirmMsg") &&
        !operator_dialogs()->confirm(slot, fmt("Do you want to delete File: \n%s?", *path))) {
        log_text(slot, kCancelCommandText, colour::kCyan);
        set_result_number(slot, name, 0);
        return;
    }
    int deleted = 0;
    for (const std::string& file : files) {
        std::error_code ec;
        const bool removed = std::filesystem::remove(fs_path(file), ec);
        if (ec) {
            log_error_line(slot, fmt("Delete File Error: %s", file));
            set_result_number(slot, name, deleted);
            raise_error(slot, kErrFileOpen, fmt("%s: %s", file, ec.message()));
            return;
        }
        if (!removed) continue;  // gone since it was listed
        log_text(slot, fmt("Delete File : %s", file));
        ++deleted;
    }
    log_text(slot, fmt("Total Delete Files: %d", deleted));
    set_result_number(slot, name, deleted);
}

}  // namespace tb
