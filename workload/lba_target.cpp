#include "workload/lba_target.h"

#include <sys/statvfs.h>

#include <filesystem>

#include <cerrno>
#include <mutex>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "workload/fd_target.h"

namespace tb {

namespace {

std::mutex g_hook_lock;
SimHookMaker g_hook_maker;

// "\\.\D:" -> 'D'; 0 when the path names no drive letter.
char drive_letter_of(const std::string& path) {
    if (path.size() >= 6 && path.compare(0, 4, "\\\\.\\") == 0 && path[5] == ':' && path.size() == 6)
        return ascii_upper(path[4]);
    return 0;
}

// The block device of a Linux record: "/dev/sdb", or the source of "/dev/sdb1 on /mnt".
std::string native_node(const DiskRecord& disk) {
    std::string n = disk.native_path;
    size_t on = n.find(" on ");
    if (on != std::string::npos) n.resize(on);
    return n;
}

std::string native_mount(const std::string& native) {
    size_t on = native.find(" on ");
    return on == std::string::npos ? std::string() : native.substr(on + 4);
}

// A simulated disk's LBA path goes through the same fault injector as its
// pass-through commands: a read injected for the NVMe Read opcode (or ATA
// READ DMA EXT, or SCSI READ(10) behind a flash bridge) fails the engine's
// read too. A disk that left the system fails every request.
int32_t sim_fault(sim::SimDisk& d, uint64_t generation, const IoRequest& r) {
    auto gen = d.open_generation();
    if (!gen || *gen != generation) return -ENODEV;
    sim::FaultInjector& f = d.faults();
    if (f.take_request()) return -EIO;
    switch (d.config().inner()) {
    case sim::InnerKind::Nvme: {
        static constexpr uint8_t kOp[] = {0x02, 0x01, 0x09, 0x00};
        if (f.take_nvme(true, kOp[static_cast<int>(r.op)])) return -EIO;
        break;
    }
    case sim::InnerKind::Ata: {
        static constexpr uint8_t kOp[] = {0x25, 0x35, 0x06, 0xEA};
        if (f.take_ata(kOp[static_cast<int>(r.op)], 0)) return -EIO;
        break;
    }
    case sim::InnerKind::Block: {
        static constexpr uint8_t kOp[] = {0x28, 0x2A, 0x42, 0x35};
        if (f.take_scsi(kOp[static_cast<int>(r.op)], 0)) return -EIO;
        break;
    }
    }
    return 0;
}

// A window of another target: a partition inside its disk.
class OffsetTarget final : public IoTarget {
public:
    OffsetTarget(std::unique_ptr<IoTarget> inner, uint64_t offset, uint64_t size)
        : inner_(std::move(inner)), offset_(offset), size_(size) {}
    uint64_t size_bytes() const override { return size_; }
    uint32_t sector_size() const override { return inner_->sector_size(); }
    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) override {
        return std::make_unique<Queue>(inner_->make_queue(depth, buffer), offset_, size_);
    }
    std::string describe() const override { return fmt("%s at %I64d", inner_->describe(), offset_); }

private:
    class Queue final : public IoQueue {
    public:
        Queue(std::unique_ptr<IoQueue> q, uint64_t offset, uint64_t size) : q_(std::move(q)), offset_(offset), size_(size) {}
        SubmitResult submit(const IoRequest& r) override {
            if (r.op != IoOp::Flush && (r.offset > size_ || r.length > size_ - r.offset))
                return {SubmitStatus::Failed, -EINVAL};
            IoRequest moved = r;
            moved.offset += offset_;
            return q_->submit(moved);
        }
        void kick() override { q_->kick(); }
        size_t poll(std::span<IoCompletion> out) override { return q_->poll(out); }
        size_t wait(std::span<IoCompletion> out, uint32_t us) override { return q_->wait(out, us); }
        void cancel(uint64_t tag) override { q_->cancel(tag); }

    private:
        std::unique_ptr<IoQueue> q_;
        uint64_t offset_, size_;
    };
    std::unique_ptr<IoTarget> inner_;
    uint64_t offset_, size_;
};

std::unique_ptr<IoTarget> open_sim_disk(sim::SimMachine& m, const DiskRecord& disk, std::string* error) {
    char letter = disk.record_kind == kRecordVolume ? drive_letter_of(disk.device_path) : 0;
    std::shared_ptr<sim::SimDisk> d;
    if (letter) {
        for (uint32_t n : m.disk_numbers())
            if (m.disk(n)->has_letter(letter)) d = m.disk_shared(n);
    } else {
        d = m.disk_shared(disk.disk_number);
    }
    auto gen = d ? d->open_generation() : std::nullopt;
    if (!gen) {
        if (error) *error = fmt("%s is not on the system", disk.device_path);
        return nullptr;
    }
    SimIoHooks hooks;
    {
        std::lock_guard lock(g_hook_lock);
        if (g_hook_maker) g_hook_maker(d->number(), hooks);
    }
    auto extra = std::move(hooks.error);
    hooks.error = [d, generation = *gen, extra](const IoRequest& r) -> int32_t {
        if (int32_t e = sim_fault(*d, generation, r)) return e;
        return extra ? extra(r) : 0;
    };
    auto target = make_store_target(d->store_shared(), d->config().sector_size, std::move(hooks));
    if (!letter) return target;
    // Volumes lie one after another from 1 MiB on (an unaligned one 63
    // sectors later), as the simulated disk lays them out.
    uint64_t at = 1ull << 20;
    for (const auto& v : d->config().volumes) {
        uint64_t start = at + (v.aligned_4k ? 0 : 63 * 512);
        if (v.letter == letter) {
            uint64_t size = v.total_bytes;
            uint64_t disk_size = target->size_bytes();
            if (start >= disk_size) size = 0;
            else if (size > disk_size - start) size = disk_size - start;
            return std::make_unique<OffsetTarget>(std::move(target), start, size);
        }
        at += v.total_bytes;
    }
    if (error) *error = fmt("%s has no volume %c:", disk.device_path, letter);
    return nullptr;
}

}  // namespace

TargetMode target_mode(const DiskRecord& disk) {
    if (disk.record_kind == kRecordVolume) return TargetMode::Partition;
    return disk.raw_flag ? TargetMode::Raw : TargetMode::FileSystem;
}

void set_sim_io_hooks(SimHookMaker maker) {
    std::lock_guard lock(g_hook_lock);
    g_hook_maker = std::move(maker);
}

std::unique_ptr<IoTarget> open_disk_target(const DiskRecord& disk, std::string* error) {
    if (sim::SimMachine* m = sim::current_sim_machine()) return open_sim_disk(*m, disk, error);
    std::string node = native_node(disk);
    if (node.empty()) {
        if (error) *error = fmt("%s has no device node", disk.device_path);
        return nullptr;
    }
    return open_fd_target(node, error);
}

std::unique_ptr<IoTarget> open_file_target(const std::string& path, std::string* error) {
    return open_fd_target(path, error);
}

std::string volume_root(const DiskRecord& disk) {
    std::string volume = disk.record_kind == kRecordVolume ? disk.device_path : disk.first_volume_path;
    char letter = drive_letter_of(volume);
    if (!letter) return {};
    if (sim::SimMachine* m = sim::current_sim_machine()) {
        // The simulated volumes have no file system: their files live in a
        // folder of the machine beside the disk images.
        std::string root = fmt("%s/volume_%c", m->config().folder, letter);
        std::error_code ec;
        std::filesystem::create_directories(root, ec);
        return root;
    }
    if (disk.record_kind == kRecordVolume) return native_mount(disk.native_path);
    const DiskTable& t = disk_table();
    for (int i = 0; i < t.count; ++i) {
        const DiskRecord& r = t.records[i];
        if (r.record_kind == kRecordVolume && r.device_path == volume) return native_mount(r.native_path);
    }
    return {};
}

uint64_t free_bytes_at(const std::string& folder) {
    struct statvfs st{};
    if (folder.empty() || ::statvfs(folder.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

uint64_t disk_bytes(const DiskRecord& disk) { return disk.size_b ? disk.size_b : disk.size_a; }

}  // namespace tb
