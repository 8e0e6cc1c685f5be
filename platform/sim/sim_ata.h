// A simulated SATA SSD on a backing store: IDENTIFY DEVICE, SMART with an
// attribute table that follows the I/O, DOWNLOAD MICROCODE, the security
// feature set with its states, power modes, 28- and 48-bit reads and writes
// in PIO, multiple, DMA and FUA forms, DATA SET MANAGEMENT (TRIM) and FLUSH
// CACHE.
//
// Not thread-safe by itself: the owning disk serialises its commands.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/sim/backing_store.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_faults.h"

namespace tb::sim {
class SimVendorAta;
}

namespace tb::sim {

// The transfer protocol a command is issued with.
enum class AtaProtocol { NonData, PioIn, PioOut, DmaIn, DmaOut };

// The input task file as the device sees it. For a 28-bit command `lba`
// holds bits 0-23 and the device register bits 0-3 give bits 24-27.
struct AtaCommand {
    uint8_t command = 0;
    uint16_t feature = 0;
    uint16_t count = 0;
    uint64_t lba = 0;
    uint8_t device = 0x40;
    bool ext = false;  // the 48-bit half of the registers was delivered
};

// Output registers.
struct AtaOutput {
    uint8_t status = 0x50;  // DRDY | DSC
    uint8_t error = 0;
    uint16_t count = 0;
    uint64_t lba = 0;
    uint8_t device = 0x40;
    uint32_t transferred = 0;  // bytes moved
    bool failed() const { return (status & 0x01) != 0; }
};

namespace ata_reg {
constexpr uint8_t kStatusOk = 0x50;
constexpr uint8_t kStatusError = 0x51;
constexpr uint8_t kErrAbort = 0x04;
constexpr uint8_t kErrIdnf = 0x10;
constexpr uint8_t kErrUnc = 0x40;
}  // namespace ata_reg

class SimSataDisk {
  public:
    SimSataDisk(const DiskConfig& config, BackingStore& store, FaultInjector& faults, const SimClock& clock);
    ~SimSataDisk();

    // With `strict_protocol` the transfer protocol must be the command's own;
    // without it (a translation layer picks the protocol) PIO and DMA of the
    // same direction are interchangeable.
    AtaOutput execute(const AtaCommand& cmd, AtaProtocol protocol, std::span<uint8_t> data, bool strict_protocol = true);
    // The protocol a command must be sent with (nullopt: not a known command;
    // DATA SET MANAGEMENT accepts PIO as well as DMA).
    static std::optional<AtaProtocol> protocol_of(uint8_t command, bool* either_pio_or_dma = nullptr);
    static bool is_48bit(uint8_t command);

    bool powered() const { return powered_; }
    void power_off(bool graceful);
    void power_on();

    // The sectors shown: the medium's, or fewer with a vendor thin capacity, 0 in ROM mode.
    uint64_t sector_count() const;
    std::string firmware_revision() const { return firmware_; }
    const DiskConfig& config() const { return config_; }
    std::vector<uint8_t> identify_data() const;
    std::vector<uint8_t> smart_data() const;

    // Block access for the SCSI/ATA translation (counts like READ/WRITE DMA EXT).
    AtaOutput host_read(uint64_t lba, uint32_t sectors, std::span<uint8_t> out);
    AtaOutput host_write(uint64_t lba, uint32_t sectors, std::span<const uint8_t> in, bool fua);
    AtaOutput host_flush();
    AtaOutput host_trim(uint64_t lba, uint64_t sectors);
    // A transfer that reached the medium past the command set (the
    // machine's block storage): counted like a READ or WRITE DMA EXT.
    void account_host_transfer(uint64_t bytes, bool write) { account(bytes / 512, write); }

    struct Security {
        bool enabled = false;
        bool locked = false;
        bool frozen = false;
        bool count_expired = false;
        bool maximum_level = false;
        std::array<uint8_t, 32> user{};
        std::array<uint8_t, 32> master{};
        uint16_t master_id = 0xFFFE;
        int attempts = 5;
        bool erase_prepared = false;
    };
    const Security& security() const { return sec_; }

    struct Counters {
        uint64_t sectors_read = 0;
        uint64_t sectors_written = 0;
        uint64_t power_cycles = 0;
        uint64_t power_on_s = 0;
        uint64_t unsafe_shutdowns = 0;
        uint64_t crc_errors = 0;
        uint64_t uncorrectable = 0;
    };
    const Counters& counters() const { return counters_; }
    int temperature_c() const;
    // Every SMART counter back to zero (the vendor clean SMART).
    void clear_health_counters();
    // The vendor command set of a disk with `vendor = ata`; nullptr without.
    const SimVendorAta* vendor_commands() const { return vendor_.get(); }

    std::map<std::string, std::string> save_state() const;
    void load_state(const std::map<std::string, std::string>& state);
    bool state_dirty = false;

  private:
    AtaOutput smart(const AtaCommand& c, std::span<uint8_t> data);
    AtaOutput read_write(const AtaCommand& c, std::span<uint8_t> data);
    AtaOutput download_microcode(const AtaCommand& c, std::span<uint8_t> data);
    AtaOutput security_command(const AtaCommand& c, std::span<uint8_t> data);
    AtaOutput dsm(const AtaCommand& c, std::span<uint8_t> data);
    std::vector<uint8_t> smart_thresholds() const;
    std::vector<uint8_t> smart_log(uint8_t address, bool* ok) const;
    uint64_t power_on_seconds() const;
    void account(uint64_t sectors, bool write);
    uint8_t self_test_status(uint8_t* percent_left) const;
    void wake();

    DiskConfig config_;
    BackingStore& store_;
    FaultInjector& faults_;
    const SimClock& clock_;

    bool powered_ = true;
    double powered_since_ = 0;
    bool safe_to_cut_ = false;  // flushed and in standby since the last write
    uint8_t power_mode_ = 0xFF;
    bool smart_enabled_ = true;
    bool write_cache_ = true;
    uint8_t multiple_ = 16;
    std::string firmware_;
    std::string pending_firmware_;  // activates at the next power-on
    std::vector<uint8_t> download_;
    Security sec_;
    Counters counters_;
    std::map<uint8_t, std::vector<uint8_t>> host_logs_;  // SMART logs 0x80-0x9F
    // Self-test: kind (1 short, 2 extended), start time, duration; results log.
    int test_kind_ = 0;
    double test_start_ = 0;
    double test_length_ = 0;
    struct SelfTestEntry {
        uint8_t subcommand, status;
        uint16_t hours;
    };
    std::vector<SelfTestEntry> self_tests_;
    mutable double heat_ = 0;
    mutable double heat_time_ = 0;
    std::unique_ptr<SimVendorAta> vendor_;
};

}  // namespace tb::sim
