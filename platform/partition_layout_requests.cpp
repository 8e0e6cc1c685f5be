#include "platform/partition_layout_requests.h"

#include <cctype>
#include <cstdio>

#include "platform/partition_types.h"

namespace tb {

namespace {

constexpr size_t kEntryStyle = 0, kEntryOffset = 8, kEntryLength = 16, kEntryNumber = 24, kEntryRewrite = 28;
constexpr size_t kMbrType = 32, kMbrRecognised = 34, kMbrHidden = 36;
constexpr size_t kGptType = 32, kGptId = 48, kGptName = 72;
constexpr size_t kGptNameUnits = 36;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint64_t get64(std::span<const uint8_t> b, size_t at) { return uint64_t(get32(b, at)) | uint64_t(get32(b, at + 4)) << 32; }

void put_guid(std::vector<uint8_t>& b, size_t at, const Guid& g) { std::copy(g.begin(), g.end(), b.begin() + at); }

bool mbr_type(std::string_view text, uint8_t& out) {
    if (text.size() != 2 || !std::isxdigit(static_cast<unsigned char>(text[0])) ||
        !std::isxdigit(static_cast<unsigned char>(text[1])))
        return false;
    out = static_cast<uint8_t>(std::stoi(std::string(text), nullptr, 16));
    return out != 0;
}

}  // namespace

std::vector<uint8_t> create_disk_request(PartitionScheme scheme, const Guid& disk_id) {
    std::vector<uint8_t> b(kCreateDiskBytes, 0);
    if (scheme == PartitionScheme::Gpt) {
        put32(b, 0, kStyleGpt);
        put_guid(b, 4, disk_id);
        put32(b, 20, kGptMaxPartitions);
    } else {
        put32(b, 0, kStyleMbr);
        std::copy_n(disk_id.begin(), 4, b.begin() + 4);
    }
    return b;
}

std::vector<uint8_t> set_layout_request(PartitionScheme scheme, const Guid& disk_id, const LayoutPartition& p) {
    const bool gpt = scheme == PartitionScheme::Gpt;
    const size_t entries = gpt ? 1 : 4;
    std::vector<uint8_t> b(layout_reply_bytes(entries), 0);
    put32(b, 0, gpt ? kStyleGpt : kStyleMbr);
    put32(b, 4, static_cast<uint32_t>(entries));
    if (gpt) {
        put_guid(b, 8, disk_id);
        put32(b, 40, kGptMaxPartitions);
    } else {
        std::copy_n(disk_id.begin(), 4, b.begin() + 8);
    }
    for (size_t i = 0; i < entries; ++i) {
        const size_t e = kDriveLayoutHeaderBytes + i * kPartitionInformationBytes;
        put32(b, e + kEntryStyle, gpt ? kStyleGpt : kStyleMbr);
        b[e + kEntryRewrite] = 1;
    }
    const size_t e = kDriveLayoutHeaderBytes;
    put64(b, e + kEntryOffset, p.offset_bytes);
    put64(b, e + kEntryLength, p.length_bytes);
    put32(b, e + kEntryNumber, 1);
    if (gpt) {
        Guid type{};
        if (!parse_guid(p.type_code, type)) return {};
        put_guid(b, e + kGptType, type);
        put_guid(b, e + kGptId, p.partition_id);
        const std::u16string name = u"Basic data partition";
        for (size_t i = 0; i < name.size() && i < kGptNameUnits; ++i) {
            b[e + kGptName + 2 * i] = static_cast<uint8_t>(name[i]);
            b[e + kGptName + 2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
        }
    } else {
        uint8_t type = 0;
        if (!mbr_type(p.type_code, type)) return {};
        b[e + kMbrType] = type;
        b[e + kMbrRecognised] = 1;
        put32(b, e + kMbrHidden, static_cast<uint32_t>(p.offset_bytes / (p.sector_size ? p.sector_size : 512)));
    }
    return b;
}

bool parse_layout_reply(std::span<const uint8_t> reply, uint32_t sector_size, LayoutReply& out, std::string& error) {
    out = LayoutReply{};
    out.layout.sector_size = sector_size ? sector_size : 512;
    const uint32_t ss = out.layout.sector_size;
    if (reply.size() < kDriveLayoutHeaderBytes) {
        error = "The layout reply is too short";
        return false;
    }
    const uint32_t style = get32(reply, 0);
    const uint32_t count = get32(reply, 4);
    if (style == kStyleRaw) return true;
    if (style != kStyleMbr && style != kStyleGpt) {
        error = "Unknown partition style " + std::to_string(style);
        return false;
    }
    if (reply.size() < layout_reply_bytes(count)) {
        error = "The layout reply holds fewer entries than it counts";
        return false;
    }
    const bool gpt = style == kStyleGpt;
    out.layout.scheme = gpt ? PartitionScheme::Gpt : PartitionScheme::Mbr;
    if (gpt) {
        out.first_usable_byte = get64(reply, 24);
        out.usable_bytes = get64(reply, 32);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = kDriveLayoutHeaderBytes + size_t(i) * kPartitionInformationBytes;
        PartitionEntry p;
        p.number = get32(reply, e + kEntryNumber);
        p.start_sector = get64(reply, e + kEntryOffset) / ss;
        p.sector_count = get64(reply, e + kEntryLength) / ss;
        if (gpt) {
            Guid type;
            std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(e + kGptType), 16, type.begin());
            p.type_code = guid_text(type);
        } else {
            const uint8_t type = reply[e + kMbrType];
            if (type == 0) continue;
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", type);
            p.type_code = hex;
        }
        p.type_name = partition_type_name(p.type_code, out.layout.scheme);
        out.layout.partitions.push_back(p);
    }
    return true;
}

}  // namespace tb
