#include "platform/partition_on_disk.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/partition_types.h"

namespace tb {

namespace {

constexpr uint32_t kEntryCount = 128;
constexpr uint32_t kEntrySize = 128;
constexpr uint32_t kGptHeaderSize = 92;
constexpr uint64_t kAlignBytes = 1ull << 20;
constexpr size_t kMbrEntries = 446;
constexpr uint8_t kProtectiveType = 0xEE;

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t get64(const uint8_t* p) { return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32; }

uint32_t crc(const uint8_t* p, size_t n) {
    return static_cast<uint32_t>(::crc32(::crc32(0L, Z_NULL, 0), p, static_cast<uInt>(n)));
}

uint32_t entry_array_sectors(uint32_t sector_size) {
    return (kEntryCount * kEntrySize + sector_size - 1) / sector_size;
}

// Cylinder-head-sector form of an LBA (255 heads, 63 sectors per track);
// addresses beyond what CHS can hold are written as its largest value.
void put_chs(uint8_t* p, uint64_t lba) {
    const uint64_t cylinder = lba / (255 * 63);
    if (cylinder > 1023) {
        p[0] = 0xFE;
        p[1] = 0xFF;
        p[2] = 0xFF;
        return;
    }
    const uint64_t head = (lba / 63) % 255;
    const uint64_t sector = lba % 63 + 1;
    p[0] = static_cast<uint8_t>(head);
    p[1] = static_cast<uint8_t>(sector | ((cylinder >> 2) & 0xC0));
    p[2] = static_cast<uint8_t>(cylinder);
}

void put_mbr_entry(uint8_t* entry, uint8_t type, uint64_t first, uint64_t count) {
    entry[0] = 0;
    put_chs(entry + 1, first);
    entry[4] = type;
    put_chs(entry + 5, first + count - 1);
    put32(entry + 8, static_cast<uint32_t>(first));
    put32(entry + 12, static_cast<uint32_t>(count));
}

std::vector<uint8_t> boot_record(uint32_t sector_size) {
    std::vector<uint8_t> mbr(sector_size, 0);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_type_byte(std::string_view text, uint8_t& out) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text.empty() || text.size() > 2) return false;
    int v = 0;
    for (char c : text) {
        const int d = hex_value(c);
        if (d < 0) return false;
        v = v * 16 + d;
    }
    out = static_cast<uint8_t>(v);
    return v != 0;
}

// The header of one GPT copy and the entries it describes.
std::vector<uint8_t> gpt_header(const TablePlan& plan, uint64_t my_lba, uint64_t other_lba, uint64_t entries_lba,
                                uint64_t first_usable, uint64_t last_usable, uint32_t entries_crc) {
    std::vector<uint8_t> h(plan.sector_size, 0);
    std::copy_n("EFI PART", 8, h.begin());
    put32(&h[8], 0x00010000);
    put32(&h[12], kGptHeaderSize);
    put64(&h[24], my_lba);
    put64(&h[32], other_lba);
    put64(&h[40], first_usable);
    put64(&h[48], last_usable);
    std::copy(plan.disk_id.begin(), plan.disk_id.end(), h.begin() + 56);
    put64(&h[72], entries_lba);
    put32(&h[80], kEntryCount);
    put32(&h[84], kEntrySize);
    put32(&h[88], entries_crc);
    put32(&h[16], crc(h.data(), kGptHeaderSize));
    return h;
}

bool build_gpt(const TablePlan& plan, std::vector<SectorRun>& out, PartitionEntry& part, std::string& error) {
    const uint32_t array_sectors = entry_array_sectors(plan.sector_size);
    const uint64_t first_usable = 2 + array_sectors;
    if (plan.disk_sectors < first_usable + array_sectors + 1 + 2 * (kAlignBytes / plan.sector_size)) {
        error = "The disk is too small for a partition table";
        return false;
    }
    const uint64_t last_usable = plan.disk_sectors - 2 - array_sectors;
    Guid type{};
    if (!parse_guid(plan.type_code, type)) {
        error = "Bad partition type " + plan.type_code;
        return false;
    }
    const uint64_t first = aligned_first_sector(plan.sector_size);
    const uint64_t room = last_usable - first + 1;
    const uint64_t grain = kAlignBytes / plan.sector_size;
    uint64_t count = plan.size_bytes == 0 ? room / grain * grain : (plan.size_bytes + plan.sector_size - 1) / plan.sector_size;
    if (count == 0 || count > room) {
        error = "The partition does not fit on the disk";
        return false;
    }
    std::vector<uint8_t> entries(static_cast<size_t>(array_sectors) * plan.sector_size, 0);
    uint8_t* e = entries.data();
    std::copy(type.begin(), type.end(), e);
    std::copy(plan.partition_id.begin(), plan.partition_id.end(), e + 16);
    put64(e + 32, first);
    put64(e + 40, first + count - 1);
    const std::u16string name = u"Basic data partition";
    for (size_t i = 0; i < name.size(); ++i) put16(e + 56 + 2 * i, static_cast<uint16_t>(name[i]));
    const uint32_t entries_crc = crc(entries.data(), kEntryCount * kEntrySize);

    std::vector<uint8_t> mbr = boot_record(plan.sector_size);
    put_mbr_entry(&mbr[kMbrEntries], kProtectiveType, 1, std::min<uint64_t>(plan.disk_sectors - 1, 0xFFFFFFFFu));
    mbr[kMbrEntries + 1] = 0x00;  // protective entry: CHS start 0/0/2
    mbr[kMbrEntries + 2] = 0x02;
    mbr[kMbrEntries + 3] = 0x00;

    const uint64_t last = plan.disk_sectors - 1;
    const uint64_t backup_entries = last - array_sectors;
    out.push_back({0, std::move(mbr)});
    out.push_back({1, gpt_header(plan, 1, last, 2, first_usable, last_usable, entries_crc)});
    out.push_back({2, entries});
    out.push_back({backup_entries, entries});
    out.push_back({last, gpt_header(plan, last, 1, backup_entries, first_usable, last_usable, entries_crc)});

    part.number = 1;
    part.start_sector = first;
    part.sector_count = count;
    part.type_code = guid_text(type);
    part.type_name = partition_type_name(part.type_code, PartitionScheme::Gpt);
    return true;
}

bool build_mbr(const TablePlan& plan, std::vector<SectorRun>& out, PartitionEntry& part, std::string& error) {
    uint8_t type = 0;
    if (!parse_type_byte(plan.type_code, type)) {
        error = "Bad partition type " + plan.type_code;
        return false;
    }
    const uint64_t first = aligned_first_sector(plan.sector_size);
    const uint64_t grain = kAlignBytes / plan.sector_size;
    if (plan.disk_sectors < first + grain) {
        error = "The disk is too small for a partition table";
        return false;
    }
    const uint64_t end = std::min<uint64_t>(plan.disk_sectors, 0xFFFFFFFFull);  // sectors an MBR can address
    const uint64_t room = end - first;
    uint64_t count = plan.size_bytes == 0 ? room / grain * grain : (plan.size_bytes + plan.sector_size - 1) / plan.sector_size;
    if (count == 0 || count > room) {
        error = plan.size_bytes == 0 ? "The partition does not fit on the disk"
                                     : "The partition does not fit on the disk (an MBR addresses at most 2^32 sectors)";
        return false;
    }
    std::vector<uint8_t> mbr = boot_record(plan.sector_size);
    std::copy_n(plan.disk_id.begin(), 4, mbr.begin() + 440);
    put_mbr_entry(&mbr[kMbrEntries], type, first, count);
    out.push_back({0, std::move(mbr)});

    part.number = 1;
    part.start_sector = first;
    part.sector_count = count;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", type);
    part.type_code = hex;
    part.type_name = partition_type_name(part.type_code, PartitionScheme::Mbr);
    return true;
}

bool read_gpt(uint32_t sector_size, uint64_t disk_sectors, const SectorReader& read, PartitionLayout& out,
              std::string& error) {
    std::vector<uint8_t> h;
    if (!read(1, 1, h) || h.size() < kGptHeaderSize) {
        error = "Cannot read the GPT header";
        return false;
    }
    if (!std::equal(h.begin(), h.begin() + 8, "EFI PART")) {
        error = "GPT header signature missing";
        return false;
    }
    const uint32_t header_size = get32(&h[12]);
    if (header_size < kGptHeaderSize || header_size > sector_size) {
        error = "GPT header size is wrong";
        return false;
    }
    std::vector<uint8_t> check(h.begin(), h.begin() + header_size);
    put32(&check[16], 0);
    if (crc(check.data(), check.size()) != get32(&h[16])) {
        error = "GPT header checksum mismatch";
        return false;
    }
    const uint64_t entries_lba = get64(&h[72]);
    const uint32_t count = get32(&h[80]);
    const uint32_t size = get32(&h[84]);
    if (size < 128 || size % 8 != 0 || count == 0 || count > 1024) {
        error = "GPT entry array is malformed";
        return false;
    }
    const uint64_t bytes = uint64_t(count) * size;
    const uint32_t sectors = static_cast<uint32_t>((bytes + sector_size - 1) / sector_size);
    if (entries_lba < 2 || entries_lba + sectors > disk_sectors) {
        error = "GPT entry array lies outside the disk";
        return false;
    }
    std::vector<uint8_t> entries;
    if (!read(entries_lba, sectors, entries) || entries.size() < bytes) {
        error = "Cannot read the GPT entries";
        return false;
    }
    if (crc(entries.data(), static_cast<size_t>(bytes)) != get32(&h[88])) {
        error = "GPT entries checksum mismatch";
        return false;
    }
    out.scheme = PartitionScheme::Gpt;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = &entries[size_t(i) * size];
        Guid type;
        std::copy_n(e, 16, type.begin());
        if (type == Guid{}) continue;
        const uint64_t first = get64(e + 32), last = get64(e + 40);
        if (last < first || last >= disk_sectors) {
            error = "GPT entry " + std::to_string(i + 1) + " lies outside the disk";
            return false;
        }
        PartitionEntry p;
        p.number = i + 1;
        p.start_sector = first;
        p.sector_count = last - first + 1;
        p.type_code = guid_text(type);
        p.type_name = partition_type_name(p.type_code, PartitionScheme::Gpt);
        out.partitions.push_back(p);
    }
    return true;
}

}  // namespace

bool parse_guid(std::string_view text, Guid& out) {
    // 8-4-4-4-12 hex digits.
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return false;
    std::string digits;
    for (char c : text)
        if (c != '-') digits += c;
    if (digits.size() != 32) return false;
    std::array<uint8_t, 16> plain{};
    for (size_t n = 0; n < 16; ++n) {
        const int hi = hex_value(digits[2 * n]), lo = hex_value(digits[2 * n + 1]);
        if (hi < 0 || lo < 0) return false;
        plain[n] = static_cast<uint8_t>(hi * 16 + lo);
    }
    // The first three groups are stored little-endian.
    out = plain;
    std::reverse(out.begin(), out.begin() + 4);
    std::reverse(out.begin() + 4, out.begin() + 6);
    std::reverse(out.begin() + 6, out.begin() + 8);
    return true;
}

std::string guid_text(const Guid& g) {
    char s[37];
    std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2], g[1],
                  g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return s;
}

uint64_t aligned_first_sector(uint32_t sector_size) { return kAlignBytes / (sector_size ? sector_size : 512); }

bool build_table(const TablePlan& plan, std::vector<SectorRun>& out, PartitionEntry& partition, std::string& error) {
    out.clear();
    if (plan.sector_size < 512 || plan.sector_size % 512 != 0 || kAlignBytes % plan.sector_size != 0) {
        error = "Unsupported sector size " + std::to_string(plan.sector_size);
        return false;
    }
    switch (plan.scheme) {
        case PartitionScheme::Gpt: return build_gpt(plan, out, partition, error);
        case PartitionScheme::Mbr: return build_mbr(plan, out, partition, error);
        case PartitionScheme::None: break;
    }
    error = "No partition scheme";
    return false;
}

bool read_table(uint32_t sector_size, uint64_t disk_sectors, const SectorReader& read, PartitionLayout& out,
                std::string& error) {
    out = PartitionLayout{};
    out.sector_size = sector_size;
    out.disk_sectors = disk_sectors;
    std::vector<uint8_t> mbr;
    if (disk_sectors == 0 || !read(0, 1, mbr) || mbr.size() < 512) {
        error = "Cannot read sector 0";
        return false;
    }
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) return true;  // no table
    bool protective = false, any = false;
    for (int i = 0; i < 4; ++i) {
        const uint8_t type = mbr[kMbrEntries + 16 * i + 4];
        protective = protective || type == kProtectiveType;
        any = any || type != 0;
    }
    if (protective) return read_gpt(sector_size, disk_sectors, read, out, error);
    // A boot sector of a file system written straight onto the disk also
    // ends in 55 AA; it has no valid entries (boot flags 0 or 0x80 only).
    for (int i = 0; i < 4; ++i) {
        const uint8_t flag = mbr[kMbrEntries + 16 * i];
        if (flag != 0 && flag != 0x80) return true;
    }
    if (!any) return true;
    out.scheme = PartitionScheme::Mbr;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* e = &mbr[kMbrEntries + 16 * i];
        if (e[4] == 0) continue;
        PartitionEntry p;
        p.number = static_cast<uint32_t>(i + 1);
        p.start_sector = get32(e + 8);
        p.sector_count = get32(e + 12);
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", e[4]);
        p.type_code = hex;
        p.type_name = partition_type_name(p.type_code, PartitionScheme::Mbr);
        out.partitions.push_back(p);
    }
    return true;
}

std::vector<std::pair<uint64_t, uint64_t>> table_sectors(uint32_t sector_size, uint64_t disk_sectors) {
    const uint64_t head = 2 + entry_array_sectors(sector_size);
    std::vector<std::pair<uint64_t, uint64_t>> out;
    out.emplace_back(0, std::min(head, disk_sectors));
    const uint64_t tail = 1 + entry_array_sectors(sector_size);
    if (disk_sectors > head + tail) out.emplace_back(disk_sectors - tail, tail);
    return out;
}

}  // namespace tb
