#include "files/ntfs_file_name.h"

#include "files/ntfs_bytes.h"
#include "files/ntfs_utf16.h"

namespace tb::ntfs {

std::optional<FileName> decode_file_name(std::span<const uint8_t> value) {
    constexpr size_t kNameAt = 66;
    if (value.size() < kNameAt) return std::nullopt;
    const size_t chars = value[64];
    if (!fits(value.size(), kNameAt, 2 * chars)) return std::nullopt;
    FileName f;
    f.parent = record_of_reference(le64(value, 0));
    f.name_space = value[65];
    f.name = utf16le_to_utf8(value.subspan(kNameAt, 2 * chars));
    return f;
}

}  // namespace tb::ntfs
