// Little helpers shared by the simulated devices: byte-order access into
// command and data buffers, padded identification strings and the clock the
// devices count their power-on time with.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace tb::sim {

inline uint16_t get_le16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t get_le32(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint64_t get_le64(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint64_t>(get_le32(b, at)) | (static_cast<uint64_t>(get_le32(b, at + 4)) << 32);
}
inline uint16_t get_be16(std::span<const uint8_t> b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}
inline uint32_t get_be24(std::span<const uint8_t> b, size_t at) {
    return (static_cast<uint32_t>(b[at]) << 16) | (static_cast<uint32_t>(b[at + 1]) << 8) | b[at + 2];
}
inline uint32_t get_be32(std::span<const uint8_t> b, size_t at) {
    return (static_cast<uint32_t>(b[at]) << 24) | (static_cast<uint32_t>(b[at + 1]) << 16) |
           (static_cast<uint32_t>(b[at + 2]) << 8) | b[at + 3];
}
inline uint64_t get_be64(std::span<const uint8_t> b, size_t at) {
    return (static_cast<uint64_t>(get_be32(b, at)) << 32) | get_be32(b, at + 4);
}

inline void put_le16(std::span<uint8_t> b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le32(std::span<uint8_t> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_le64(std::span<uint8_t> b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void put_be16(std::span<uint8_t> b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
inline void put_be32(std::span<uint8_t> b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void put_be64(std::span<uint8_t> b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (7 - i)));
}

// Copies `text` into `width` bytes at `at`, padded with blanks (identification
// strings of NVMe and SCSI).
inline void put_ascii(std::span<uint8_t> b, size_t at, size_t width, std::string_view text) {
    for (size_t i = 0; i < width; ++i) b[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

// ATA identification strings: two characters per word, the first one in the
// high byte.
inline void put_ata_string(std::span<uint8_t> b, size_t first_word, size_t words, std::string_view text) {
    for (size_t i = 0; i < words * 2; ++i) {
        uint8_t c = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
        b[first_word * 2 + (i ^ 1)] = c;
    }
}

// Copy of `src` into `dst` as far as both reach; the rest of `dst` is zeroed.
inline void copy_out(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    size_t n = std::min(dst.size(), src.size());
    if (n) std::memcpy(dst.data(), src.data(), n);
    if (dst.size() > n) std::memset(dst.data() + n, 0, dst.size() - n);
}

// The time base of power-on counters: a monotonic clock plus an offset the
// machine control can advance (so tests need not wait for hours).
class SimClock {
  public:
    double now_seconds() const {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch()).count();
        return static_cast<double>(ms + offset_ms_.load()) / 1000.0;
    }
    void advance(double seconds) { offset_ms_ += static_cast<int64_t>(seconds * 1000.0); }

  private:
    std::atomic<int64_t> offset_ms_{0};
};

// Revision text of a firmware image: the 8 characters after a "FWREV:" marker
// when the image carries one, else "S" and 7 hex digits of the image checksum.
std::string firmware_image_revision(std::span<const uint8_t> image);

}  // namespace tb::sim
