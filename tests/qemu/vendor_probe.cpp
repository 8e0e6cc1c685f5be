// Runs inside the QEMU VM of vendor_check.sh against QEMU's emulated NVMe
// controller, which has none of the maker's vendor commands: every vendor
// opcode must come back refused by the controller (Invalid Opcode), sending a
// vendor operation must give the failed-request code and send nothing more,
// and the vendor identification must find no SoC. Prints one "PASS name: ..."
// or "FAIL name: ..." line per check; exits 0 when all passed.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "disk/disk_discovery.h"
#include "disk/disk_record.h"
#include "disk/nvme_transport.h"
#include "platform/disk_device.h"
#include "platform/native_machine.h"
#include "vendor/vendor_identify.h"
#include "vendor/vendor_operation.h"
#include "vendor/vendor_send.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& name, const std::string& detail) {
    std::printf("%s %s: %s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.c_str());
    if (!ok) ++failures;
}

const tb::DiskRecord* find_nvme_disk() {
    for (int i = 0; i < tb::disk_table().count; ++i) {
        const tb::DiskRecord& r = tb::disk_table().records[static_cast<size_t>(i)];
        if (r.record_kind == tb::kRecordDisk && tb::is_nvme_protocol(r.access_protocol)) return &r;
    }
    return nullptr;
}

// The controller's own answer to one vendor command, sent raw.
void controller_refuses(const tb::DiskRecord& disk, int selector) {
    const tb::NvmeRequestSpec spec = tb::vendor_steps(selector, tb::VendorOp::DriveInformation)[0].request;
    std::unique_ptr<tb::DiskDevice> dev = tb::disk_platform().open(tb::nvme_open_path(disk));
    if (!dev) return check(false, "raw opcode", "cannot open " + tb::nvme_open_path(disk));
    std::vector<uint8_t> data(spec.length);
    tb::NvmePassThrough pt;
    pt.command = spec.command.bytes;
    pt.dir = spec.dir;
    pt.data = data;
    const tb::DeviceStatus st = dev->nvme(pt);
    const int sc = tb::completion_status_code(pt.completion), sct = tb::completion_status_type(pt.completion);
    char detail[128];
    std::snprintf(detail, sizeof detail, "opcode 0x%02X: delivered %d, SCT %d, SC 0x%02X", spec.command.opcode(),
                  st == tb::DeviceStatus::Ok, sct, sc);
    check(st == tb::DeviceStatus::Ok && sct == 0 && sc == 0x01, "raw opcode selector " + std::to_string(selector),
          detail);
}

}  // namespace

int main() {
    std::unique_ptr<tb::DiskPlatform> native = tb::make_native_platform();
    if (!native) {
        std::printf("FAIL platform: no native disk platform\n");
        return 1;
    }
    tb::set_disk_platform(std::move(native));
    const int count = tb::discover_disks();
    const tb::DiskRecord* found = find_nvme_disk();
    check(found != nullptr, "discover", std::to_string(count) + " records");
    if (!found) return 1;
    tb::DiskRecord disk = *found;
    std::printf("disk %s protocol %d vid %04X\n", disk.device_path.c_str(), disk.access_protocol, disk.pci_vendor_id);

    for (int selector : {1, 192, 0}) {
        controller_refuses(disk, selector);
        tb::DiskRecord asked = disk;
        asked.command_set = selector;
        std::vector<uint8_t> data(tb::kVendorDataLength);
        const int code = tb::send_vendor_quietly(asked, tb::VendorOp::DriveInformation, {}, data);
        check(code == tb::kNvmeRequestFailed, "send_vendor selector " + std::to_string(selector),
              "drive information gave " + std::to_string(code));
        const int two_step = tb::send_vendor_quietly(asked, tb::VendorOp::VpdData, {}, data);
        check(two_step == tb::kNvmeRequestFailed, "send_vendor two steps " + std::to_string(selector),
              "VPD gave " + std::to_string(two_step));
    }
    std::vector<uint8_t> data(tb::kVendorDataLength);
    tb::DiskRecord zero = disk;
    zero.command_set = 0;
    check(tb::send_vendor_quietly(zero, tb::VendorOp::SpiDebugInfo, {}, data) == -74, "not available",
          "SPI debug information under selector 0");

    tb::DiskRecord identified = disk;
    identified.soc_id = 0x1234;
    const uint32_t soc = tb::identify_maker_controller(identified);
    check(soc == 0 && identified.soc_id == 0 && identified.command_set == 0, "identification",
          "SoC " + std::to_string(identified.soc_id) + ", selector " + std::to_string(identified.command_set) +
              ", firmware kind " + std::to_string(identified.firmware_kind));
    tb::set_disk_platform(nullptr);
    return failures == 0 ? 0 : 1;
}
