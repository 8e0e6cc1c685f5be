// Reading a log the drive hands out in 4096-byte chunks: the first chunk
// tells how many there are, the others follow. Every read is the command's
// own (a vendor operation, or the ATA event log read at a position), so a
// failed one ends the whole log with its error.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tb {

constexpr uint32_t kLogChunkBytes = 4096;
// The largest log read: beyond it a size in the first chunk is taken as damaged.
constexpr uint64_t kLargestLogBytes = 1024ull * 1024 * 1024;

// Reads chunk `index` into `chunk` (4096 bytes); false after raising the error.
using ChunkReader = std::function<bool(uint32_t index, std::span<uint8_t> chunk)>;

// Reads chunks 0 .. count-1 where count comes from `chunk_count(chunk 0)`;
// a count of 0 or one beyond the largest log raises -90 ("<name>: <what>
// ...") and gives nothing. A grey progress line counts the chunks.
std::optional<std::vector<uint8_t>> read_chunked_log(int slot, const std::string& name, const char* what,
                                                     const ChunkReader& read_chunk,
                                                     const std::function<uint64_t(std::span<const uint8_t>)>& chunk_count);

// "%d.%02d MB" of a byte count.
std::string megabytes_text(uint64_t bytes);

}  // namespace tb
