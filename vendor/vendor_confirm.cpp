#include "vendor/vendor_confirm.h"

#include <string>

#include "disk/disk_record.h"
#include "script/operator_dialogs.h"
#include "ui/job_log.h"

namespace tb {

std::string vendor_confirm_caption(std::string_view question) {
    return std::string(question) + " \n" + current_target().model_name;
}

bool vendor_confirm(int slot, bool ask, std::string_view question) {
    if (!ask) return true;
    if (operator_dialogs()->confirm(slot, vendor_confirm_caption(question))) return true;
    log_text(slot, "---- Cancel Command ----", colour::kCyan);
    return false;
}

}  // namespace tb
