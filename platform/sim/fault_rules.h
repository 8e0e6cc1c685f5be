// Medium faults a machine file sets on one disk, as written there:
//
//   corrupt_writes   = 3 @ 0-20479    ; the data lands with one byte of every sector changed
//   drop_writes      = 1 @ 100-100    ; reported done, nothing written
//   misdirect_writes = 2              ; the data lands at another LBA of the range
//   stale_reads      = 1% @ 0-2047    ; the read returns what the sectors held before their last write
//   read_errors      = 5 @ 4096-8191  ; the read fails with a media error
//
// A value is one or more rules separated by commas. A rule is a count ("3":
// the next three commands that touch the range) or a chance ("1%", "0.25%":
// every command that touches the range, without limit), then optionally
// "@ first-last", an inclusive range of LBAs of the disk's sector size
// (decimal or 0x hex; without it the whole disk). A command "touches" the
// range when one of its sectors lies in it; the fault then applies to the
// whole command. A stale read only fires on a read that covers a sector
// rewritten since the machine started (the sector has a previous content).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb::sim {

enum class FaultKind { CorruptWrite, DropWrite, MisdirectWrite, StaleRead, ReadError };

// The key of a kind in the machine file ("corrupt_writes").
const char* fault_key(FaultKind kind);
// The kind a key names; false when it names none.
bool fault_kind_of_key(const std::string& key, FaultKind& kind);

struct FaultRule {
    FaultKind kind = FaultKind::CorruptWrite;
    uint64_t count = 0;       // times it fires; 0 with a chance: no limit
    double chance = 0;        // 0: every command in the range until the count is used up
    uint64_t first_lba = 0;
    uint64_t last_lba = UINT64_MAX;  // UINT64_MAX: the disk's last LBA
    int line = 0;             // of the machine file
};

// Appends the rules of one value; false with the reason.
bool parse_fault_rules(FaultKind kind, const std::string& value, int line, std::vector<FaultRule>& out,
                       std::string& error);

// When the disk loses power by itself:
//   power_loss_after_writes = 500   ; right after the 500th write command was acknowledged
//   power_loss_at_ms = 1500         ; at the first command 1.5 s after the machine started
//   power_loss_unflushed = lost     ; lost: every unflushed write is undone; random: each one
//                                   ; either landed or not (seeded)
// The writes not yet made durable (by a later flush, or FUA) are lost, and
// the disk is gone until the program ends; the next program on the same
// machine folder finds it back with what was durable.
struct PowerLossRule {
    uint64_t after_writes = 0;  // 0: not by count
    uint64_t at_ms = 0;         // 0: not by time
    bool random_subset = false;
    bool armed() const { return after_writes || at_ms; }
};

}  // namespace tb::sim
