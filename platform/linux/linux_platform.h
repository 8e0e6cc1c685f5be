// The real Linux machine as a disk platform: discovery from sysfs, devices
// opened from /dev, controller enable/disable and removal through sysfs.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/disk_device.h"
#include "platform/linux/linux_discovery.h"

namespace tb {

// The machine this process runs on.
std::unique_ptr<DiskPlatform> make_linux_platform();

namespace linuxdisk {

class LinuxPlatform final : public DiskPlatform {
public:
    explicit LinuxPlatform(SystemRoots roots = {}) : roots_(std::move(roots)) {}
    std::string name() const override { return "linux"; }
    std::vector<DiscoveredDisk> discover() override;
    std::unique_ptr<DiskDevice> open(const std::string& path) override;
    // Disabling unbinds an NVMe controller's PCI driver, deletes a SCSI disk
    // (rescanned on enable) or de-authorises a USB device; the platform
    // remembers what it did so that enabling undoes it even though the disk
    // has vanished from discovery meanwhile.
    bool set_device_enabled(uint32_t disk_number, bool enable) override;
    // NVMe: removes the controller's PCI function; USB: logically
    // disconnects the USB device; other SCSI disks: deletes the SCSI device.
    bool remove_device(uint32_t disk_number) override;
    // NVMe: the controller's PCI function is removed and the PCI bus
    // rescanned, so the kernel tears the function down (driver shut down,
    // function disabled, resources given back) and enumerates it afresh from
    // its configuration space, as after a link that went down and came up.
    // A driver unbind and bind would keep the function configured and never
    // shows whether the device answers enumeration again. Other disks: the
    // disable and enable of set_device_enabled.
    bool relink_device(uint32_t disk_number) override;
    // A PCI bus rescan and a scan of every SCSI host ("- - -").
    bool rescan_devices() override;
    // The function's sysfs "config" file (a user other than root reads only
    // the 64-byte header).
    bool read_pci_config(uint32_t disk_number, bool upstream, std::vector<uint8_t>& out) override;
    bool write_pci_config(uint32_t disk_number, bool upstream, uint32_t offset,
                          std::span<const uint8_t> bytes) override;

private:
    struct Disabled {
        Transport transport = Transport::Unknown;
        std::string pci_slot, pci_driver;  // NVMe
        std::string usb_device_path;       // USB
        uint32_t host = 0, channel = 0, target = 0, lun = 0;  // SCSI
    };
    bool write_attr(const std::string& path, const std::string& value) const;
    bool rescan_everything() const;
    // The sysfs folder of the disk's PCI function or of the port above it.
    std::string pci_folder(uint32_t disk_number, bool upstream) const;

    SystemRoots roots_;
    std::map<uint32_t, Disabled> disabled_;
};

}  // namespace linuxdisk
}  // namespace tb
