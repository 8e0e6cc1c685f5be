// The medium of one simulated disk: a sparse file of the disk's size that
// every command of every path reads and writes at byte offsets.
//
// A volatile write cache can be switched on: writes still reach the file at
// once, but the bytes they replaced are remembered (per 4 KiB block, first
// write since the last flush) until a flush; a power loss puts those old bytes
// back, so unflushed writes are lost as on a drive whose cache was not
// destaged. The remembered amount is bounded by the cache size; older blocks
// count as destaged when it is exceeded.
//
// Fault hooks let a test bed drop writes (reported successful, never stored)
// or corrupt them (stored with flipped bytes), by count and LBA range, or
// decide per write through a callback.
//
// Thread-safe: one mutex guards the cache bookkeeping and the faults; reads
// and writes use positioned file I/O.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace tb::sim {

class PrivateFolder;

// What happens to one write.
enum class WriteFate { Store, Drop, Corrupt };

// A write fault: the next `count` writes that touch [first_byte, last_byte]
// get `fate`. Corruption flips `xor_mask` into the bytes at `byte_in_unit`
// of every 512-byte unit of the write.
struct WriteFault {
    WriteFate fate = WriteFate::Drop;
    uint32_t count = 1;
    uint64_t first_byte = 0;
    uint64_t last_byte = UINT64_MAX;
    uint8_t xor_mask = 0xFF;
    std::vector<uint32_t> byte_in_unit = {0, 256};
};

struct StoreStats {
    uint64_t bytes_read = 0;
    uint64_t bytes_written = 0;  // as the host sent them (dropped ones included)
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t dropped_writes = 0;
    uint64_t corrupted_writes = 0;
    uint64_t flushes = 0;
    uint64_t trims = 0;
};

class BackingStore {
  public:
    using WriteHook = std::function<WriteFate(uint64_t offset, uint64_t length)>;

    // Opens the file at `path`, creating it at `size` when missing (see
    // image_file.h for what is refused); an existing file of another size is
    // refused. nullptr with a message in `error` when that fails.
    static std::unique_ptr<BackingStore> open(const std::string& path, uint64_t size, std::string* error = nullptr);
    // The same for the file `name` of the machine's private folder, where an
    // existing file of another size is the machine's own and is resized.
    static std::unique_ptr<BackingStore> open_in(const PrivateFolder& folder, const std::string& name, uint64_t size,
                                                 std::string* error = nullptr);
    ~BackingStore();
    BackingStore(const BackingStore&) = delete;
    BackingStore& operator=(const BackingStore&) = delete;

    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }

    // Byte-offset I/O; false when the range leaves the medium or the file
    // fails. A dropped write returns true.
    bool read(uint64_t offset, std::span<uint8_t> out);
    // A `durable` write (FUA) is not undone by a power loss.
    bool write(uint64_t offset, std::span<const uint8_t> in, bool durable = false);
    // Deallocates a range (reads back as zeros).
    bool trim(uint64_t offset, uint64_t length);
    // Makes every cached write durable.
    bool flush();
    // Zeros the whole medium (format, erase).
    bool zero_all();
    // Bytes the file really holds (the rest reads as deallocated zeros).
    uint64_t allocated_bytes() const;

    // Volatile write cache.
    void set_write_cache(bool enabled);
    bool write_cache() const;
    void set_cache_size(uint64_t bytes);
    uint64_t dirty_bytes() const;
    // Power lost without a flush: unflushed cached writes are undone.
    // Returns the number of bytes put back.
    uint64_t power_loss();

    // Faults.
    void add_write_fault(const WriteFault& fault);
    void set_write_hook(WriteHook hook);
    void clear_faults();

    StoreStats stats() const;

  private:
    BackingStore(linuxdisk::UniqueFd fd, std::string path, uint64_t size);
    bool pread_all(uint64_t offset, std::span<uint8_t> out) const;
    bool pwrite_all(uint64_t offset, std::span<const uint8_t> in) const;
    WriteFate fate_of(uint64_t offset, uint64_t length, WriteFault* applied);
    void remember_old_blocks(uint64_t offset, uint64_t length);
    void forget_blocks(uint64_t offset, uint64_t length);

    static constexpr uint64_t kBlock = 4096;

    linuxdisk::UniqueFd file_;
    int fd_ = -1;  // file_'s descriptor
    std::string path_;
    uint64_t size_ = 0;

    mutable std::mutex mutex_;
    bool cache_on_ = false;
    uint64_t cache_blocks_max_ = 16384;  // 64 MiB
    std::unordered_map<uint64_t, std::vector<uint8_t>> undo_;  // block index -> bytes before the first cached write
    std::deque<uint64_t> undo_order_;
    std::vector<WriteFault> faults_;
    WriteHook hook_;
    StoreStats stats_;
};

}  // namespace tb::sim
