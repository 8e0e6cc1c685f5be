#include "platform/partition_file_system.h"

#include <algorithm>
#include <string_view>

namespace tb {

namespace {

bool text_at(std::span<const uint8_t> b, size_t at, std::string_view text) {
    return b.size() >= at + text.size() && std::equal(text.begin(), text.end(), b.begin() + at);
}

uint32_t le32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The ext superblock sits 1024 bytes in; its magic 0xEF53 at byte 56.
std::string ext_family(std::span<const uint8_t> b) {
    constexpr size_t kSuper = 1024;
    if (b.size() < kSuper + 104 || b[kSuper + 56] != 0x53 || b[kSuper + 57] != 0xEF) return {};
    const uint32_t compat = le32(b, kSuper + 92);
    const uint32_t incompat = le32(b, kSuper + 96);
    constexpr uint32_t kHasJournal = 0x4;
    constexpr uint32_t kExtents = 0x40, k64Bit = 0x80, kFlexGroups = 0x200;
    if (incompat & (kExtents | k64Bit | kFlexGroups)) return "EXT4";
    return compat & kHasJournal ? "EXT3" : "EXT2";
}

}  // namespace

std::string probe_file_system(std::span<const uint8_t> b) {
    if (b.size() < 512) return {};
    const bool boot_mark = b[510] == 0x55 && b[511] == 0xAA;
    if (text_at(b, 3, "NTFS    ")) return "NTFS";
    if (text_at(b, 3, "EXFAT   ")) return "EXFAT";
    if (boot_mark && text_at(b, 82, "FAT32   ")) return "FAT32";
    if (boot_mark && text_at(b, 54, "FAT16   ")) return "FAT16";
    if (boot_mark && text_at(b, 54, "FAT12   ")) return "FAT12";
    return ext_family(b);
}

}  // namespace tb
