// The real Windows machine as a disk platform: discovery through SetupAPI
// and the storage queries, devices opened by their "\\.\" paths, the
// controller enabled, disabled or removed through the configuration manager.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/disk_device.h"

namespace tb::windisk {

class WindowsPlatform final : public DiskPlatform {
public:
    std::string name() const override { return "windows"; }
    std::vector<DiscoveredDisk> discover() override;
    std::unique_ptr<DiskDevice> open(const std::string& path) override;
    // A state change of the disk's controller device; the platform
    // remembers the controller it disabled so that enabling finds it even
    // though the disk has left discovery meanwhile.
    bool set_device_enabled(uint32_t disk_number, bool enable) override;
    // Removes the disk's controller device (and the disk with it).
    bool remove_device(uint32_t disk_number) override;
    // Asks the configuration manager to re-enumerate the device tree from
    // its root (device_rescan_win.cpp).
    bool rescan_devices() override;

private:
    // The controller instance of a disk now present.
    std::string controller_of(uint32_t disk_number);

    std::map<uint32_t, std::string> disabled_;  // disk number -> controller instance
};

std::unique_ptr<DiskPlatform> make_windows_platform();

}  // namespace tb::windisk
