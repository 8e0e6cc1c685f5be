// The faults a simulated medium still has to inflict, in byte ranges, with
// the seeded random source every choice of them draws from (whether a fault
// with a chance fires, which byte a corruption changes, where a misdirected
// write lands), so a run with the same seed and the same commands meets the
// same faults. Not thread-safe: its medium guards it.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "platform/sim/fault_rules.h"

namespace tb::sim {

struct MediumFault {
    FaultKind kind = FaultKind::CorruptWrite;
    uint64_t count = 1;        // times it still fires; 0 with a chance: no limit
    double chance = 0;         // 0: every command in the range until the count is used up
    uint64_t first_byte = 0;
    uint64_t last_byte = UINT64_MAX;
    uint32_t unit = 512;       // the disk's sector size
    uint8_t xor_mask = 0;      // corruption: 0 flips a random byte of every sector with a random mask
    std::vector<uint32_t> byte_in_unit;  // corruption with a mask: the bytes of every 512-byte unit it flips
};

// A configured rule in bytes of a disk with `sector_size`-byte sectors.
MediumFault medium_fault_of(const FaultRule& rule, uint32_t sector_size);

class MediumFaults {
  public:
    explicit MediumFaults(uint64_t seed = 1) : random_(seed) {}
    void reseed(uint64_t seed) { random_.seed(seed); }
    void add(const MediumFault& fault);
    void clear() { faults_.clear(); }

    // The write fault a write of [offset, offset + length) meets, used up by
    // one; nullopt when none fires.
    std::optional<MediumFault> take_write(uint64_t offset, uint64_t length);
    // The same for a read. A stale-read fault only fires when
    // `has_previous` says the range holds a rewritten sector.
    template <class HasPrevious>
    std::optional<MediumFault> take_read(uint64_t offset, uint64_t length, HasPrevious has_previous) {
        return take(offset, length, [&](const MediumFault& f) {
            if (f.kind == FaultKind::ReadError) return true;
            return f.kind == FaultKind::StaleRead && has_previous();
        });
    }
    // Whether a stale-read fault may still fire on this range (so the
    // medium has to keep the sectors' previous contents).
    bool watches_stale(uint64_t offset, uint64_t length) const;

    // `data` with the corruption of `fault` applied.
    void corrupt(const MediumFault& fault, std::span<uint8_t> data);
    // Where a misdirected write of `length` bytes meant for `offset` lands:
    // another multiple of the sector size inside the fault's range, or on
    // the medium of `medium_size` bytes when the range has no other place.
    uint64_t misdirect(const MediumFault& fault, uint64_t offset, uint64_t length, uint64_t medium_size);
    // A fair coin of the seeded source.
    bool coin() { return (random_() & 1) != 0; }

  private:
    template <class Match>
    std::optional<MediumFault> take(uint64_t offset, uint64_t length, Match match) {
        const uint64_t last = length ? offset + length - 1 : offset;
        for (auto it = faults_.begin(); it != faults_.end(); ++it) {
            if (last < it->first_byte || offset > it->last_byte || !match(*it)) continue;
            if (it->chance > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= it->chance) continue;
            MediumFault hit = *it;
            if (it->count && --it->count == 0) faults_.erase(it);
            return hit;
        }
        return std::nullopt;
    }

    std::mt19937_64 random_;
    std::vector<MediumFault> faults_;
};

}  // namespace tb::sim
