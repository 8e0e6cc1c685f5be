#include "app/program_image.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/paths.h"

namespace tb {

namespace {

// The field offsets of the two ELF classes that the size depends on.
struct ElfLayout {
    size_t header_size;
    size_t ph_offset, sh_offset;              // e_phoff, e_shoff
    size_t ph_entsize, ph_num, sh_entsize, sh_num;
    size_t word;                              // width of offsets and sizes
    size_t p_offset, p_filesz, p_size;        // program header fields, record size
    size_t s_type, s_offset, s_size, s_rec;   // section header fields, record size
};

constexpr ElfLayout kElf64{64, 0x20, 0x28, 0x36, 0x38, 0x3A, 0x3C, 8, 0x08, 0x20, 56, 0x04, 0x18, 0x20, 64};
constexpr ElfLayout kElf32{52, 0x1C, 0x20, 0x2A, 0x2C, 0x2E, 0x30, 4, 0x04, 0x10, 32, 0x04, 0x10, 0x14, 40};

// Section header tables longer than this are not believed.
constexpr uint64_t kMaxTableBytes = 64u << 20;

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

bool read_exact(int fd, uint64_t pos, void* buf, size_t size) {
    char* p = static_cast<char*>(buf);
    while (size > 0) {
        ssize_t n = ::pread(fd, p, size, static_cast<off_t>(pos));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        pos += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads unsigned little- or big-endian numbers of 2, 4 or 8 bytes.
class Decoder {
  public:
    explicit Decoder(bool big_endian) : big_(big_endian) {}
    uint64_t get(const unsigned char* p, size_t width) const {
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            unsigned char b = big_ ? p[i] : p[width - 1 - i];
            v = (v << 8) | b;
        }
        return v;
    }

  private:
    bool big_;
};

// Reads a header table of `count` records of `entsize` bytes at `offset`.
bool read_table(int fd, uint64_t file_size, uint64_t offset, uint64_t count, uint64_t entsize,
                std::vector<unsigned char>& table) {
    uint64_t bytes = count * entsize;
    if (bytes > kMaxTableBytes || offset > file_size || bytes > file_size - offset) return false;
    table.resize(static_cast<size_t>(bytes));
    return bytes == 0 || read_exact(fd, offset, table.data(), table.size());
}

}  // namespace

std::optional<uint64_t> program_image_size(const std::string& path) {
    FdCloser fd(::open(native_path(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const uint64_t file_size = static_cast<uint64_t>(st.st_size);

    unsigned char h[64] = {};
    if (file_size < EI_NIDENT || !read_exact(fd.get(), 0, h, std::min<uint64_t>(sizeof h, file_size)))
        return std::nullopt;
    if (h[EI_MAG0] != ELFMAG0 || h[EI_MAG1] != ELFMAG1 || h[EI_MAG2] != ELFMAG2 || h[EI_MAG3] != ELFMAG3)
        return std::nullopt;
    const ElfLayout* layout = h[EI_CLASS] == ELFCLASS64 ? &kElf64 : h[EI_CLASS] == ELFCLASS32 ? &kElf32 : nullptr;
    if (!layout || (h[EI_DATA] != ELFDATA2LSB && h[EI_DATA] != ELFDATA2MSB)) return std::nullopt;
    if (file_size < layout->header_size) return std::nullopt;
    const ElfLayout& L = *layout;
    const Decoder d(h[EI_DATA] == ELFDATA2MSB);

    const uint64_t phoff = d.get(h + L.ph_offset, L.word), shoff = d.get(h + L.sh_offset, L.word);
    const uint64_t phentsize = d.get(h + L.ph_entsize, 2), phnum = d.get(h + L.ph_num, 2);
    const uint64_t shentsize = d.get(h + L.sh_entsize, 2);
    uint64_t shnum = d.get(h + L.sh_num, 2);
    if ((phnum > 0 && phentsize < L.p_size) || (shoff != 0 && shentsize < L.s_rec)) return std::nullopt;

    uint64_t end = L.header_size;
    std::vector<unsigned char> table;
    if (phnum > 0) {
        if (!read_table(fd.get(), file_size, phoff, phnum, phentsize, table)) return std::nullopt;
        end = std::max(end, phoff + phnum * phentsize);
        for (uint64_t i = 0; i < phnum; ++i) {
            const unsigned char* p = table.data() + i * phentsize;
            uint64_t offset = d.get(p + L.p_offset, L.word), filesz = d.get(p + L.p_filesz, L.word);
            if (filesz > 0 && offset <= UINT64_MAX - filesz) end = std::max(end, offset + filesz);
        }
    }
    if (shoff != 0) {
        // A count too large for the header field is kept in the first section's size.
        if (shnum == 0) {
            unsigned char first[64] = {};
            if (shoff > file_size || file_size - shoff < L.s_rec ||
                !read_exact(fd.get(), shoff, first, L.s_rec))
                return std::nullopt;
            shnum = d.get(first + L.s_size, L.word);
        }
        if (!read_table(fd.get(), file_size, shoff, shnum, shentsize, table)) return std::nullopt;
        end = std::max(end, shoff + shnum * shentsize);
        for (uint64_t i = 0; i < shnum; ++i) {
            const unsigned char* s = table.data() + i * shentsize;
            if (d.get(s + L.s_type, 4) == SHT_NOBITS) continue;
            uint64_t offset = d.get(s + L.s_offset, L.word), size = d.get(s + L.s_size, L.word);
            if (size > 0 && offset <= UINT64_MAX - size) end = std::max(end, offset + size);
        }
    }
    return end;
}

}  // namespace tb
