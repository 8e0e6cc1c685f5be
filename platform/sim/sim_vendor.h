// The maker's vendor command set on a simulated disk: the operations every
// generation shares (brand new, clean SMART, empty mapping table, forced
// firmware mode and ROM mode, thin capacity, the firmware configuration, the
// records read...), run on the disk's medium and counters, with the state
// that outlives a restart of the machine. The NVMe and ATA fronts
// (sim_vendor_nvme.h, sim_vendor_ata.h) decode the commands and turn the
// outcome into a completion.
//
// Behaviour worth knowing:
// - ROM mode (recovery mode, force firmware mode 0, or `vendor_rom = 1`):
//   the host sees capacity 0 and the medium cannot be read or written, until
//   force firmware mode 1 (2 and 3 name the RDT and FTK firmware) brings the
//   firmware back. Both are kept across power cycles.
// - Thin capacity (a, b): a = the capacity in whole GB, 0 = the whole medium
//   again; b = the unit of a: 0 the decimal GB of the IDEMA rule (the LBA
//   count 1953504 x a + 21168 of 512-byte sectors, 244188 x a + 2646 of 4096-byte
//   sectors), 1 binary GiB (a x 2^30 bytes). Larger than the medium: Invalid
//   Field. The data stays; only the capacity shown changes.
// - Brand new clears the SMART counters, empties the mapping table (every
//   block reads zeros) and answers the next 2 drive information reads with
//   "not ready" (byte 1 0xFF).
// - A firmware configuration write carries the checksum of the record it
//   sends (vendor/vendor_records.h); a record whose checksum does not match
//   it, or whose stored checksum or magic is wrong, is refused with Invalid
//   Field and nothing changes. The model, serial number and firmware name of a
//   written configuration are what Identify Controller reports from the next
//   reset or power cycle on.
// - Two-command operations (VPD, PCIe data write under selector 1): the
//   data command without its first command is a Command Sequence Error.
// - The crash dump is read chunk by chunk with the same command: each read
//   gives the next 4096 bytes, the first chunk's header carries the total
//   size; any other vendor command, a reset or the last chunk starts it over.
// - The critical log chunk i beyond the log is Invalid Field; SPI debug
//   information b names a 4096-byte page 0 to 15.
// - The manufacturing information (a, b, c) answers a = 0 (the record); b and
//   c are not used. Die grown defect list (b, c): the dies from b on, c of
//   them (0: all).
// - With `vendor_lock = 1` every command but "enable vendor mode" is refused
//   as an unknown opcode until that command arrives; a power-off locks again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/disk_device.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_vendor_records.h"
#include "platform/sim/sim_vendor_state.h"
#include "vendor/ata_vendor_protocol.h"
#include "vendor/vendor_operation.h"

namespace tb::sim {

// What the operations need from the device they run on.
struct VendorDeviceHooks {
    std::function<void()> clear_health_counters;
    std::function<bool()> empty_mapping;          // deallocates the whole medium
    std::function<uint64_t()> medium_bytes;       // the whole medium
    std::function<uint32_t()> block_size;
    std::function<uint64_t()> power_on_ms;
    std::function<std::string()> running_firmware;
};

enum class VendorOutcome { Done, UnknownCommand, BadField, OutOfSequence, MediumFailed };

// One received operation, from either front.
struct VendorRequest {
    VendorOp op{};
    int step = 0;
    VendorArgs args;
    DataDir dir = DataDir::None;
    std::span<uint8_t> data;      // the transfer of this command
    uint32_t offset = 0;          // the data's place in the record (ATA pieces)
    bool two_steps_needed = true; // the NVMe form: a data step needs its first step
};

class SimVendor {
  public:
    SimVendor(const DiskConfig& disk, VendorDeviceHooks hooks);

    VendorOutcome run(const VendorRequest& request);
    // ATA-only operations; `offset` is the event log position of a read.
    VendorOutcome run_ata_only(AtaOnlyOp op, std::span<uint8_t> data, uint32_t offset);

    // The capacity the host is shown: 0 in ROM mode, the thin capacity when
    // one is set, else the medium's.
    uint64_t shown_bytes(uint64_t medium_bytes) const;
    bool rom_mode() const { return state_.rom_mode; }
    // The identity of a configuration the host wrote (after a reset).
    const std::optional<VendorIdentity>& identity() const { return state_.identity; }
    // Log page 0xE1 when the disk answers it.
    std::optional<std::vector<uint8_t>> log_e1() const;
    const SimVendorState& state() const { return state_; }

    // A reset takes a written configuration's identity and forgets the
    // steps begun; a power-off also forgets vendor mode.
    void reset();
    void power_off();

    void save_state(std::map<std::string, std::string>& out) const { state_.save(out); }
    void load_state(const std::map<std::string, std::string>& in) { state_.load(in); }
    // Whether kept state changed since the last call.
    bool take_dirty();

  private:
    VendorOutcome run_unlocked(const VendorRequest& r);
    VendorOutcome send_record(const VendorRequest& r, const std::vector<uint8_t>& record);
    VendorOutcome read_operation(const VendorRequest& r);
    VendorOutcome crash_dump_chunk(const VendorRequest& r);
    VendorOutcome force_mode(uint32_t mode);
    VendorOutcome thin_capacity(uint32_t size, uint32_t unit);
    VendorOutcome write_config(const VendorRequest& r);
    VendorOutcome brand_new();
    VendorOutcome two_step(const VendorRequest& r, bool& armed);
    VendorRecordContext context() const;
    void note_event(uint16_t code, uint32_t parameter = 0);

    const DiskConfig& disk_;
    VendorDeviceHooks hooks_;
    SimVendorState state_;
    bool dirty_ = false;
};

}  // namespace tb::sim
