// Little-endian fields of on-disk NTFS structures, read only where they lie
// wholly inside the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tb::ntfs {

// Whether `length` bytes from `offset` lie inside a buffer of `size` bytes
// (without the sum wrapping).
inline bool fits(size_t size, uint64_t offset, uint64_t length) {
    return offset <= size && length <= size - offset;
}

// The unsigned value of `width` bytes (at most 8) at `offset`, least
// significant first; nullopt when they leave the buffer.
inline std::optional<uint64_t> read_le(std::span<const uint8_t> bytes, uint64_t offset, unsigned width) {
    if (width > 8 || !fits(bytes.size(), offset, width)) return std::nullopt;
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
    return v;
}

// The same for fields already known to lie inside the buffer.
inline uint16_t le16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(*read_le(b, at, 2)); }
inline uint32_t le32(std::span<const uint8_t> b, size_t at) { return static_cast<uint32_t>(*read_le(b, at, 4)); }
inline uint64_t le64(std::span<const uint8_t> b, size_t at) { return *read_le(b, at, 8); }

// A record number from a file reference: its low 48 bits.
inline uint64_t record_of_reference(uint64_t reference) { return reference & 0xFFFFFFFFFFFFull; }

}  // namespace tb::ntfs
