// The data File_Write puts in a file and File_CompareWithPattern expects:
// the 32-bit pattern repeated most significant byte first, and at the start
// of every 512-byte block that block's own byte offset in the file as 8
// bytes, least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tb {

constexpr size_t kFilePieceBytes = size_t{1} << 20;  // what one write of File_Write carries
constexpr size_t kFileBlockBytes = 512;              // the stretch each offset mark heads

// Fills `piece` with the data of the file from `file_offset` on: the pattern
// everywhere, then, with `offset_marks`, the offset of every block that
// starts inside the piece (file offsets that are multiples of 512).
void fill_file_piece(std::span<uint8_t> piece, uint64_t file_offset, uint32_t pattern_value, bool offset_marks = true);

// The first byte (index into `data`) where `data`, read from `file_offset`,
// differs from what fill_file_piece() makes; `data.size()` when it agrees.
size_t first_piece_difference(std::span<const uint8_t> data, uint64_t file_offset, uint32_t pattern_value,
                               bool offset_marks);

}  // namespace tb
