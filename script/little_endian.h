// Little-endian fields of byte buffers: appending while writing, and a
// bounded reader that refuses to run past the end while reading.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tb {

inline void put_le(std::vector<uint8_t>& out, uint64_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint64_t get_le(std::span<const uint8_t> in, size_t at, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(in[at + i]) << (8 * i);
    return v;
}

// Reads fields in order; once a read would pass the end every later read
// fails too and ok() stays false.
class LeReader {
public:
    explicit LeReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool read(size_t bytes, uint64_t& v) {
        if (!ok_ || bytes_.size() - at_ < bytes) return ok_ = false;
        v = get_le(bytes_, at_, bytes);
        at_ += bytes;
        return true;
    }
    // A text stored as a 32-bit length and that many bytes, at most `limit`.
    bool read_text(std::string& s, size_t limit) {
        uint64_t n = 0;
        if (!read(4, n) || n > limit || bytes_.size() - at_ < n) return ok_ = false;
        s.assign(reinterpret_cast<const char*>(bytes_.data() + at_), static_cast<size_t>(n));
        at_ += static_cast<size_t>(n);
        return true;
    }
    bool ok() const { return ok_; }
    size_t offset() const { return at_; }
    size_t left() const { return bytes_.size() - at_; }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

inline void put_text(std::vector<uint8_t>& out, const std::string& s) {
    put_le(out, s.size(), 4);
    out.insert(out.end(), s.begin(), s.end());
}

}  // namespace tb
