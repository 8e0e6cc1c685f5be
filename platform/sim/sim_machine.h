// The simulated machine: its disks, the paths that open them, and the
// control a test bed needs over them: plugging, power, device state, faults.
//
// Each disk has one mutex; every request and every control call takes it, so
// the machine can be driven from many threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/disk_device.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/sim_ata.h"
#include "platform/sim/sim_bridge.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_nvme.h"
#include "platform/sim/sim_scsi.h"

namespace tb::sim {

class PrivateFolder;

// Which path a handle was opened on.
enum class PathKind { PhysicalDrive, ScsiPort, Volume };

// Windows error codes the handles report through last_error().
constexpr uint32_t kErrorNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED
constexpr uint32_t kErrorInvalidParameter = 87;

class SimDisk final : public BridgePowerSink {
  public:
    // Opens or creates the backing file (in `folder` unless the config names
    // one); nullptr with a message when it cannot or may not.
    static std::shared_ptr<SimDisk> create(const DiskConfig& config, const SimConfig& machine,
                                           const PrivateFolder& folder, std::shared_ptr<SimClock> clock,
                                           std::string* error);
    ~SimDisk() override;

    const DiskConfig& config() const { return config_; }
    uint32_t number() const { return config_.number; }

    // Requests of a handle opened at `generation`.
    DeviceStatus nvme(PathKind path, uint64_t generation, NvmePassThrough& r, uint32_t& error);
    DeviceStatus scsi(PathKind path, uint64_t generation, ScsiPassThrough& r, uint32_t& error);
    DeviceStatus ata(PathKind path, uint64_t generation, AtaPassThrough& r, uint32_t& error);

    // Discovery: nullopt while the disk is not on the system.
    std::optional<DiscoveredDisk> discovered();
    // The generation a new handle gets; nullopt when the disk cannot be opened.
    std::optional<uint64_t> open_generation();
    bool has_letter(char letter) const;

    // Machine control. Unplug and power-off take the disk (and its bridge)
    // off the system and cut its power; a power loss drops unflushed cached
    // writes.
    void unplug();
    void replug();
    void power_off(bool graceful);
    void power_on();
    bool set_enabled(bool enabled);
    bool remove();
    void rescan();

    // The power of the disk behind a bridge.
    bool inner_powered();
    // The capacity the disk shows the system: its medium, or less when the
    // vendor commands set a thin capacity, 0 in ROM mode.
    uint64_t shown_bytes();

    FaultInjector& faults() { return faults_; }
    BackingStore& store() { return *store_; }
    std::shared_ptr<BackingStore> store_shared() { return store_; }
    std::mutex& mutex() { return mutex_; }
    // The devices; use them under mutex().
    SimNvmeController* nvme_controller() { return nvme_.get(); }
    SimSataDisk* sata_disk() { return ata_.get(); }

    // Writes the persistent device state now (also done after every request
    // that changed it and at destruction).
    void save_state();

    void bridge_power(BridgePower action) override;  // called under the disk's mutex

  private:
    SimDisk(const DiskConfig& config, std::string state_path, std::shared_ptr<SimClock> clock,
            std::shared_ptr<BackingStore> store);
    bool accessible(uint64_t generation, uint32_t& error);
    bool visible() {
        notice_power_loss();
        return present_ && powered_ && enabled_ && !removed_ && !lost_power_;
    }
    void install_faults();
    void notice_power_loss();
    void inner_off(bool graceful);
    void inner_on();
    void controller_reset();
    void save_if_dirty();
    void load_state();
    uint64_t shown_bytes_locked() const;
    uint32_t bus_type() const;
    std::string service() const;

    DiskConfig config_;
    std::string state_path_;
    std::shared_ptr<SimClock> clock_;
    std::shared_ptr<BackingStore> store_;
    FaultInjector faults_;
    std::mutex mutex_;
    std::unique_ptr<SimNvmeController> nvme_;
    std::unique_ptr<SimSataDisk> ata_;
    bool flash_powered_ = true;
    std::unique_ptr<StoreBlockTarget> flash_;
    std::unique_ptr<SimUsbBridge> bridge_;
    bool present_ = true;
    bool powered_ = true;
    bool enabled_ = true;
    bool removed_ = false;
    bool lost_power_ = false;  // by the power-loss rule of its machine file: gone for good
    uint64_t generation_ = 1;
};

class SimMachine {
  public:
    // Builds every disk of the config; nullptr with a message when a disk
    // cannot be built.
    static std::unique_ptr<SimMachine> create(const SimConfig& config, std::string* error = nullptr);

    const SimConfig& config() const { return config_; }
    std::vector<uint32_t> disk_numbers() const;
    // nullptr when the machine has no such disk.
    SimDisk* disk(uint32_t number) const;
    std::shared_ptr<SimDisk> disk_shared(uint32_t number) const;

    // The disks on the system, in order, under the numbers the system gives
    // them (see system_disk).
    std::vector<DiscoveredDisk> discover();
    std::unique_ptr<DiskDevice> open(const std::string& path);
    // The disk the system knows as \\.\PHYSICALDRIVE<system_number>: with
    // fixed numbering the disk of that number, numbered by place the disk at
    // that place among the disks on the system. nullptr when there is none.
    std::shared_ptr<SimDisk> system_disk(uint32_t system_number) const;

    // The drive letter asked for when a partition was made on a disk (0:
    // none); discovery gives it to the disk's first partition when free.
    void set_partition_letter(uint32_t disk, char letter) { partition_letters_[disk] = letter; }
    char partition_letter(uint32_t disk) const {
        auto it = partition_letters_.find(disk);
        return it == partition_letters_.end() ? 0 : it->second;
    }

    // Control by disk number; false when there is no such disk.
    bool unplug(uint32_t disk);
    bool replug(uint32_t disk);
    bool power_off(uint32_t disk, bool graceful = false);
    bool power_on(uint32_t disk);
    bool power_cycle(uint32_t disk, bool graceful = false);
    bool set_enabled(uint32_t disk, bool enabled);
    bool remove(uint32_t disk);
    // Re-enumerates the device tree: removed devices that are still there come back.
    void rescan();

    // Faults (see sim_faults.h and backing_store.h).
    bool inject(uint32_t disk, const NvmeFault& f);
    bool inject(uint32_t disk, const AtaFault& f);
    bool inject(uint32_t disk, const ScsiFault& f);
    bool inject(uint32_t disk, const RequestFault& f);
    // The next `count` writes touching the LBA range (in 512-byte units) report
    // success but never reach the medium / reach it with flipped bytes.
    bool drop_writes(uint32_t disk, uint32_t count, uint64_t first_lba = 0, uint64_t last_lba = UINT64_MAX);
    bool corrupt_writes(uint32_t disk, uint32_t count, uint64_t first_lba = 0, uint64_t last_lba = UINT64_MAX,
                        uint8_t xor_mask = 0xFF);
    bool clear_faults(uint32_t disk);

    // Vendor NVMe opcodes of one disk.
    bool register_nvme_vendor_handler(uint32_t disk, uint8_t opcode, bool io_queue, NvmeVendorHandler handler);

    // Lets time pass for the power-on counters.
    void advance_time(double seconds) { clock_->advance(seconds); }

    // The medium of a disk (shared, so the I/O engine may keep it).
    std::shared_ptr<BackingStore> store(uint32_t disk) const;

    // Runs `f` with the disk's devices under its mutex.
    template <class F>
    bool with_disk(uint32_t number, F&& f) {
        SimDisk* d = disk(number);
        if (!d) return false;
        std::lock_guard lock(d->mutex());
        f(*d);
        return true;
    }

  private:
    explicit SimMachine(SimConfig config) : config_(std::move(config)), clock_(std::make_shared<SimClock>()) {}
    SimConfig config_;
    std::shared_ptr<SimClock> clock_;
    std::map<uint32_t, std::shared_ptr<SimDisk>> disks_;
    std::map<uint32_t, char> partition_letters_;
};

}  // namespace tb::sim
