// The start-up registration that carries a script on after a restart: the
// value "Tamblor_Reboot<count>" holding
//   "<program>" SCRIPT:"<script>", DRVHW:"<location>", FRAME:<count>/<limit>, REBOOTSYNC:<n>, ERRSTOP:<0|1>
// The machine options of this run (--sim=..., --linux, --windows), when
// there are any, stand right after the program so that the next start tests
// the same machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

struct RebootRegistration {
    std::string program;
    std::vector<std::string> machine_options;
    std::string script;
    std::string disk_location;
    uint32_t count = 0;
    uint32_t limit = 0;
    int reboot_sync = 0;
    bool error_stop = false;
};

std::string reboot_value_name(uint32_t count);
std::string reboot_command_line(const RebootRegistration& r);

}  // namespace tb
