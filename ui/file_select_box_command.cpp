// FileSelectBox( Ext:"*.*#All FW" ): the open dialog with the script's
// filters ("pattern#description", up to ten, separated by "|"); the result is
// the chosen file's path. A cancelled dialog gives an empty text and stops the
// job; a chosen name that is no file gives -11.
#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/operator_dialogs.h"
#include "ui/box_arguments.h"
#include "ui/box_commands.h"

namespace tb {

namespace {

constexpr size_t kMaxFilters = 10;

FileFilter filter_of(const std::string& item) {
    const size_t hash = item.find('#');
    if (hash == std::string::npos) return {item, item};
    return {item.substr(0, hash), item.substr(hash + 1)};
}

// The filters of `ext`; nothing (raised -2) when there are more than a dialog takes.
std::optional<std::vector<FileFilter>> read_filters(int slot, const std::string& name, const std::string& ext) {
    std::vector<FileFilter> filters;
    for (const std::string& item : split(ext, '|'))
        if (!trim(item).empty()) filters.push_back(filter_of(std::string(trim(item))));
    if (filters.size() > kMaxFilters) {
        raise_error(slot, kErrParam,
                    fmt("%s: Ext holds %d filters; at most %d", name, static_cast<int>(filters.size()),
                        static_cast<int>(kMaxFilters)));
        return std::nullopt;
    }
    return filters;
}

}  // namespace

void cmd_FileSelectBox(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string ext;
    if (!box_text(r, positional_arg(r, 0), ext, "*.*#All FW")) return;
    std::optional<std::vector<FileFilter>> filters = read_filters(slot, name, ext);
    if (!filters) return;
    if (answered_for_nobody(slot, name)) return;

    FileRequest request;
    request.title = "File Select";
    request.mode = FileMode::Open;
    request.filters = std::move(*filters);
    std::optional<std::string> chosen = operator_dialogs()->file(slot, request);
    if (!chosen || chosen->empty()) {
        set_result_string(slot, name, "");
        log_text(slot, "---- Cancel Command ----", colour::kCyan);
        set_cancel(slot);
        return;
    }
    if (!file_exists(*chosen)) {
        raise_error(slot, kErrFileOpen, system_spelling(*chosen));
        return;
    }
    set_result_string(slot, name, *chosen);
}

}  // namespace tb
