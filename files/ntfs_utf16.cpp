#include "files/ntfs_utf16.h"

#include "common/text.h"

namespace tb::ntfs {

std::string utf16le_to_utf8(std::span<const uint8_t> bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return to_utf8(units);
}

}  // namespace tb::ntfs
