#include "power/ssd_power.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "disk/ata_transport.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "platform/system_build.h"
#include "power/countdown_task.h"
#include "power/power_arg_limits.h"
#include "power/hub_switch.h"
#include "power/ssd_power_supply.h"
#include "power/ssd_power_wait.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"

namespace tb {

namespace {

constexpr int kDelayedReturnMs = 200;
constexpr uint32_t kLastBuildDroppingLostNvme = 21999;

// Where a failure goes: raised on the job's own thread; from a delayed
// power-off, which runs beside the job, written as a red line.
struct FailureSink {
    int slot;
    bool background;
    void operator()(int code, const std::string& detail) const {
        if (background) log_error_line(slot, fmt("SSD PowerOff Fail (%d) %s", code, detail));
        else raise_error(slot, code, detail);
    }
};

int bridge_code(int rc) { return rc < 0 ? rc : kErrIoControl; }

// Cuts the disk's supply; false after reporting a failure.
bool cut_power(const DiskRecord& target, uint32_t port, const FailureSink& fail) {
    const int slot = fail.slot;
    switch (supply_of(target)) {
        case DiskSupply::JMicronBridge: {
            constexpr const char* kLine = "JMI USB Bridge PowerOff Disk";
            log_text(slot, kLine, colour::kOlive);
            const int rc = jmicron_power_request(target, kJmiPowerOff);
            if (rc != 1) fail(bridge_code(rc), kLine);
            return rc == 1;
        }
        case DiskSupply::AsmediaBridge: {
            constexpr const char* kLine = "ASM USB Bridge PowerOff Disk";
            log_text(slot, kLine, colour::kOlive);
            const int rc = asmedia_power_request(target, kAsmPowerOff);
            if (rc != 1) fail(bridge_code(rc), kLine);
            return rc == 1;
        }
        case DiskSupply::Rtl9210BBridge: return true;  // this bridge cannot switch its disk
        case DiskSupply::Hub: break;
    }
    log_text(slot, "Relay PowerOff", colour::kOlive);
    std::string detail;
    const int rc = switch_hub_port(port, false, detail);
    if (rc != 1) {
        fail(rc, detail);
        return false;
    }
    // Newer Windows builds keep an NVMe disk that lost its power in the
    // device tree until it is re-enumerated.
    if (target.bus_type == kBusNvme && windows_build_number() > kLastBuildDroppingLostNvme)
        disk_platform().rescan_devices();
    return true;
}

int power_on_by_bridge(int slot, const DiskRecord& target, int timeout_s) {
    const bool jmicron = supply_of(target) == DiskSupply::JMicronBridge;
    const char* line = jmicron ? "JMI USB Bridge PowerON Disk" : "ASM USB Bridge PowerON Disk";
    log_text(slot, line, colour::kOlive);
    const int rc = jmicron ? jmicron_power_request(target, kJmiPowerOn) : asmedia_power_request(target, kAsmPowerOn);
    if (rc != 1) {
        raise_error(slot, bridge_code(rc), line);
        return bridge_code(rc);
    }
    if (cancel_requested(slot)) return 0;
    return wait_for_disk(slot, timeout_s);
}

}  // namespace

void cmd_SSDPowerOff(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"DelayRunSec", "", ArgType::Number, "0", 0, kLongestWaitSeconds},
        {"Port", "", ArgType::Number, "0", 0, kHighestHubPort},
    };
    const auto a = read_args(slot, args, "SSDPowerOff", kSpecs);
    if (!a) return;
    const int64_t delay = a->number("DelayRunSec");
    const int64_t port = a->number("Port");
    const DiskRecord target = current_target();
    if (supply_of(target) == DiskSupply::Hub) {
        std::string detail;
        if (check_hub(detail) != 1) {
            raise_error(slot, kErrPowerHub, detail);
            return;
        }
    }
    const auto hub_port = static_cast<uint32_t>(port);
    if (delay == 0) {
        if (cut_power(target, hub_port, FailureSink{slot, false})) set_result_number(slot, name, 1);
        return;
    }
    start_countdown_task(slot, "Wait %d Sec for SSD PowerOff...", static_cast<uint32_t>(delay),
                         [target, hub_port, slot](const TaskControl&) {
                             cut_power(target, hub_port, FailureSink{slot, true});
                         });
    std::this_thread::sleep_for(std::chrono::milliseconds(kDelayedReturnMs));
    set_result_number(slot, name, 1);
}

void cmd_SSDPowerOn(int slot, const std::string& args, const std::string& name) {
    constexpr ArgSpec kSpecs[] = {
        {"TimeoutSec", "", ArgType::Number, "20", 0, kLongestWaitSeconds},
        {"Port", "", ArgType::Number, "0", 0, kHighestHubPort},
    };
    const auto a = read_args(slot, args, "SSDPowerOn", kSpecs);
    if (!a) return;
    int64_t timeout_s = a->number("TimeoutSec");
    const int64_t port = a->number("Port");
    if (timeout_s == 0) timeout_s = kLongestWaitSeconds;
    const DiskRecord target = current_target();
    int found = 0;
    switch (supply_of(target)) {
        case DiskSupply::JMicronBridge:
        case DiskSupply::AsmediaBridge: found = power_on_by_bridge(slot, target, static_cast<int>(timeout_s)); break;
        case DiskSupply::Rtl9210BBridge: found = 1; break;
        case DiskSupply::Hub:
            found = power_on_through_hub(slot, target, static_cast<uint32_t>(port), static_cast<int>(timeout_s));
            break;
    }
    if (found >= 0) set_result_number(slot, name, found);
}

}  // namespace tb
