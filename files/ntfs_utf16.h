// Names stored in NTFS structures: UTF-16LE code units.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tb::ntfs {

// The UTF-8 text of UTF-16LE bytes (an odd last byte is ignored).
std::string utf16le_to_utf8(std::span<const uint8_t> bytes);

}  // namespace tb::ntfs
