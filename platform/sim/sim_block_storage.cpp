#include "platform/sim/sim_block_storage.h"

#include <cerrno>
#include <mutex>

#include "common/format.h"
#include "platform/offset_target.h"
#include "platform/sim/host_volume_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"

namespace tb::sim {

namespace {

std::mutex g_hook_lock;
SimHookMaker g_hook_maker;

// A simulated disk's LBA path goes through the same fault injector as its
// pass-through commands: a read injected for the NVMe Read opcode (or ATA
// READ DMA EXT, or SCSI READ(10) behind a flash bridge) fails the engine's
// read too. A disk that left the system fails every request.
int32_t injected_fault(SimDisk& d, uint64_t generation, const IoRequest& r) {
    auto gen = d.open_generation();
    if (!gen || *gen != generation) return -ENODEV;
    FaultInjector& f = d.faults();
    if (f.take_request()) return -EIO;
    switch (d.config().inner()) {
    case InnerKind::Nvme: {
        static constexpr uint8_t kOp[] = {0x02, 0x01, 0x09, 0x00};
        if (f.take_nvme(true, kOp[static_cast<int>(r.op)])) return -EIO;
        break;
    }
    case InnerKind::Ata: {
        static constexpr uint8_t kOp[] = {0x25, 0x35, 0x06, 0xEA};
        if (f.take_ata(kOp[static_cast<int>(r.op)], 0)) return -EIO;
        break;
    }
    case InnerKind::Block: {
        static constexpr uint8_t kOp[] = {0x28, 0x2A, 0x42, 0x35};
        if (f.take_scsi(kOp[static_cast<int>(r.op)], 0)) return -EIO;
        break;
    }
    }
    return 0;
}

// A read or write that reached the medium counts in the disk's health
// counters as the device's own READ or WRITE would.
void count_transfer(SimDisk& d, const IoRequest& r, int32_t result) {
    if (result <= 0 || (r.op != IoOp::Read && r.op != IoOp::Write)) return;
    const bool write = r.op == IoOp::Write;
    const auto bytes = static_cast<uint64_t>(result);
    std::lock_guard lock(d.mutex());
    if (SimNvmeController* c = d.nvme_controller()) c->account_host_transfer(bytes, write);
    else if (SimSataDisk* a = d.sata_disk()) a->account_host_transfer(bytes, write);
}

// The disk's own hooks (faults, counters) around those of a test.
SimIoHooks disk_hooks(const std::shared_ptr<SimDisk>& d, uint64_t generation) {
    SimIoHooks hooks;
    {
        std::lock_guard lock(g_hook_lock);
        if (g_hook_maker) g_hook_maker(d->number(), hooks);
    }
    auto extra_error = std::move(hooks.error);
    hooks.error = [d, generation, extra_error](const IoRequest& r) -> int32_t {
        if (int32_t e = injected_fault(*d, generation, r)) return e;
        return extra_error ? extra_error(r) : 0;
    };
    auto extra_done = std::move(hooks.done);
    hooks.done = [d, extra_done](const IoRequest& r, int32_t result) {
        count_transfer(*d, r, result);
        if (extra_done) extra_done(r, result);
    };
    return hooks;
}

std::shared_ptr<SimDisk> disk_of(SimMachine& m, const StorageAddress& where) {
    if (!where.volume_letter) return m.system_disk(where.disk_number);
    for (uint32_t n : m.disk_numbers())
        if (m.disk(n)->has_letter(where.volume_letter)) return m.disk_shared(n);
    return nullptr;
}

// Volumes lie one after another from 1 MiB on (an unaligned one 63 sectors
// later), as the simulated disk lays them out.
std::unique_ptr<IoTarget> volume_window(SimDisk& d, std::unique_ptr<IoTarget> disk, const StorageAddress& where,
                                        std::string* error) {
    uint64_t at = 1ull << 20;
    for (const auto& v : d.config().volumes) {
        uint64_t start = at + (v.aligned_4k ? 0 : 63 * 512);
        if (v.letter == where.volume_letter) {
            uint64_t size = v.total_bytes;
            uint64_t disk_size = disk->size_bytes();
            if (start >= disk_size) size = 0;
            else if (size > disk_size - start) size = disk_size - start;
            return make_offset_target(std::move(disk), start, size);
        }
        at += v.total_bytes;
    }
    if (error) *error = fmt("%s has no volume %c:", where.path, where.volume_letter);
    return nullptr;
}

class SimBlockStorage final : public BlockStorage {
public:
    std::unique_ptr<IoTarget> open_disk(const StorageAddress& where, std::string* error) override {
        SimMachine* m = current_sim_machine();
        std::shared_ptr<SimDisk> d = m ? disk_of(*m, where) : nullptr;
        auto gen = d ? d->open_generation() : std::nullopt;
        if (!gen) {
            if (error) *error = fmt("%s is not on the system", where.path);
            return nullptr;
        }
        std::unique_ptr<IoTarget> target =
            make_store_target(d->store_shared(), d->config().sector_size, disk_hooks(d, *gen));
        // A thin capacity or ROM mode shows less than the medium.
        if (uint64_t shown = d->shown_bytes(); shown < d->store().size())
            target = make_offset_target(std::move(target), 0, shown);
        if (!where.volume_letter) return target;
        return volume_window(*d, std::move(target), where, error);
    }

    // The simulated volumes keep their files on the host's file system.
    std::unique_ptr<IoTarget> open_path(const std::string& path, const PathOptions& options,
                                        std::string* error) override {
        return open_host_path(path, options, error);
    }
};

}  // namespace

std::unique_ptr<BlockStorage> make_sim_block_storage() { return std::make_unique<SimBlockStorage>(); }

void set_sim_io_hooks(SimHookMaker maker) {
    std::lock_guard lock(g_hook_lock);
    g_hook_maker = std::move(maker);
}

}  // namespace tb::sim
