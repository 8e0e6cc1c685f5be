// The transform of the debug archive (".datx"): the archive's bytes in
// reverse order, each byte replaced through a fixed substitution table. The
// table is a permutation of the 256 byte values, so the transform can be
// undone byte for byte; the reader of .datx files uses the same table.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

// The substitution table: byte b becomes kDatxTable[b].
extern const std::array<uint8_t, 256> kDatxTable;

// Zip archive bytes -> .datx bytes.
std::string datx_encode(std::string_view archive);
// .datx bytes -> the archive bytes.
std::string datx_decode(std::string_view datx);

}  // namespace tb
