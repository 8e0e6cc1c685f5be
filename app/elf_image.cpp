#include "app/elf_image.h"

#include <algorithm>
#include <vector>

namespace tb {

namespace {

// Identification bytes at the start of every ELF file.
constexpr size_t kIdentSize = 16;
constexpr size_t kIdentClass = 4, kIdentData = 5;
constexpr unsigned char kClass32 = 1, kClass64 = 2;
constexpr unsigned char kLittleEndian = 1, kBigEndian = 2;
constexpr uint64_t kSectionNoBits = 8;  // a section that takes no room in the file

// The field offsets of the two ELF classes that the size depends on.
struct ElfLayout {
    size_t header_size;
    size_t ph_offset, sh_offset;              // e_phoff, e_shoff
    size_t ph_entsize, ph_num, sh_entsize, sh_num;
    size_t word;                              // width of offsets and sizes
    size_t p_offset, p_filesz, p_size;        // program header fields, record size
    size_t s_type, s_offset, s_size, s_rec;   // section header fields, record size
};

constexpr ElfLayout kElf64{64, 0x20, 0x28, 0x36, 0x38, 0x3A, 0x3C, 8, 0x08, 0x20, 56, 0x04, 0x18, 0x20, 64};
constexpr ElfLayout kElf32{52, 0x1C, 0x20, 0x2A, 0x2C, 0x2E, 0x30, 4, 0x04, 0x10, 32, 0x04, 0x10, 0x14, 40};

// Header tables longer than this are not believed.
constexpr uint64_t kMaxTableBytes = 64u << 20;

}  // namespace

bool looks_like_elf(const unsigned char* head, size_t size) {
    return size >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

std::optional<uint64_t> elf_image_size(const ExecutableFile& file) {
    const uint64_t file_size = file.size();
    unsigned char h[64] = {};
    if (file_size < kIdentSize || !file.read(0, h, static_cast<size_t>(std::min<uint64_t>(sizeof h, file_size))))
        return std::nullopt;
    if (!looks_like_elf(h, sizeof h)) return std::nullopt;
    const ElfLayout* layout = h[kIdentClass] == kClass64 ? &kElf64 : h[kIdentClass] == kClass32 ? &kElf32 : nullptr;
    if (!layout || (h[kIdentData] != kLittleEndian && h[kIdentData] != kBigEndian)) return std::nullopt;
    if (file_size < layout->header_size) return std::nullopt;
    const ElfLayout& L = *layout;
    const bool big = h[kIdentData] == kBigEndian;
    auto get = [big](const unsigned char* p, size_t width) { return read_number(p, width, big); };

    const uint64_t phoff = get(h + L.ph_offset, L.word), shoff = get(h + L.sh_offset, L.word);
    const uint64_t phentsize = get(h + L.ph_entsize, 2), phnum = get(h + L.ph_num, 2);
    const uint64_t shentsize = get(h + L.sh_entsize, 2);
    uint64_t shnum = get(h + L.sh_num, 2);
    if ((phnum > 0 && phentsize < L.p_size) || (shoff != 0 && shentsize < L.s_rec)) return std::nullopt;

    uint64_t end = L.header_size;
    std::vector<unsigned char> table;
    if (phnum > 0) {
        if (!file.read_table(phoff, phnum, phentsize, kMaxTableBytes, table)) return std::nullopt;
        end = std::max(end, phoff + phnum * phentsize);
        for (uint64_t i = 0; i < phnum; ++i) {
            const unsigned char* p = table.data() + i * phentsize;
            uint64_t offset = get(p + L.p_offset, L.word), filesz = get(p + L.p_filesz, L.word);
            if (filesz > 0 && offset <= UINT64_MAX - filesz) end = std::max(end, offset + filesz);
        }
    }
    if (shoff != 0) {
        // A count too large for the header field is kept in the first section's size.
        if (shnum == 0) {
            unsigned char first[64] = {};
            if (!file.read(shoff, first, L.s_rec)) return std::nullopt;
            shnum = get(first + L.s_size, L.word);
        }
        if (!file.read_table(shoff, shnum, shentsize, kMaxTableBytes, table)) return std::nullopt;
        end = std::max(end, shoff + shnum * shentsize);
        for (uint64_t i = 0; i < shnum; ++i) {
            const unsigned char* s = table.data() + i * shentsize;
            if (get(s + L.s_type, 4) == kSectionNoBits) continue;
            uint64_t offset = get(s + L.s_offset, L.word), size = get(s + L.s_size, L.word);
            if (size > 0 && offset <= UINT64_MAX - size) end = std::max(end, offset + size);
        }
    }
    return end;
}

}  // namespace tb
