#include "platform/linux/linux_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/linux_device.h"
#include "platform/linux/unique_fd.h"

namespace tb {

std::unique_ptr<DiskPlatform> make_linux_platform() { return std::make_unique<linuxdisk::LinuxPlatform>(); }

namespace linuxdisk {

namespace fs = std::filesystem;

std::vector<DiscoveredDisk> LinuxPlatform::discover() {
    std::vector<DiscoveredDisk> out;
    for (auto& d : scan_disks(roots_)) out.push_back(std::move(d.info));
    return out;
}

std::unique_ptr<DiskDevice> LinuxPlatform::open(const std::string& path) {
    auto node = resolve_device_path(path, scan_disks(roots_), roots_);
    if (!node) return nullptr;
    return open_linux_device(*node);
}

bool LinuxPlatform::write_attr(const std::string& path, const std::string& value) const {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd) return false;
    return ::write(fd.get(), value.data(), value.size()) == static_cast<ssize_t>(value.size());
}

bool LinuxPlatform::rescan_everything() const {
    bool any = write_attr(roots_.sys + "/bus/pci/rescan", "1");
    std::error_code ec;
    for (fs::directory_iterator it(roots_.sys + "/class/scsi_host", ec), end; !ec && it != end; it.increment(ec))
        any = write_attr((it->path() / "scan").string(), "- - -") || any;
    return any;
}

bool LinuxPlatform::set_device_enabled(uint32_t disk_number, bool enable) {
    auto disks = scan_disks(roots_);
    const LinuxDisk* disk = nullptr;
    for (const auto& d : disks)
        if (d.info.disk_number == disk_number) disk = &d;

    if (enable) {
        auto it = disabled_.find(disk_number);
        if (it == disabled_.end()) return disk != nullptr || rescan_everything();
        const Disabled& was = it->second;
        bool ok = false;
        switch (was.transport) {
            case Transport::Nvme:
                ok = write_attr(roots_.sys + "/bus/pci/drivers/" + was.pci_driver + "/bind", was.pci_slot);
                break;
            case Transport::Usb:
                ok = write_attr(was.usb_device_path + "/authorized", "1");
                break;
            default:
                ok = write_attr(roots_.sys + "/class/scsi_host/host" + std::to_string(was.host) + "/scan",
                                std::to_string(was.channel) + " " + std::to_string(was.target) + " " +
                                    std::to_string(was.lun));
                break;
        }
        if (ok) disabled_.erase(it);
        return ok;
    }

    if (!disk) return disabled_.count(disk_number) != 0;
    Disabled rec;
    rec.transport = disk->transport;
    bool ok = false;
    if (disk->transport == Transport::Nvme) {
        if (disk->pci_path.empty() || disk->pci_driver.empty()) return false;
        rec.pci_slot = fs::path(disk->pci_path).filename().string();
        rec.pci_driver = disk->pci_driver;
        ok = write_attr(disk->pci_path + "/driver/unbind", rec.pci_slot);
    } else if (disk->transport == Transport::Usb && !disk->usb_device_path.empty()) {
        rec.usb_device_path = disk->usb_device_path;
        ok = write_attr(disk->usb_device_path + "/authorized", "0");
    } else if (!disk->scsi_device_path.empty()) {
        rec.host = disk->scsi_host;
        rec.channel = disk->scsi_channel;
        rec.target = disk->info.scsi_target;
        rec.lun = disk->info.scsi_lun;
        ok = write_attr(disk->scsi_device_path + "/delete", "1");
    }
    if (ok) disabled_[disk_number] = rec;
    return ok;
}

bool LinuxPlatform::remove_device(uint32_t disk_number) {
    for (const auto& d : scan_disks(roots_)) {
        if (d.info.disk_number != disk_number) continue;
        if (d.transport == Transport::Nvme) return !d.pci_path.empty() && write_attr(d.pci_path + "/remove", "1");
        if (d.transport == Transport::Usb && !d.usb_device_path.empty() &&
            write_attr(d.usb_device_path + "/remove", "1"))
            return true;
        return !d.scsi_device_path.empty() && write_attr(d.scsi_device_path + "/delete", "1");
    }
    return false;
}

bool LinuxPlatform::relink_device(uint32_t disk_number) {
    for (const auto& d : scan_disks(roots_)) {
        if (d.info.disk_number != disk_number) continue;
        if (d.transport != Transport::Nvme || d.pci_path.empty()) break;
        return write_attr(d.pci_path + "/remove", "1") && write_attr(roots_.sys + "/bus/pci/rescan", "1");
    }
    return DiskPlatform::relink_device(disk_number);
}

bool LinuxPlatform::rescan_devices() { return rescan_everything(); }

std::string LinuxPlatform::pci_folder(uint32_t disk_number, bool upstream) const {
    for (const auto& d : scan_disks(roots_)) {
        if (d.info.disk_number != disk_number || d.pci_path.empty()) continue;
        if (!upstream) return d.pci_path;
        // The port above is the parent folder when it is a PCI function too
        // (it then has a config file of its own); a root bus has none.
        std::error_code ec;
        fs::path parent = fs::path(d.pci_path).parent_path();
        return fs::exists(parent / "config", ec) ? parent.string() : std::string();
    }
    return {};
}

bool LinuxPlatform::read_pci_config(uint32_t disk_number, bool upstream, std::vector<uint8_t>& out) {
    const std::string folder = pci_folder(disk_number, upstream);
    if (folder.empty()) return false;
    UniqueFd fd(::open((folder + "/config").c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    out.assign(4096, 0);
    ssize_t n = ::pread(fd.get(), out.data(), out.size(), 0);
    if (n < 64) return false;
    out.resize(static_cast<size_t>(n));
    return true;
}

bool LinuxPlatform::write_pci_config(uint32_t disk_number, bool upstream, uint32_t offset,
                                     std::span<const uint8_t> bytes) {
    const std::string folder = pci_folder(disk_number, upstream);
    if (folder.empty() || bytes.empty()) return false;
    UniqueFd fd(::open((folder + "/config").c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd) return false;
    return ::pwrite(fd.get(), bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
}

}  // namespace linuxdisk
}  // namespace tb
