#include "vendor/vsc_relink.h"

#include "common/format.h"
#include "disk/ata_transport.h"
#include "disk/disk_record.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "script/app_context.h"

namespace tb {

namespace {

constexpr int kWaitForDiskSeconds = 20;
constexpr uint32_t kLinkOffMs = 2000;
constexpr uint32_t kRemovedMs = 5000;
constexpr uint32_t kPowerOffMs = 3000;

bool asmedia(uint8_t protocol) { return protocol == kProtoAsm2362 || protocol == kProtoAsm2364; }

void say(int slot, const char* line) { log_text(slot, line, colour::kOlive); }

// A bridge request that did not go through: its code when it is an error
// of the table (-1 when the bridge could not be opened), else -74.
bool bridge_sent(int slot, int rc, const char* what) {
    if (rc == 1) return true;
    raise_error(slot, rc < 0 && find_error(rc) ? rc : kErrIoControl, what);
    return false;
}

bool back(int slot) { return wait_for_disk(slot, kWaitForDiskSeconds) == 1; }

// The bridge's re-link request; false with nothing done when the disk is
// behind no JMicron or ASMedia bridge.
bool bridge_relink(int slot, const DiskRecord& disk, bool& sent) {
    sent = false;
    if (disk.access_protocol == kProtoJmi) {
        constexpr const char* kLine = "JMI USB Bridge Power ReLink Disk";
        say(slot, kLine);
        sent = bridge_sent(slot, jmicron_power_request(disk, kJmiRelink), kLine);
        return true;
    }
    if (asmedia(disk.access_protocol)) {
        constexpr const char* kLine = "ASM USB Bridge Power ReLink Disk";
        say(slot, kLine);
        sent = bridge_sent(slot, asmedia_power_request(disk, kAsmRelink), kLine);
        return true;
    }
    return false;
}

bool device_enabled(int slot, const DiskRecord& disk, bool enable) {
    if (disk_platform().set_device_enabled(disk.disk_number, enable)) return true;
    raise_error(slot, kErrChangeDriver, fmt("%s %s", enable ? "Enable" : "Disable", disk.physical_path));
    return false;
}

}  // namespace

bool vsc_behind_bridge() {
    const uint8_t p = current_target().access_protocol;
    return p >= kProtoJmi && p <= kProtoRtl9210;
}

bool vsc_relink_link(int slot) {
    const DiskRecord disk = current_target();
    bool sent = false;
    if (bridge_relink(slot, disk, sent)) return sent && back(slot);
    say(slot, "PCIE ReLink Disk");
    if (!device_enabled(slot, disk, false)) return false;
    sleep_cancellable(slot, kLinkOffMs);
    return device_enabled(slot, disk, true) && back(slot);
}

bool vsc_remove_rescan(int slot) {
    const DiskRecord disk = current_target();
    say(slot, "Remove ReScanDriver");
    if (!disk_platform().remove_device(disk.disk_number)) {
        raise_error(slot, kErrRemoveDevice, disk.physical_path);
        return false;
    }
    sleep_cancellable(slot, kRemovedMs);
    if (!disk_platform().rescan_devices()) {
        raise_error(slot, kErrChangeDriver, "ReScanDriver");
        return false;
    }
    return back(slot);
}

bool vsc_relink_rescan(int slot) {
    bool sent = false;
    if (bridge_relink(slot, current_target(), sent)) return sent && back(slot);
    return vsc_remove_rescan(slot);
}

bool vsc_power_reset(int slot) {
    const DiskRecord disk = current_target();
    say(slot, "Power Reset");
    if (disk.access_protocol == kProtoJmi) {
        if (!bridge_sent(slot, jmicron_power_request(disk, kJmiPowerCycle), "Power Reset")) return false;
        return back(slot);
    }
    if (asmedia(disk.access_protocol)) {
        if (!bridge_sent(slot, asmedia_power_request(disk, kAsmPowerOff), "Power Reset")) return false;
        sleep_cancellable(slot, kPowerOffMs);
        if (!bridge_sent(slot, asmedia_power_request(disk, kAsmPowerOn), "Power Reset")) return false;
        return back(slot);
    }
    if (!device_enabled(slot, disk, false)) return false;
    sleep_cancellable(slot, kLinkOffMs);
    return device_enabled(slot, disk, true) && back(slot);
}

}  // namespace tb
