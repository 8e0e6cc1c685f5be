#include "power/reboot_registration.h"

#include "common/format.h"
#include "platform/command_line_quote.h"

namespace tb {

std::string reboot_value_name(uint32_t count) { return fmt("Tamblor_Reboot%d", static_cast<int>(count)); }

std::string reboot_command_line(const RebootRegistration& r) {
    std::string options;
    for (const std::string& o : r.machine_options) options += " " + quoted_command_line({o});
    return fmt("\"%s\"%s SCRIPT:\"%s\", DRVHW:\"%s\", FRAME:%d/%d, REBOOTSYNC:%d, ERRSTOP:%d", r.program, options,
               r.script, r.disk_location, static_cast<int>(r.count), static_cast<int>(r.limit), r.reboot_sync,
               r.error_stop ? 1 : 0);
}

}  // namespace tb
