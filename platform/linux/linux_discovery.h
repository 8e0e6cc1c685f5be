// Disk discovery on Linux: whole disks from sysfs with their transport,
// controller, SCSI address and port location, partitions with the mounts on
// them, drive letters, and the mapping of the system's device paths
// ("\\.\PHYSICALDRIVE1", "\\.\scsi2:", "\\.\C:") to device nodes.
//
// Every function takes the folders it reads (SystemRoots) so that it can run
// on a copy of a sysfs tree.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/disk_device.h"

namespace tb::linuxdisk {

struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string mountinfo = "/proc/self/mountinfo";
    std::string swaps = "/proc/swaps";
};

// One line of /proc/self/mountinfo.
struct MountEntry {
    uint32_t major = 0, minor = 0;
    std::string root;         // the mounted folder inside the file system ("/" for a whole one)
    std::string mount_point;  // with the octal escapes (\040 ...) decoded
    std::string source;       // "/dev/nvme0n1p2", "/dev/mapper/vg-root", "tmpfs"
};

std::vector<MountEntry> parse_mountinfo(std::string_view text);

enum class Transport { Nvme, Sata, Usb, Sas, Iscsi, Scsi, VirtioBlk, Ide, Unknown };

// A partition, or the whole disk when a file system lies on it directly.
struct LinuxPartition {
    std::string name;            // "nvme0n1p2"; the disk's own name for a whole-disk file system
    uint32_t number = 0;         // partition number; 0 for the whole disk
    uint64_t start_sector = 0;   // in 512-byte units
    uint32_t major = 0, minor = 0;
    std::string mount_point;     // empty when not mounted
    std::string mount_source;
    char letter = 0;             // 'C'..'Z', 0 = none
};

struct LinuxDisk {
    DiscoveredDisk info;             // what the platform reports
    std::string name;                // "nvme0n1", "sda"
    std::string sysfs_path;          // canonical block folder
    Transport transport = Transport::Unknown;
    std::string scsi_device_path;    // canonical "H:C:T:L" folder (SCSI disks)
    std::string nvme_controller;     // "nvme0" (NVMe disks)
    std::string pci_path;            // canonical folder of the controller's PCI function
    std::string pci_driver;          // its driver ("nvme", "ahci")
    std::string usb_device_path;     // canonical folder of the USB device ("1-3")
    std::string sg_name;             // "sg0" when the SCSI generic driver has the device
    uint32_t scsi_host = 0;          // SCSI address as the kernel has it (SCSI disks)
    uint32_t scsi_channel = 0;
    std::vector<LinuxPartition> partitions;  // whole-disk entry first, then by number
};

// Accepted whole-disk names: nvme<C>n<N>, sd*, vd*, hd*.
bool is_disk_name(std::string_view name);
// Loop devices ("loop<N>") are disks only while they are attached to a
// backing file and writable (see scan_disks).
bool is_loop_name(std::string_view name);
// Enumeration order: NVMe namespaces by controller and namespace, then sd, hd
// and vd disks with "sdz" before "sdaa", then loop devices by number.
bool disk_name_less(std::string_view a, std::string_view b);

// "0000:02:00.0" -> bus * 256 + device * 8 + function; 0 when malformed.
uint32_t pci_port_location(std::string_view slot);
// "2-1.4" with the root bus numbers present -> 20104: two decimal digits per
// step, host-controller index (1-based position of the bus among
// `root_buses`) first, the device's own port last. 0 when malformed.
uint32_t usb_port_location(std::string_view usb_device, std::span<const uint32_t> root_buses);

// Reads every disk. Drive letters: C: for the file system mounted at "/",
// D:, E:, ... for the other mounted ones in disk order; volumes carry
// statvfs figures of their mount points.
std::vector<LinuxDisk> scan_disks(const SystemRoots& roots);

// What a device path names, as a device node under roots.dev; nullopt when
// the path names nothing. "\\.\PHYSICALDRIVE%d" -> the disk, "\\.\scsi%d:"
// -> the NVMe controller node of the disk with that port (for a SCSI disk
// the disk itself), "\\.\C:" -> the disk holding the letter.
std::optional<std::string> resolve_device_path(std::string_view path, const std::vector<LinuxDisk>& disks,
                                               const SystemRoots& roots);

// The disk a device path names (index into `disks`), nullopt when none.
std::optional<size_t> disk_for_device_path(std::string_view path, const std::vector<LinuxDisk>& disks);

}  // namespace tb::linuxdisk
