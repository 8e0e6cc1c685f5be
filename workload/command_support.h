// Pieces every workload command shares: reading its keys by name or
// position, the write-pattern and size keys, choosing and opening the
// target (drive, partition or test file) and fixing the range.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "script/handler.h"
#include "platform/io_queue.h"
#include "workload/lba_target.h"

namespace tb {

constexpr const char* kCancelCommandText = "---- Cancel Command ----";

// Keys in their reading order: a key found by name, else the pair at its
// position when that pair has no key.
class KeyReader {
public:
    KeyReader(int slot, std::string_view args) : r_(slot, args) {}
    const ArgPair* at(std::initializer_list<std::string_view> names, size_t position) const;
    // Each returns false (a converter failure) only when the key is present
    // and unreadable; a missing key takes its default.
    bool u32(std::initializer_list<std::string_view> names, size_t pos, uint32_t& out, uint32_t def) const;
    bool i64(std::initializer_list<std::string_view> names, size_t pos, int64_t& out, int64_t def) const;
    bool boolean(std::initializer_list<std::string_view> names, size_t pos, bool& out, bool def) const;
    bool text(std::initializer_list<std::string_view> names, size_t pos, std::string& out, std::string_view def) const;
    // A write pattern: a number, or "AUTO" (random per cycle).
    bool pattern(std::initializer_list<std::string_view> names, size_t pos, uint32_t& out, uint32_t def) const;
    // A limit that may be written "CYCLE" (one range length): sets `cycle`.
    bool limit(std::initializer_list<std::string_view> names, size_t pos, uint64_t& out, bool& cycle,
               bool def_cycle, uint64_t def) const;
    const ArgReader& reader() const { return r_; }
    int slot() const { return r_.slot(); }

private:
    ArgReader r_;
};

// The request size key in its four forms (AccessKB, AccessSector,
// AccessKBRange "a~b", AccessSectorRange "a~b"): the largest size and the
// spread below it, in bytes. Without any of them: `def_kb` KiB.
struct AccessSize {
    uint32_t bytes = 0;
    int32_t spread = 0;
};
bool read_access_size(const KeyReader& keys, size_t position, uint32_t sector_size, uint32_t def_kb, AccessSize& out);

// An opened workload target. A test file is removed when it goes.
struct WorkloadTarget {
    TargetMode mode = TargetMode::Raw;
    std::unique_ptr<IoTarget> io;
    uint32_t sector_size = 512;
    uint64_t size_bytes = 0;  // bytes that can be addressed
    std::string test_file;

    WorkloadTarget() = default;
    WorkloadTarget(const WorkloadTarget&) = delete;
    WorkloadTarget& operator=(const WorkloadTarget&) = delete;
    ~WorkloadTarget();
};

// Chooses and opens the target of the job's disk for a command that writes
// (`writes`) or only reads, and fixes the range: a range of 0 MB, or one
// that passes the end, runs from the start to the end (whole MB). A
// file-system target gets a test file of the range's size, whose start is
// then 0. Returns false after raising the error (or after "---- Cancel
// Command ----" when the job was stopped while the file was made).
bool open_workload_target(int slot, bool writes, uint64_t& start_lba, uint64_t& range_mb, WorkloadTarget& out);

// The sector size of the job's disk.
uint32_t job_sector_size();

// "CurrentLBA: 0x%08X%08X" on a RAW target, else "CurrentOffset: ...".
void print_position(int slot, const WorkloadTarget& t, uint64_t byte_offset);

}  // namespace tb
