// The medium of one simulated disk: a sparse file of the disk's size that
// every command of every path reads and writes at byte offsets.
//
// A volatile write cache can be switched on: writes still reach the file at
// once, and an undo journal (write_journal.h) keeps the bytes every cached
// write replaced until a flush makes it durable; a power loss puts those
// bytes back, so the file always ends up holding what was durable. FUA
// writes are durable at once.
//
// Faults (medium_faults.h) corrupt, drop or misdirect writes and make reads
// fail or return stale data, by count or chance in byte ranges, with a
// seeded random source; a callback can also decide per write. A power-loss
// rule (fault_rules.h) makes the medium lose its power by itself after a
// number of writes or at a time: the cached writes are undone then and there
// and every later access fails, until the program ends.
//
// Thread-safe: one mutex guards the journal and the faults; reads and
// writes use positioned file I/O.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/fault_rules.h"
#include "platform/sim/host_file.h"
#include "platform/sim/medium_faults.h"
#include "platform/sim/sector_history.h"
#include "platform/sim/write_journal.h"

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
    uint64_t misdirected_writes = 0;
    uint64_t stale_reads = 0;
    uint64_t read_errors = 0;
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

    // Byte-offset I/O; false when the range leaves the medium, the file
    // fails, a read fault fires or the medium lost its power. A dropped
    // write returns true.
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
    void set_cache_size(uint64_t bytes);
    uint64_t dirty_bytes() const;
    // Power lost without a flush: unflushed cached writes are undone (all
    // of them, or a seeded random part with a random power-loss rule).
    // Returns the number of bytes put back. The medium stays usable (the
    // disk decides what power means for it).
    uint64_t power_loss();

    // Faults.
    void add_write_fault(const WriteFault& fault);
    void add_fault(const MediumFault& fault);
    void set_fault_seed(uint64_t seed);
    void set_write_hook(WriteHook hook);
    void clear_faults();

    // Losing power by itself (see fault_rules.h).
    void set_power_loss_rule(const PowerLossRule& rule);
    // Whether the medium lost its power by its rule (checks the time rule).
    bool power_lost();

    StoreStats stats() const;

  private:
    BackingStore(HostFile file, std::string path, uint64_t size);
    std::optional<MediumFault> write_fault(uint64_t offset, uint64_t length);
    bool store_write(uint64_t at, std::span<const uint8_t> data, bool durable);
    uint64_t undo_cached_writes();
    // Under the mutex: applies the time rule; true once the power is gone.
    bool lost_power_locked();
    void count_write_locked();
    void lose_power_locked();

    HostFile file_;
    std::string path_;
    uint64_t size_ = 0;

    mutable std::mutex mutex_;
    bool cache_on_ = false;
    WriteJournal journal_;
    SectorHistory history_;
    MediumFaults faults_;
    WriteHook hook_;
    PowerLossRule power_rule_;
    std::chrono::steady_clock::time_point opened_ = std::chrono::steady_clock::now();
    uint64_t writes_seen_ = 0;
    bool power_lost_ = false;
    StoreStats stats_;
};

}  // namespace tb::sim
