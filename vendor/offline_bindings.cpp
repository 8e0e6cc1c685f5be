#include "vendor/offline_bindings.h"

#include "script/command_table.h"
#include "vendor/parse_commands.h"
#include "vendor/record_monitor_data.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"Parse_EventLog", cmd_Parse_EventLog},
    {"Parse_CDump", cmd_Parse_CDump},
    {"Parse_FWconfig", cmd_Parse_FWconfig},
    {"Parse_MPInfo", cmd_Parse_MPInfo},
    {"Parse_SMART", cmd_Parse_SMART},
    {"Parse_DrvInfo", cmd_Parse_DrvInfo},
    {"Parse_GrownDefect", cmd_Parse_GrownDefect},
    {"Parse_DieGrownDefect", cmd_Parse_DieGrownDefect},
    {"Parse_CriticalLog", cmd_Parse_CriticalLog},
    {"Parse_FileHex", cmd_Parse_FileHex},
    {"Parse", cmd_Parse},
    {"FWbin_SetFWconfig", cmd_FWbin_SetFWconfig},
    {"MergeFW", cmd_MergeFW},
    {"RDTResult", cmd_RDTResult},
    {"MonitorData", cmd_MonitorData, kMaskNvme},
};

}  // namespace

BindingList offline_bindings() { return kBindings; }

}  // namespace tb
