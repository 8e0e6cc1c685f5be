#include "app/pe_image.h"

#include <algorithm>
#include <vector>

namespace tb {

namespace {

constexpr size_t kDosHeaderSize = 0x40;
constexpr size_t kNewHeaderPointer = 0x3C;  // where the PE signature lies
constexpr size_t kFileHeaderSize = 20;       // after the 4-byte signature
constexpr size_t kSectionRecordSize = 40;
constexpr uint64_t kSymbolRecordSize = 18;
constexpr uint16_t kMagicPe32 = 0x10B, kMagicPe32Plus = 0x20B;
constexpr size_t kSizeOfHeadersField = 60;   // the same in both optional-header kinds
constexpr size_t kCertificateDirectory = 4;  // its "address" is a file offset

// The fields of the two optional-header kinds that the size depends on.
struct OptionalLayout {
    size_t directory_count;  // NumberOfRvaAndSizes
    size_t directories;      // first data directory
};
constexpr OptionalLayout kPe32{92, 96};
constexpr OptionalLayout kPe32Plus{108, 112};

uint64_t le(const unsigned char* p, size_t width) { return read_number(p, width, false); }

// The end of the certificate table named by the optional header (0 when none).
uint64_t certificate_end(const std::vector<unsigned char>& optional, const OptionalLayout& layout) {
    if (optional.size() < layout.directory_count + 4) return 0;
    const uint64_t count = le(optional.data() + layout.directory_count, 4);
    const size_t entry = layout.directories + kCertificateDirectory * 8;
    if (count <= kCertificateDirectory || optional.size() < entry + 8) return 0;
    const uint64_t offset = le(optional.data() + entry, 4), size = le(optional.data() + entry + 4, 4);
    return size > 0 ? offset + size : 0;
}

// The end of the symbol table and the string table after it (0 when none);
// nothing when the table lies outside the file.
std::optional<uint64_t> symbols_end(const ExecutableFile& file, uint64_t pointer, uint64_t count) {
    if (pointer == 0) return 0;
    const uint64_t table_end = pointer + count * kSymbolRecordSize;
    if (table_end > file.size()) return std::nullopt;
    unsigned char length[4];
    if (!file.read(table_end, length, sizeof length)) return table_end;  // no string table
    const uint64_t strings = le(length, 4);
    return strings >= 4 ? table_end + strings : table_end + 4;
}

}  // namespace

bool looks_like_pe(const unsigned char* head, size_t size) { return size >= 2 && head[0] == 'M' && head[1] == 'Z'; }

std::optional<uint64_t> pe_image_size(const ExecutableFile& file) {
    unsigned char dos[kDosHeaderSize];
    if (!file.read(0, dos, sizeof dos) || !looks_like_pe(dos, sizeof dos)) return std::nullopt;
    const uint64_t pe = le(dos + kNewHeaderPointer, 4);

    unsigned char head[4 + kFileHeaderSize];
    if (!file.read(pe, head, sizeof head) || head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0)
        return std::nullopt;
    const unsigned char* coff = head + 4;
    const uint64_t section_count = le(coff + 2, 2);
    const uint64_t symbol_pointer = le(coff + 8, 4), symbol_count = le(coff + 12, 4);
    const uint64_t optional_size = le(coff + 16, 2);

    const uint64_t optional_at = pe + sizeof head;
    std::vector<unsigned char> optional;
    if (!file.read_table(optional_at, 1, optional_size, 0xFFFF, optional) || optional.size() < kSizeOfHeadersField + 4)
        return std::nullopt;
    const uint64_t magic = le(optional.data(), 2);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return std::nullopt;
    const OptionalLayout& layout = magic == kMagicPe32Plus ? kPe32Plus : kPe32;

    const uint64_t sections_at = optional_at + optional_size;
    std::vector<unsigned char> sections;
    if (!file.read_table(sections_at, section_count, kSectionRecordSize, 0xFFFF * kSectionRecordSize, sections))
        return std::nullopt;

    uint64_t end = std::max(sections_at + sections.size(), le(optional.data() + kSizeOfHeadersField, 4));
    for (uint64_t i = 0; i < section_count; ++i) {
        const unsigned char* s = sections.data() + i * kSectionRecordSize;
        const uint64_t raw_size = le(s + 16, 4), raw_pointer = le(s + 20, 4);
        if (raw_size > 0) end = std::max(end, raw_pointer + raw_size);
    }
    end = std::max(end, certificate_end(optional, layout));
    const std::optional<uint64_t> symbols = symbols_end(file, symbol_pointer, symbol_count);
    if (!symbols) return std::nullopt;
    return std::max(end, *symbols);
}

}  // namespace tb
