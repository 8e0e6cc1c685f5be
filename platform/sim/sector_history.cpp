#include "platform/sim/sector_history.h"

#include <algorithm>
#include <cstring>

namespace tb::sim {

void SectorHistory::remember(uint64_t offset, std::span<const uint8_t> old) {
    for (size_t at = 0; at + kUnit <= old.size(); at += kUnit) {
        const uint64_t unit = (offset + at) / kUnit;
        auto it = units_.find(unit);
        if (it == units_.end()) {
            if (units_.size() >= kMaxUnits) continue;
            it = units_.emplace(unit, std::array<uint8_t, kUnit>{}).first;
        }
        std::memcpy(it->second.data(), old.data() + at, kUnit);
    }
}

bool SectorHistory::has_any(uint64_t offset, uint64_t length) const {
    if (length == 0) return false;
    auto it = units_.lower_bound(offset / kUnit);
    return it != units_.end() && it->first <= (offset + length - 1) / kUnit;
}

void SectorHistory::overlay(uint64_t offset, std::span<uint8_t> data) const {
    if (data.empty()) return;
    const uint64_t end = offset + data.size();
    for (auto it = units_.lower_bound(offset / kUnit); it != units_.end() && it->first * kUnit < end; ++it) {
        const uint64_t from = std::max(offset, it->first * kUnit);
        const uint64_t to = std::min(end, it->first * kUnit + kUnit);
        std::memcpy(data.data() + (from - offset), it->second.data() + (from - it->first * kUnit), to - from);
    }
}

void SectorHistory::forget(uint64_t offset, uint64_t length) {
    if (length == 0) return;
    units_.erase(units_.lower_bound(offset / kUnit), units_.upper_bound((offset + length - 1) / kUnit));
}

}  // namespace tb::sim
