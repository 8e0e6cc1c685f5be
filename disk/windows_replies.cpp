#include "disk/windows_replies.h"

#include "common/text.h"
#include "disk/nvme_command.h"

namespace tb::winreq {

namespace {

// The zero-terminated text at `offset` of the reply, trimmed; empty for
// offset 0 or an offset outside the reply.
std::string text_at(std::span<const uint8_t> reply, uint32_t offset) {
    if (offset == 0 || offset >= reply.size()) return {};
    std::string s;
    for (size_t i = offset; i < reply.size() && reply[i] != 0; ++i) s.push_back(static_cast<char>(reply[i]));
    return trim(s);
}

}  // namespace

std::optional<DeviceDescriptor> parse_device_descriptor(std::span<const uint8_t> reply) {
    constexpr size_t kFixedSize = 36;
    if (reply.size() < kFixedSize) return std::nullopt;
    const uint32_t size = get_le32(reply, 4);
    if (size < kFixedSize) return std::nullopt;
    // The texts lie within what the driver says it wrote.
    if (size < reply.size()) reply = reply.first(size);
    DeviceDescriptor d;
    d.removable = reply[10] != 0;
    d.bus_type = get_le32(reply, 28);
    d.vendor = text_at(reply, get_le32(reply, 12));
    d.product = text_at(reply, get_le32(reply, 16));
    d.revision = text_at(reply, get_le32(reply, 20));
    d.serial = text_at(reply, get_le32(reply, 24));
    return d;
}

std::optional<DeviceNumber> parse_device_number(std::span<const uint8_t> reply) {
    if (reply.size() < 12) return std::nullopt;
    return DeviceNumber{get_le32(reply, 0), get_le32(reply, 4), get_le32(reply, 8)};
}

std::optional<ScsiAddress> parse_scsi_address(std::span<const uint8_t> reply) {
    if (reply.size() < 8) return std::nullopt;
    return ScsiAddress{reply[4], reply[5], reply[6], reply[7]};
}

std::optional<DriveGeometry> parse_drive_geometry_ex(std::span<const uint8_t> reply) {
    if (reply.size() < 32) return std::nullopt;
    return DriveGeometry{get_le32(reply, 20), get_le64(reply, 24)};
}

std::optional<uint64_t> parse_length_info(std::span<const uint8_t> reply) {
    if (reply.size() < 8) return std::nullopt;
    return get_le64(reply, 0);
}

std::optional<std::vector<DiskExtent>> parse_volume_disk_extents(std::span<const uint8_t> reply) {
    if (reply.size() < kExtentsHeader) return std::nullopt;
    const uint32_t count = get_le32(reply, 0);
    std::vector<DiskExtent> out;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = kExtentsHeader + kExtentSize * i;
        if (at + kExtentSize > reply.size()) break;
        out.push_back({get_le32(reply, at), get_le64(reply, at + 8), get_le64(reply, at + 16)});
    }
    return out;
}

bool volume_aligned_4k(const std::optional<std::vector<DiskExtent>>& extents) {
    return extents && !extents->empty() && extents->front().starting_offset % 4096 == 0;
}

}  // namespace tb::winreq
