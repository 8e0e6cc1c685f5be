#include "power/hub_commands.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "platform/serial_line.h"
#include "power/countdown_task.h"
#include "power/power_arg_limits.h"
#include "power/hub_settings.h"
#include "power/hub_switch.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr int kDelayedReturnMs = 100;

// Raises the code of a failed hub use; true when it went through.
bool hub_done(int slot, int rc, const std::string& detail) {
    if (rc == 1) return true;
    raise_error(slot, rc, detail);
    return false;
}

constexpr ArgSpec kPortOnly[] = {
    {"Port", "", ArgType::Number, "0", 0, kHighestHubPort},
};

}  // namespace

void cmd_SetPowerHub(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string port_name;
    const ArgPair* p = r.find_key("COMPort");
    if (!p && r.has(0) && r.pair(0).key.empty()) p = &r.pair(0);
    if (!p) {
        port_name = "COM3";
    } else if (!arg_string(slot, p->value, port_name)) {
        raise_error(slot, kErrParam, "COMPort:" + p->value);
        return;
    }
    port_name = trim(port_name);
    const bool com_name = port_name.size() >= 3 && iequals(port_name.substr(0, 3), "COM");
    if (!com_name && !is_serial_device_path(port_name)) {
        raise_error(slot, kErrParam, "COMPort:" + port_name);
        return;
    }
    set_hub_port_name(port_name);
    set_result_number(slot, name, 1);
}

void cmd_RelayPowerOff(int slot, const std::string& args, const std::string& name) {
    if (cancel_requested(slot)) return;
    constexpr ArgSpec kSpecs[] = {
        {"DelayRunSec", "", ArgType::Number, "5", 0, kLongestWaitSeconds},
        {"Port", "", ArgType::Number, "0", 0, kHighestHubPort},
    };
    const auto a = read_args(slot, args, "RelayPowerOff", kSpecs);
    if (!a) return;
    const int64_t delay = a->number("DelayRunSec");
    const int64_t port = a->number("Port");
    std::string detail;
    if (!hub_done(slot, check_hub(detail), detail)) return;
    const auto hub_port = static_cast<uint32_t>(port);
    if (delay == 0) {
        if (hub_done(slot, switch_hub_port(hub_port, false, detail), detail)) set_result_number(slot, name, 1);
        return;
    }
    start_countdown_task_on_line(slot, "Wait %d Sec for Relay PowerOff...", static_cast<uint32_t>(delay),
                                 [slot, hub_port](const TaskControl&, int line) {
                                     rewrite_line(slot, line, "Relay Power Off");
                                     std::string why;
                                     if (switch_hub_port(hub_port, false, why) != 1)
                                         log_error_line(slot, fmt("Relay Power Off Fail %s", why));
                                 });
    std::this_thread::sleep_for(std::chrono::milliseconds(kDelayedReturnMs));
    set_result_number(slot, name, 1);
}

void cmd_RelayPowerOn(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, "RelayPowerOn", kPortOnly);
    if (!a) return;
    std::string detail;
    if (hub_done(slot, switch_hub_port(static_cast<uint32_t>(a->number("Port")), true, detail), detail))
        set_result_number(slot, name, 1);
}

void cmd_IsRelayPowerOn(int slot, const std::string& args, const std::string& name) {
    const auto a = read_args(slot, args, "IsRelayPowerOn", kPortOnly);
    if (!a) return;
    int64_t port = a->number("Port");
    if (port == 0) port = 1;
    std::string detail;
    int64_t state = 0;
    if (hub_done(slot, read_hub_port(static_cast<uint32_t>(port), state, detail), detail))
        set_result_number(slot, name, state);
}

}  // namespace tb
