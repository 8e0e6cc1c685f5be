// Random-access reads of a program file, for the readers of its headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tb {

class ExecutableFile {
public:
    // Opens a regular file for reading; nothing when it cannot be read.
    static std::optional<ExecutableFile> open(const std::string& path);

    uint64_t size() const { return size_; }
    // Reads exactly `count` bytes at `pos`; false past the end or on error.
    bool read(uint64_t pos, void* out, size_t count) const;
    // Reads a table of `count` records of `entsize` bytes at `offset`, refusing
    // tables over `max_bytes` or past the end of the file.
    bool read_table(uint64_t offset, uint64_t count, uint64_t entsize, uint64_t max_bytes,
                    std::vector<unsigned char>& table) const;

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    ExecutableFile(std::FILE* f, uint64_t size) : file_(f), size_(size) {}

    std::unique_ptr<std::FILE, Closer> file_;
    uint64_t size_ = 0;
};

// Unsigned numbers of 1 to 8 bytes in either byte order.
inline uint64_t read_number(const unsigned char* p, size_t width, bool big_endian) {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v = (v << 8) | p[big_endian ? i : width - 1 - i];
    return v;
}

}  // namespace tb
