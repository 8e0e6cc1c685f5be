#include "workload/action_table.h"

#include <utility>

#include "workload/pattern.h"

namespace tb {

std::vector<IoAction> make_action_table(uint32_t trims, uint32_t fua_writes, uint32_t flushes, uint64_t seed) {
    if (uint64_t{trims} + fua_writes + flushes > kActionTableSize) return {};
    std::vector<IoAction> table(kActionTableSize, IoAction::Write);
    size_t at = 0;
    for (uint32_t i = 0; i < trims; ++i) table[at++] = IoAction::Trim;
    for (uint32_t i = 0; i < fua_writes; ++i) table[at++] = IoAction::FuaWrite;
    for (uint32_t i = 0; i < flushes; ++i) table[at++] = IoAction::Flush;
    // Every position is drawn from those not drawn yet.
    WorkloadRandom gen(static_cast<uint32_t>(seed ^ (seed >> 32)));
    for (size_t left = table.size(); left > 1; --left) {
        const size_t pick = gen.below(static_cast<uint32_t>(left));
        std::swap(table[pick], table[left - 1]);
    }
    return table;
}

}  // namespace tb
