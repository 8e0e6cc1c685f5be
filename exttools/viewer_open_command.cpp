#include <string>

#include "common/format.h"
#include "common/text.h"
#include "exttools/viewer_commands.h"
#include "exttools/viewer_exchange.h"
#include "platform/paths.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr ArgSpec kOpenSpecs[] = {
    {"File", "FileName|Path", ArgType::Text, ""},
};

}  // namespace

void cmd_moreViewer(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, name, kOpenSpecs);
    if (!a) return;
    const std::string given = trim(a->text("File"));
    if (given.empty()) {
        raise_error(slot, kErrParam, "moreViewer needs File:\"<file to open>\"");
        return;
    }
    const std::string path = absolute_path(given);
    if (!file_exists(path)) {
        raise_error(slot, kErrFileOpen, path);
        return;
    }
    const std::string command = std::string(kViewerOpenFilePrefix) + path;
    if (utf16_length(command) > longest_viewer_command()) {
        raise_error(slot, kErrParam, fmt("path longer than the viewer takes (%d characters): %s",
                                         longest_viewer_command() - utf16_length(kViewerOpenFilePrefix), path));
        return;
    }
    std::string error;
    if (!send_to_viewer(command, error)) {
        raise_error(slot, kErrGeneric, fmt("LogView_Sync: %s", error));
        return;
    }
    log_text(slot, fmt("moreViewer : %s", path));
    set_result_number(slot, name, 1);
}

}  // namespace tb
