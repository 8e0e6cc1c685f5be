#include "files/file_piece.h"

#include <algorithm>
#include <vector>

#include "workload/pattern.h"

namespace tb {

namespace {

void put_le64(uint8_t* at, uint64_t value) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The byte of the repeated pattern at file offset `offset` (the pattern is
// laid from offset 0 of the file, so a piece that starts inside a word
// starts inside the pattern too).
uint8_t pattern_byte(uint32_t value, uint64_t offset) {
    return static_cast<uint8_t>(value >> (8 * (3 - offset % 4)));
}

}  // namespace

void fill_file_piece(std::span<uint8_t> piece, uint64_t file_offset, uint32_t pattern_value, bool offset_marks) {
    const uint64_t skew = file_offset % 4;
    if (skew == 0) {
        pattern_fill_value(piece, pattern_value);
    } else {
        for (size_t i = 0; i < piece.size(); ++i) piece[i] = pattern_byte(pattern_value, file_offset + i);
    }
    if (!offset_marks) return;
    // Every block whose mark reaches into the piece, also one that starts
    // before it (a piece that begins inside a mark, as a read from any offset may).
    const uint64_t end = file_offset + piece.size();
    for (uint64_t block = file_offset / kFileBlockBytes * kFileBlockBytes; block < end; block += kFileBlockBytes) {
        uint8_t mark[8];
        put_le64(mark, block);
        for (uint64_t at = std::max(block, file_offset); at < std::min(block + 8, end); ++at)
            piece[static_cast<size_t>(at - file_offset)] = mark[at - block];
    }
}

size_t first_piece_difference(std::span<const uint8_t> data, uint64_t file_offset, uint32_t pattern_value,
                              bool offset_marks) {
    // Compared a block-sized stretch at a time, so a 16 MiB read needs no
    // second 16 MiB buffer.
    std::vector<uint8_t> expected(kFilePieceBytes);
    for (size_t done = 0; done < data.size();) {
        const size_t n = std::min(expected.size(), data.size() - done);
        std::span<uint8_t> want(expected.data(), n);
        fill_file_piece(want, file_offset + done, pattern_value, offset_marks);
        const auto diff = std::mismatch(want.begin(), want.end(), data.begin() + static_cast<std::ptrdiff_t>(done));
        if (diff.first != want.end()) return done + static_cast<size_t>(diff.first - want.begin());
        done += n;
    }
    return data.size();
}

}  // namespace tb
