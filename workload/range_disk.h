// The job's whole disk as the single-pass range commands use it: opened only
// in RAW mode, one request in flight at a time on one queue, each waited for
// at most 180 s.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/io_queue.h"

namespace tb {

class RangeDisk {
public:
    // Opens the job's disk for the command `command`. Outside RAW mode
    // raises -20; a disk that cannot be opened -1. False after raising.
    bool open(int slot, std::string_view command);

    uint32_t sector_size() const { return sector_size_; }
    uint64_t sectors() const { return sectors_; }

    // The sectors from `lba` that a range of `sectors` covers on this disk: a
    // range of 0 or one past the end runs to the end. Raises -2 (and gives
    // false) when `lba` lies beyond the disk.
    bool clamp(int slot, std::string_view command, uint64_t lba, uint64_t& sectors) const;

    // Makes the queue for the buffer every request will use (a queue may
    // register it). Raises -83 (and gives false) when it cannot be made.
    bool prepare(int slot, std::span<uint8_t> buffer);

    // Reads or writes `data` at `lba` and waits for it: 1 when done in full,
    // else -3 (read) or -4 (write), or -76 when the disk did not answer
    // within 180 s.
    int32_t read(uint64_t lba, std::span<uint8_t> data) { return transfer(IoOp::Read, lba, data); }
    int32_t write(uint64_t lba, std::span<uint8_t> data) { return transfer(IoOp::Write, lba, data); }

private:
    int32_t transfer(IoOp op, uint64_t lba, std::span<uint8_t> data);

    std::unique_ptr<IoTarget> target_;
    std::unique_ptr<IoQueue> queue_;
    uint32_t sector_size_ = 512;
    uint64_t sectors_ = 0;
    uint64_t next_tag_ = 1;
};

}  // namespace tb
