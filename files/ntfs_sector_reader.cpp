#include "files/ntfs_sector_reader.h"

#include <algorithm>
#include <cstring>

#include "files/ntfs_bytes.h"
#include "platform/io_queue.h"
#include "workload/aligned_buffer.h"

namespace tb::ntfs {

namespace {

constexpr uint64_t kLargestRead = 1u << 20;

}  // namespace

bool TargetSectorReader::read(uint64_t offset, std::span<uint8_t> out) {
    const uint64_t size = target_.size_bytes();
    if (size && !fits(size, offset, out.size())) return false;
    const uint32_t sector = target_.sector_size() ? target_.sector_size() : 512;
    // Whole sectors around the bytes asked for, in pieces of at most 1 MiB.
    uint64_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        const uint64_t first = at / sector * sector;
        const uint64_t want = std::min<uint64_t>(out.size() - done, kLargestRead);
        const uint64_t span_bytes = (at + want + sector - 1) / sector * sector - first;
        AlignedBuffer buf(static_cast<size_t>(span_bytes));
        if (!buf) return false;
        IoRequest r{IoOp::Read, first, buf.data(), static_cast<uint32_t>(span_bytes)};
        if (io_sync(target_, r) != static_cast<int32_t>(span_bytes)) return false;
        std::memcpy(out.data() + done, buf.data() + (at - first), static_cast<size_t>(want));
        done += want;
    }
    return true;
}

uint64_t TargetSectorReader::size_bytes() const { return target_.size_bytes(); }

bool MemorySectorReader::read(uint64_t offset, std::span<uint8_t> out) {
    if (!fits(bytes_.size(), offset, out.size())) return false;
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

}  // namespace tb::ntfs
