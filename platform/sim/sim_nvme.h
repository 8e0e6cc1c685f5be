// A simulated NVMe controller with one namespace on a backing store: the
// admin command set a test player uses (identify, log pages, features,
// firmware download and commit, format, security send/receive) and the NVM
// command set (read, write, flush, compare, write zeroes, dataset
// management). Vendor opcodes are served by handlers registered per opcode.
//
// Not thread-safe by itself: the owning disk serialises its commands.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/disk_device.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_faults.h"
#include "platform/sim/sim_vendor.h"

namespace tb::sim {

// Status field of a completion (15 bits: SC, SCT << 8, DNR << 14).
namespace nvme_status {
constexpr uint16_t kDnr = 1u << 14;
constexpr uint16_t sc(uint8_t sct, uint8_t code) { return static_cast<uint16_t>((sct << 8) | code); }
constexpr uint16_t kSuccess = 0;
constexpr uint16_t kInvalidOpcode = sc(0, 0x01) | kDnr;
constexpr uint16_t kInvalidField = sc(0, 0x02) | kDnr;
constexpr uint16_t kDataTransferError = sc(0, 0x04);
constexpr uint16_t kInternalError = sc(0, 0x06);
constexpr uint16_t kInvalidNamespace = sc(0, 0x0B) | kDnr;
constexpr uint16_t kCommandSequenceError = sc(0, 0x0C) | kDnr;
constexpr uint16_t kLbaOutOfRange = sc(0, 0x80) | kDnr;
constexpr uint16_t kNamespaceNotReady = sc(0, 0x82);
constexpr uint16_t kInvalidFirmwareSlot = sc(1, 0x06) | kDnr;
constexpr uint16_t kInvalidFirmwareImage = sc(1, 0x07) | kDnr;
constexpr uint16_t kInvalidLogPage = sc(1, 0x09) | kDnr;
constexpr uint16_t kInvalidFormat = sc(1, 0x0A) | kDnr;
constexpr uint16_t kFwNeedsConventionalReset = sc(1, 0x0B);
constexpr uint16_t kFeatureNotSaveable = sc(1, 0x0D) | kDnr;
constexpr uint16_t kFeatureNotChangeable = sc(1, 0x0E) | kDnr;
constexpr uint16_t kFwOverlappingRange = sc(1, 0x14) | kDnr;
constexpr uint16_t kCompareFailure = sc(2, 0x85) | kDnr;
}  // namespace nvme_status

struct NvmeResult {
    uint16_t status = 0;  // status field, see nvme_status
    uint32_t dw0 = 0;
};

// One submission entry as the controller reads it.
struct NvmeCommand {
    std::array<uint8_t, 64> bytes{};
    uint8_t opcode() const { return bytes[0]; }
    uint16_t cid() const { return static_cast<uint16_t>(bytes[2] | (bytes[3] << 8)); }
    uint32_t nsid() const { return cdw(1); }
    uint32_t cdw(int i) const { return get_le32(bytes, static_cast<size_t>(i) * 4); }
};

class SimNvmeController;

// A vendor command handler: gets the controller, the command and the host
// buffer in its direction; returns the completion.
using NvmeVendorHandler =
    std::function<NvmeResult(SimNvmeController&, const NvmeCommand&, DataDir, std::span<uint8_t>)>;

// SMART / health counters (the persistent part of the controller's state).
struct NvmeCounters {
    uint64_t units_read = 0;      // 512-byte units
    uint64_t units_written = 0;
    uint64_t host_reads = 0;
    uint64_t host_writes = 0;
    uint64_t busy_us = 0;
    uint64_t power_cycles = 0;
    uint64_t power_on_s = 0;      // without the current powered stretch
    uint64_t unsafe_shutdowns = 0;
    uint64_t media_errors = 0;
    uint64_t error_count = 0;
};

class SimNvmeController {
  public:
    SimNvmeController(const DiskConfig& config, BackingStore& store, FaultInjector& faults, const SimClock& clock);

    // Executes one command. `data` is the host buffer, moved in `dir`.
    NvmeResult execute(const NvmeCommand& cmd, bool io_queue, DataDir dir, std::span<uint8_t> data);
    // The same through a pass-through request: fills its completion entry as
    // on the wire (DW0, SQ head, SQ id, command id, status with phase 1).
    void pass_through(NvmePassThrough& request);

    // Power and resets. A reset (controller level, also at power-on) makes
    // a pending firmware slot active and restores the saved features.
    bool powered() const { return powered_; }
    void power_off(bool graceful);
    void power_on();
    void reset();

    void register_vendor_handler(uint8_t opcode, bool io_queue, NvmeVendorHandler handler);

    // Namespace geometry (namespace 1): the capacity shown, which the vendor
    // commands may make smaller than the medium (thin capacity) or 0 (ROM mode).
    uint32_t block_size() const;
    uint64_t namespace_blocks() const;
    uint64_t capacity_bytes() const;
    uint8_t lba_format() const { return lba_format_; }

    // Block access for the SCSI translation of bridges and of the storage
    // stack: the same code path as NVM Read / Write / Flush / deallocate.
    uint16_t host_read(uint64_t lba, uint32_t blocks, std::span<uint8_t> out);
    uint16_t host_write(uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua);
    uint16_t host_flush();
    uint16_t host_deallocate(uint64_t lba, uint64_t blocks);
    // A transfer that reached the namespace's medium past the command set
    // (the machine's block storage): counted like an NVM Read or Write.
    void account_host_transfer(uint64_t bytes, bool write) { account_io(bytes, write); }

    std::string firmware_revision() const { return running_fw_; }
    const NvmeCounters& counters() const { return counters_; }
    NvmeCounters& counters() { return counters_; }
    // Every SMART / health counter back to zero (the vendor clean SMART).
    void clear_health_counters();
    // The vendor command set of a disk with `vendor =`; nullptr without.
    const SimVendor* vendor_commands() const { return vendor_.get(); }
    uint32_t feature_current(uint8_t fid) const;
    int temperature_kelvin() const;
    const DiskConfig& config() const { return config_; }
    BackingStore& store() { return store_; }

    // Structures as the controller returns them (4096 / 512 bytes).
    std::vector<uint8_t> identify_controller() const;
    std::vector<uint8_t> identify_namespace(uint32_t nsid) const;
    std::vector<uint8_t> smart_log() const;

    // Persistent state as key/value text (firmware slots, LBA format, saved
    // features, counters).
    std::map<std::string, std::string> save_state() const;
    void load_state(const std::map<std::string, std::string>& state);
    // Set whenever persistent state changed; cleared by the caller.
    bool state_dirty = false;

  private:
    NvmeResult admin(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult io(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult identify(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult get_log_page(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult get_features(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult set_features(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult firmware_download(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult firmware_commit(const NvmeCommand& c);
    NvmeResult format(const NvmeCommand& c);
    NvmeResult security_receive(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult security_send(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);
    NvmeResult dataset_management(const NvmeCommand& c, DataDir dir, std::span<uint8_t> data);

    std::vector<uint8_t> error_log() const;
    std::vector<uint8_t> firmware_slot_log() const;
    std::vector<uint8_t> effects_log() const;
    std::vector<uint8_t> vendor_log(uint8_t id) const;
    void record_error(const NvmeCommand& c, bool io_queue, uint16_t status, uint64_t lba);
    void account_io(uint64_t bytes, bool write);
    uint64_t power_on_seconds() const;
    void apply_saved_features();
    uint32_t feature_key(uint8_t fid, uint32_t cdw11) const;
    uint32_t feature_current_key(uint32_t key) const;
    bool feature_known(uint8_t fid) const;
    uint32_t feature_default(uint32_t key) const;
    std::array<uint8_t, 8> eui64() const;
    std::array<uint8_t, 16> nguid() const;
    std::array<uint8_t, 16> uuid() const;

    DiskConfig config_;
    BackingStore& store_;
    FaultInjector& faults_;
    const SimClock& clock_;

    bool powered_ = true;
    double powered_since_ = 0;
    uint8_t lba_format_ = 0;
    std::array<std::string, 7> slots_;
    std::string running_fw_;
    int active_slot_ = 1;
    int pending_slot_ = 0;
    std::vector<uint8_t> download_;
    std::map<uint32_t, uint32_t> current_features_;
    std::map<uint32_t, uint32_t> saved_features_;
    std::array<uint8_t, 256> apst_table_{};
    NvmeCounters counters_;
    struct ErrorEntry {
        uint64_t count;
        uint16_t sqid, cid, status;
        uint64_t lba;
        uint32_t nsid;
    };
    std::vector<ErrorEntry> errors_;  // newest last, at most 64
    uint16_t sq_head_[2] = {0, 0};
    mutable double heat_ = 0;
    mutable double heat_time_ = 0;
    std::map<uint16_t, NvmeVendorHandler> vendor_handlers_;  // key: io << 8 | opcode
    std::unique_ptr<SimVendor> vendor_;
};

}  // namespace tb::sim
