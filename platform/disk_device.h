// The narrow interface between the disk layer and a machine: discovery of the
// disks and one opened device that takes pass-through requests. The requests
// carry the exact command bytes (NVMe submission entry, CDB, ATA registers);
// building them is the disk layer's work, delivering them the backend's.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tb {

// Data direction of one request (values as stored in request buffers).
enum class DataDir : uint8_t { None = 0, Out = 1, In = 2 };

enum class DeviceStatus {
    Ok,           // the request was delivered; look at its status fields
    Failed,       // the request itself failed (the device, the driver or the bus)
    Unsupported,  // this device or backend has no such path
};

// One NVMe command with its data. The backend fills `completion` (the 16-byte
// completion queue entry: DW0 at bytes 0-3, status half-word at bytes 14-15
// with the phase bit in bit 0, as on the wire).
struct NvmePassThrough {
    std::array<uint8_t, 64> command{};
    bool io_queue = false;  // false: admin queue, true: NVM command set I/O queue
    DataDir dir = DataDir::None;
    std::span<uint8_t> data;
    uint32_t timeout_s = 60;
    std::array<uint8_t, 16> completion{};
};

// One SCSI command with directly addressed data (SG_IO, SCSI pass-through).
struct ScsiPassThrough {
    std::array<uint8_t, 16> cdb{};
    uint8_t cdb_length = 16;
    DataDir dir = DataDir::None;
    std::span<uint8_t> data;
    uint32_t timeout_s = 60;
    uint8_t scsi_status = 0;  // 2 = CHECK CONDITION
    std::array<uint8_t, 64> sense{};
    uint32_t transferred = 0;
};

// ATA task-file register order in `current` / `previous`:
// 0 feature/error, 1 sector count, 2 LBA low, 3 LBA mid, 4 LBA high,
// 5 device, 6 command/status, 7 reserved.
enum AtaRegister : int { kAtaFeature = 0, kAtaError = 0, kAtaCount = 1, kAtaLbaLow = 2, kAtaLbaMid = 3,
                         kAtaLbaHigh = 4, kAtaDevice = 5, kAtaCommand = 6, kAtaStatus = 6 };

// ATA task-file flags.
constexpr uint16_t kAtaDriveReady = 1, kAtaDataIn = 2, kAtaDataOut = 4, kAtaExt = 8, kAtaDma = 0x10;

// One ATA command through the storage stack's ATA pass-through. On return
// `current` holds the device's output registers (error, status, ...).
struct AtaPassThrough {
    uint16_t flags = 0;
    std::array<uint8_t, 8> current{};
    std::array<uint8_t, 8> previous{};
    std::span<uint8_t> data;
    uint32_t timeout_s = 60;
};

// One opened device path. Every request is synchronous. A backend answers
// Unsupported for a path it does not have (e.g. no ATA pass-through on Linux,
// where ATA goes through SCSI/ATA translation instead).
class DiskDevice {
public:
    virtual ~DiskDevice() = default;
    virtual DeviceStatus nvme(NvmePassThrough&) { return DeviceStatus::Unsupported; }
    virtual DeviceStatus scsi(ScsiPassThrough&) { return DeviceStatus::Unsupported; }
    virtual DeviceStatus ata(AtaPassThrough&) { return DeviceStatus::Unsupported; }
    // One device-control request of the system's storage stack, delivered
    // whole: the control code and one buffer used for input and output (the
    // NVMe request layouts of the disk layer). A backend without such
    // requests answers Unsupported and the disk layer serves the request
    // through nvme() instead.
    virtual DeviceStatus control(uint32_t /*control_code*/, std::span<uint8_t> /*buffer*/) {
        return DeviceStatus::Unsupported;
    }
    // System error code of the last failed request (errno or the platform's).
    virtual uint32_t last_error() const { return 0; }
};

// Storage bus types as the storage stack reports them.
enum BusType : uint32_t {
    kBusUnknown = 0, kBusScsi = 1, kBusAtapi = 2, kBusAta = 3, kBus1394 = 4, kBusFibre = 6,
    kBusUsb = 7, kBusRaid = 8, kBusIscsi = 9, kBusSas = 10, kBusSata = 11, kBusVirtual = 14,
    kBusFileVirtual = 15, kBusSpaces = 16, kBusNvme = 17,
};

// A volume (drive letter) on a discovered disk.
struct DiscoveredVolume {
    char letter = 'C';             // 'C'..'Z'
    uint64_t free_bytes = 0;
    uint64_t total_bytes = 0;
    bool aligned_4k = true;        // partition start is a multiple of 4096
    std::string native_path;       // e.g. "/dev/nvme0n1p2 on /home" (shown beside the letter)
};

// What the machine says about one disk, before classification. Disks come in
// enumeration order; `disk_number` is the N of "\\.\PHYSICALDRIVE%d".
struct DiscoveredDisk {
    std::string friendly_name;
    uint32_t disk_number = 0;
    uint64_t length_bytes = 0;
    uint32_t bytes_per_sector = 512;
    uint32_t scsi_port = 0;        // N of "\\.\scsi%d:"
    uint32_t scsi_path_id = 0;
    uint32_t scsi_target = 0;
    uint32_t scsi_lun = 0;
    uint32_t bus_type = kBusUnknown;
    bool removable = false;
    std::string interface_path;
    std::string controller_name;     // parent device's friendly name or description
    std::string controller_instance; // parent device's instance identifier
    std::string controller_service;  // parent's driver/service ("stornvme" for the inbox NVMe driver)
    std::string driver_version;      // "%d.%d.%d.%d" or empty
    uint32_t port_location = 0;      // PCIe bus*256+dev*8+fn, USB port path digits, or bus address
    std::vector<DiscoveredVolume> volumes;  // in letter order
    // Holds partitions, swap, or a member of a RAID or device-mapper volume,
    // even with nothing of it mounted: writing commands treat it as not RAW.
    bool in_use = false;
    std::string native_path;         // the real device, e.g. "/dev/nvme0n1" (shown beside the Windows path)
};

// A machine: the simulated one or a real one.
class DiskPlatform {
public:
    virtual ~DiskPlatform() = default;
    virtual std::string name() const = 0;  // "sim", "linux"
    // Rescans every call.
    virtual std::vector<DiscoveredDisk> discover() = 0;
    // Opens "\\.\PHYSICALDRIVE%d", "\\.\scsi%d:" or "\\.\C:"; nullptr when the
    // path names nothing or cannot be opened.
    virtual std::unique_ptr<DiskDevice> open(const std::string& path) = 0;
    // Enables or disables the controller device of a disk (device state change).
    virtual bool set_device_enabled(uint32_t /*disk_number*/, bool /*enable*/) { return false; }
    // Removes a disk and its parent controller from the system.
    virtual bool remove_device(uint32_t /*disk_number*/) { return false; }
    // Takes the disk's controller off its bus and brings it back, so that
    // the system finds it afresh (handles opened before are then stale).
    // By default the controller device is disabled and enabled again.
    virtual bool relink_device(uint32_t disk_number) {
        return set_device_enabled(disk_number, false) && set_device_enabled(disk_number, true);
    }
    // Re-enumerates the machine's devices: controllers and disks that were
    // removed but are still attached come back. False when the machine
    // refused the request.
    virtual bool rescan_devices() { return false; }

    // PCI configuration space of the disk's controller function, or with
    // `upstream` of the bridge port above it: at least the 64-byte header,
    // up to 4096 bytes. False when the disk has no PCI function or the space
    // cannot be read.
    virtual bool read_pci_config(uint32_t /*disk_number*/, bool /*upstream*/, std::vector<uint8_t>& /*out*/) {
        return false;
    }
    // Writes bytes at an offset of that space.
    virtual bool write_pci_config(uint32_t /*disk_number*/, bool /*upstream*/, uint32_t /*offset*/,
                                  std::span<const uint8_t> /*bytes*/) {
        return false;
    }
};

// The machine in use (the simulated machine unless another one is set).
DiskPlatform& disk_platform();
void set_disk_platform(std::unique_ptr<DiskPlatform> platform);

}  // namespace tb
