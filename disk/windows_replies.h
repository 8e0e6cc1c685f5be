// The replies of the Windows storage stack to the discovery queries, read
// byte for byte from the 64-bit layouts of the system's structures:
// STORAGE_DEVICE_DESCRIPTOR, STORAGE_DEVICE_NUMBER, SCSI_ADDRESS,
// DISK_GEOMETRY_EX, GET_LENGTH_INFORMATION and VOLUME_DISK_EXTENTS.
// A reply too short for its fields reads as "not answered".
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tb::winreq {

// STORAGE_DEVICE_DESCRIPTOR:
//   0 Version   4 Size   8 DeviceType   9 DeviceTypeModifier   10 RemovableMedia
//  11 CommandQueueing   12 VendorIdOffset   16 ProductIdOffset   20 ProductRevisionOffset
//  24 SerialNumberOffset   28 BusType   32 RawPropertiesLength   36 raw properties
// The texts are zero-terminated ANSI strings at their offsets (0 = none).
struct DeviceDescriptor {
    uint32_t bus_type = 0;
    bool removable = false;
    std::string vendor, product, revision, serial;
};
std::optional<DeviceDescriptor> parse_device_descriptor(std::span<const uint8_t> reply);

// STORAGE_DEVICE_NUMBER:   0 DeviceType   4 DeviceNumber   8 PartitionNumber
struct DeviceNumber {
    uint32_t device_type = 0;
    uint32_t device_number = 0;
    uint32_t partition_number = 0;
    // FILE_DEVICE_DISK: the number names a physical drive.
    bool is_disk() const { return device_type == 7; }
};
std::optional<DeviceNumber> parse_device_number(std::span<const uint8_t> reply);

// SCSI_ADDRESS:   0 Length   4 PortNumber   5 PathId   6 TargetId   7 Lun
struct ScsiAddress {
    uint32_t port = 0, path_id = 0, target = 0, lun = 0;
};
std::optional<ScsiAddress> parse_scsi_address(std::span<const uint8_t> reply);

// DISK_GEOMETRY_EX:   0 Cylinders (8)   8 MediaType   12 TracksPerCylinder
//  16 SectorsPerTrack   20 BytesPerSector   24 DiskSize (8)   32 data
struct DriveGeometry {
    uint32_t bytes_per_sector = 0;
    uint64_t disk_size = 0;
};
std::optional<DriveGeometry> parse_drive_geometry_ex(std::span<const uint8_t> reply);

// GET_LENGTH_INFORMATION:   0 Length (8)
std::optional<uint64_t> parse_length_info(std::span<const uint8_t> reply);

// VOLUME_DISK_EXTENTS:   0 NumberOfDiskExtents   8 DISK_EXTENT[n], 24 bytes each:
//   +0 DiskNumber   +8 StartingOffset (8)   +16 ExtentLength (8)
struct DiskExtent {
    uint32_t disk_number = 0;
    uint64_t starting_offset = 0;
    uint64_t length = 0;
};
constexpr size_t kExtentsHeader = 8, kExtentSize = 24;
// The reply buffer for up to `count` extents.
constexpr size_t volume_extents_reply_size(size_t count) { return kExtentsHeader + kExtentSize * count; }
// The extents the reply holds (those that fit in it).
std::optional<std::vector<DiskExtent>> parse_volume_disk_extents(std::span<const uint8_t> reply);

// Whether a volume starts on a 4096-byte boundary of its disk (its first
// extent); a volume whose extents are unknown counts as not aligned.
bool volume_aligned_4k(const std::optional<std::vector<DiskExtent>>& extents);

}  // namespace tb::winreq
