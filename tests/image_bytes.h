// Hand-made executable images for the image reader tests: a scratch file
// that holds the bytes, and little-endian fields put at their offsets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/host/random_bytes.h"
#include "platform/host/temp_folder.h"

namespace tb::test {

class ScratchFile {
public:
    explicit ScratchFile(const std::string& stem, const std::string& extension = {}) {
        std::uint64_t tag = 0;
        tb::host::random_bytes(&tag, sizeof tag);
        path_ = tb::host::temp_folder() / (stem + "-" + std::to_string(tag) + extension);
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    std::string write(const std::string& bytes) const {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
        return path_.string();
    }

private:
    std::filesystem::path path_;
};

// Writes `value` little-endian, `width` bytes at `at`, growing `b` as needed.
inline void put(std::string& b, size_t at, std::uint64_t value, size_t width) {
    if (b.size() < at + width) b.resize(at + width, '\0');
    for (size_t i = 0; i < width; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace tb::test
