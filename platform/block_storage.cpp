// The process-wide block storage: the simulated machine's unless another
// was installed.
#include "platform/block_storage.h"

#include <mutex>

#include "platform/sim/sim_block_storage.h"

namespace tb {

namespace {

std::mutex& storage_mutex() {
    static std::mutex m;
    return m;
}

std::unique_ptr<BlockStorage>& storage_slot() {
    static std::unique_ptr<BlockStorage> s;
    return s;
}

}  // namespace

BlockStorage& block_storage() {
    std::lock_guard lock(storage_mutex());
    auto& slot = storage_slot();
    if (!slot) slot = sim::make_sim_block_storage();
    return *slot;
}

void set_block_storage(std::unique_ptr<BlockStorage> storage) {
    std::lock_guard lock(storage_mutex());
    storage_slot() = std::move(storage);
}

}  // namespace tb
