// One disk or one volume as the scripts see it, the table of all of them and
// the current target that every disk command addresses.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tb {

// Access protocol codes: which pass-through path serves a disk.
enum AccessProtocol : uint8_t {
    kProtoNone = 0,
    kProtoAta = 1,       // "ATA"
    kProtoUsbAta = 2,    // "USBATA": SCSI/ATA translation
    kProtoNvm = 10,      // "NVM": inbox NVMe driver
    kProtoOfaNvm = 11,   // "OFANVM": other NVMe miniport
    kProtoIrstNvm = 12,  // "IRSTNVM"
    kProtoJmi = 13,      // "JMI"
    kProtoAsm2362 = 14,  // "ASM2362"
    kProtoAsm2364 = 15,  // "ASM2364"
    kProtoRtl9210B = 16, // "RTL9210B"
    kProtoRtl9210 = 17,  // "RTL9210"
    kProtoRaid = 20,     // "RAID"
    kProtoFlashDrv = 21, // "FlashDrv"
};

inline bool is_nvme_protocol(uint8_t p) { return p >= kProtoNvm && p <= kProtoRtl9210; }
inline bool is_ata_protocol(uint8_t p) { return p == kProtoAta || p == kProtoUsbAta; }

enum RecordKind : uint32_t { kRecordDisk = 1, kRecordVolume = 2 };

// Text fields are UTF-8 here; their capacities (in UTF-16 units, terminator
// included) are kept by the setters of the discovery code.
struct DiskRecord {
    std::string display_name;        // 128
    std::string model_name;          // 128
    std::string device_path;         // 64  "\\.\PHYSICALDRIVE%d" or "\\.\C:"
    std::string port_device_path;    // 64  "\\.\scsi%d:"
    std::string physical_path;       // 64  "\\.\PHYSICALDRIVE%d"
    std::string first_volume_path;   // 64  "\\.\C:" or empty
    std::string drive_letters;       // 64  "C: D: " (disk) or "C:" (volume)
    std::string interface_path;      // 256
    std::string controller_name;     // 128
    std::string controller_instance; // 128
    std::string controller_service;  // 128
    std::string driver_version;      // 64
    uint32_t bytes_per_sector = 0;
    uint32_t scsi_path_id = 0;
    uint32_t scsi_target_lun = 0;    // target id * 100 + lun
    uint32_t port_location = 0;
    uint32_t disk_number = 0;
    uint32_t record_kind = kRecordDisk;
    uint64_t size_a = 0;             // disk: length; volume: free bytes
    uint64_t size_b = 0;             // disk: length; volume: total bytes
    uint32_t bus_type = 0;
    uint8_t access_protocol = kProtoNone;
    uint32_t raw_flag = 1;
    uint32_t system_flag = 0;
    uint32_t alignment_flag = 1;
    uint32_t pci_vendor_id = 0;
    std::string firmware_revision;   // 16
    uint32_t soc_id = 0;
    int32_t firmware_kind = -1;      // 0 ROM mode, 1..3 configurable firmware, 9999 vendor 0x8086
    uint32_t vendor_word = 0;
    int32_t command_set = 0;         // 0, 1 or 192
    std::string firmware_revision2;  // 16
    // Whether the disk deallocates ranges (trim): NVMe Identify Controller
    // ONCS bit 2 (Dataset Management), ATA IDENTIFY word 169 bit 0 (TRIM).
    // A disk whose identity could not be read is taken to support it; its
    // trims then answer for themselves.
    bool supports_trim = true;
    std::string native_path;         // the real device behind it ("/dev/sdb"), shown beside the path
};

constexpr int kDiskTableCapacity = 26;

struct DiskTable {
    std::array<DiskRecord, kDiskTableCapacity> records;
    int count = 0;
};

// The table of the last discovery and the current target.
DiskTable& disk_table();
DiskRecord& current_target();

}  // namespace tb
