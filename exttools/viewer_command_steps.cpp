#include "exttools/viewer_command_steps.h"

#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"

namespace tb {

bool viewer_command_usable(int slot, const std::string& command) {
    if (command.empty()) return false;
    if (utf16_length(command) > longest_viewer_command()) {
        raise_error(slot, kErrParam, fmt("Command longer than %d characters", longest_viewer_command()));
        return false;
    }
    return true;
}

bool viewer_exchange_ended(int slot, const ViewerAnswer& answer) {
    switch (answer.reply) {
        case ViewerReply::Unavailable:
            raise_error(slot, kErrGeneric, fmt("LogView_Sync: %s", answer.error));
            return true;
        case ViewerReply::Cancelled:
            log_text(slot, "---- Cancel Command ----", colour::kCyan);
            return true;
        case ViewerReply::TimedOut:
        case ViewerReply::Answered:
            return false;
    }
    return false;
}

}  // namespace tb
