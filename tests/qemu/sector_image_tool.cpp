// Reads and changes 512-byte sectors of a disk image file on the host, for
// the power-cut test: lays down the base data a map compare expects of
// never-written sectors, puts chosen contents into single sectors behind the
// test's back, and reads a record of an LBA map file. Built from the
// layouts alone, so that it checks the program instead of sharing its code:
//   sector stamp: bytes 0-7 the LBA, most significant byte first; the rest
//   the 32-bit pattern repeated, most significant byte first;
//   map file: a 24-byte little-endian header, then 9-byte records (offset
//   in bytes, 8 bytes little-endian; action, 1 byte).
//
// usage: sector_image_tool fill-base IMAGE FIRST_LBA COUNT PATTERN
//        sector_image_tool put IMAGE LBA zeros|garbage
//        sector_image_tool put IMAGE LBA base PATTERN
//        sector_image_tool record MAP INDEX      prints "OFFSET ACTION"
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kSector = 512;

class File {
public:
    File(const char* path, int flags) : fd_(::open(path, flags)) {}
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return fd_ >= 0; }
    bool write_at(const void* data, size_t size, uint64_t offset) const {
        return ::pwrite(fd_, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    }
    bool read_at(void* data, size_t size, uint64_t offset) const {
        return ::pread(fd_, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
};

bool number(const char* text, uint64_t& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 0);
    return errno == 0 && end != text && *end == '\0';
}

void stamp_base(uint8_t* sector, uint64_t lba, uint32_t pattern) {
    for (int i = 0; i < 8; ++i) sector[i] = static_cast<uint8_t>(lba >> (56 - 8 * i));
    for (size_t at = 8; at < kSector; at += 4)
        for (int i = 0; i < 4; ++i) sector[at + i] = static_cast<uint8_t>(pattern >> (24 - 8 * i));
}

int fill_base(const char* image, uint64_t first, uint64_t count, uint32_t pattern) {
    File f(image, O_WRONLY);
    if (!f.ok()) return std::perror(image), 1;
    constexpr uint64_t kChunk = 2048;  // sectors per write
    std::vector<uint8_t> buffer(kChunk * kSector);
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = std::min(kChunk, count - done);
        for (uint64_t s = 0; s < n; ++s) stamp_base(&buffer[s * kSector], first + done + s, pattern);
        if (!f.write_at(buffer.data(), n * kSector, (first + done) * kSector)) return std::perror(image), 1;
        done += n;
    }
    return 0;
}

int put(const char* image, uint64_t lba, const std::string& what, uint32_t pattern) {
    std::array<uint8_t, kSector> sector{};
    if (what == "base") {
        stamp_base(sector.data(), lba, pattern);
    } else if (what == "garbage") {
        // Neither zeros, nor stamped with this LBA, nor any version of it.
        std::mt19937 gen(static_cast<uint32_t>(lba) ^ 0x9E3779B9u);
        for (auto& b : sector) b = static_cast<uint8_t>(gen() | 1);
    } else if (what != "zeros") {
        std::fprintf(stderr, "put: unknown content %s\n", what.c_str());
        return 2;
    }
    File f(image, O_WRONLY);
    if (!f.ok() || !f.write_at(sector.data(), kSector, lba * kSector)) return std::perror(image), 1;
    return 0;
}

int record(const char* map, uint64_t index) {
    File f(map, O_RDONLY);
    uint8_t header[24], rec[9];
    if (!f.ok() || !f.read_at(header, sizeof header, 0)) return std::perror(map), 1;
    uint32_t count = 0;
    for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(header[20 + i]) << (8 * i);
    if (index >= count) {
        std::fprintf(stderr, "record: %s holds %u records\n", map, count);
        return 1;
    }
    if (!f.read_at(rec, sizeof rec, 24 + 9 * index)) return std::perror(map), 1;
    uint64_t offset = 0;
    for (int i = 0; i < 8; ++i) offset |= static_cast<uint64_t>(rec[i]) << (8 * i);
    std::printf("%llu %u\n", static_cast<unsigned long long>(offset), rec[8]);
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: sector_image_tool fill-base IMAGE FIRST_LBA COUNT PATTERN\n"
                 "       sector_image_tool put IMAGE LBA zeros|garbage|base [PATTERN]\n"
                 "       sector_image_tool record MAP INDEX\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    uint64_t a = 0, b = 0, c = 0;
    if (cmd == "fill-base" && argc == 6 && number(argv[3], a) && number(argv[4], b) && number(argv[5], c) &&
        c <= 0xFFFFFFFFu)
        return fill_base(argv[2], a, b, static_cast<uint32_t>(c));
    if (cmd == "put" && (argc == 5 || argc == 6) && number(argv[3], a) && (argc == 5 || number(argv[5], c)) &&
        c <= 0xFFFFFFFFu && (std::string(argv[4]) != "base" || argc == 6))
        return put(argv[2], a, argv[4], static_cast<uint32_t>(c));
    if (cmd == "record" && argc == 4 && number(argv[3], a)) return record(argv[2], a);
    return usage();
}
