// What sectors of a simulated medium held before their last write, kept
// only where a stale-read fault may ask for it. Per 512-byte unit; bounded
// (units past the bound are not remembered). Not thread-safe: its medium
// guards it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>

namespace tb::sim {

class SectorHistory {
  public:
    static constexpr uint64_t kUnit = 512;

    // The range at `offset` (512-byte aligned) held `old` before a write.
    void remember(uint64_t offset, std::span<const uint8_t> old);
    // Whether a unit of the range has a previous content.
    bool has_any(uint64_t offset, uint64_t length) const;
    // Copies the previous contents of the range's units into `data` (read
    // at `offset`); the other units stay as they are.
    void overlay(uint64_t offset, std::span<uint8_t> data) const;
    void forget(uint64_t offset, uint64_t length);
    void clear() { units_.clear(); }

  private:
    static constexpr size_t kMaxUnits = 128 * 1024;  // 64 MiB
    std::map<uint64_t, std::array<uint8_t, kUnit>> units_;  // unit index -> content
};

}  // namespace tb::sim
