// The SCSI side of the simulated disks: sense data, INQUIRY, the block
// commands every disk answers (TEST UNIT READY, READ CAPACITY, READ/WRITE,
// SYNCHRONIZE CACHE, UNMAP...), and the translations behind them: SCSI to
// NVMe (storage stack and USB-NVMe bridges), SCSI to ATA with ATA PASS-THROUGH
// (12) and (16) (AHCI ports and USB-SATA bridges), and a plain medium (USB
// flash drive).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/disk_device.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/sim_ata.h"
#include "platform/sim/sim_nvme.h"

namespace tb::sim {

namespace scsi {
constexpr uint8_t kGood = 0x00;
constexpr uint8_t kCheckCondition = 0x02;

constexpr uint8_t kNoSense = 0x0, kRecoveredError = 0x1, kNotReady = 0x2, kMediumError = 0x3,
                  kHardwareError = 0x4, kIllegalRequest = 0x5, kUnitAttention = 0x6, kDataProtect = 0x7,
                  kAbortedCommand = 0xB, kMiscompare = 0xE;

// Sets GOOD status with `transferred` bytes.
void good(ScsiPassThrough& r, uint32_t transferred = 0);
// Sets CHECK CONDITION with fixed-format sense.
void check(ScsiPassThrough& r, uint8_t key, uint8_t asc, uint8_t ascq, uint32_t information = 0);
inline void invalid_opcode(ScsiPassThrough& r) { check(r, kIllegalRequest, 0x20, 0x00); }
inline void invalid_field(ScsiPassThrough& r) { check(r, kIllegalRequest, 0x24, 0x00); }
inline void lba_out_of_range(ScsiPassThrough& r) { check(r, kIllegalRequest, 0x21, 0x00); }
inline void sequence_error(ScsiPassThrough& r) { check(r, kIllegalRequest, 0x2C, 0x00); }
inline void medium_not_present(ScsiPassThrough& r) { check(r, kNotReady, 0x3A, 0x00); }

// The CDB's transfer needs `bytes` in `dir`; false (with sense set) when
// the request's buffer or direction does not fit.
bool data_fits(ScsiPassThrough& r, DataDir dir, uint64_t bytes);
// Copies a reply into the data-in buffer, cut to the allocation length.
void reply(ScsiPassThrough& r, std::span<const uint8_t> bytes, uint32_t allocation);
}  // namespace scsi

// What INQUIRY answers.
struct InquiryIdentity {
    std::string vendor;    // 8
    std::string product;   // 16
    std::string revision;  // 4
    std::string serial;    // unit serial number page
    bool removable = false;
    bool has_signature = false;
    uint8_t byte36 = 0, byte37 = 0;  // vendor-specific bytes 36-37
};

// Block access behind the SCSI block commands.
class BlockTarget {
  public:
    virtual ~BlockTarget() = default;
    // false: NOT READY, medium not present (an unpowered disk behind a bridge).
    virtual bool ready() const { return true; }
    virtual uint64_t block_count() const = 0;
    virtual uint32_t block_size() const = 0;
    // Each returns true on success, or sets sense and returns false.
    virtual bool read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) = 0;
    virtual bool write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) = 0;
    virtual bool flush(ScsiPassThrough& r) = 0;
    virtual bool unmap(ScsiPassThrough& r, uint64_t lba, uint64_t blocks) = 0;
    virtual bool supports_unmap() const { return true; }
};

// Answers INQUIRY (standard data and pages 00, 80, B0, B1), and the block
// commands. Returns false when the CDB is not one of them (nothing set).
bool block_command(ScsiPassThrough& r, BlockTarget& target, const InquiryIdentity& id);

// NVMe namespace as a block target.
class NvmeBlockTarget final : public BlockTarget {
  public:
    explicit NvmeBlockTarget(SimNvmeController& c) : c_(c) {}
    // A controller in ROM mode has no medium to show.
    bool ready() const override { return c_.powered() && c_.namespace_blocks() > 0; }
    uint64_t block_count() const override { return c_.namespace_blocks(); }
    uint32_t block_size() const override { return c_.block_size(); }
    bool read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) override;
    bool write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) override;
    bool flush(ScsiPassThrough& r) override;
    bool unmap(ScsiPassThrough& r, uint64_t lba, uint64_t blocks) override;

  private:
    bool status_to_sense(ScsiPassThrough& r, uint16_t status);
    SimNvmeController& c_;
};

// SATA device as a block target (translated as READ/WRITE DMA EXT).
class AtaBlockTarget final : public BlockTarget {
  public:
    explicit AtaBlockTarget(SimSataDisk& d) : d_(d) {}
    bool ready() const override { return d_.powered() && d_.sector_count() > 0; }
    uint64_t block_count() const override { return d_.sector_count(); }
    uint32_t block_size() const override { return 512; }
    bool read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) override;
    bool write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) override;
    bool flush(ScsiPassThrough& r) override;
    bool unmap(ScsiPassThrough& r, uint64_t lba, uint64_t blocks) override;

  private:
    bool output_to_sense(ScsiPassThrough& r, const AtaOutput& o);
    SimSataDisk& d_;
};

// A plain medium (USB flash drive): no command set of its own.
class StoreBlockTarget final : public BlockTarget {
  public:
    StoreBlockTarget(BackingStore& s, const bool& powered) : s_(s), powered_(powered) {}
    bool ready() const override { return powered_; }
    uint64_t block_count() const override { return s_.size() / 512; }
    uint32_t block_size() const override { return 512; }
    bool read(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<uint8_t> out) override;
    bool write(ScsiPassThrough& r, uint64_t lba, uint32_t blocks, std::span<const uint8_t> in, bool fua) override;
    bool flush(ScsiPassThrough& r) override;
    bool unmap(ScsiPassThrough& r, uint64_t, uint64_t) override;
    bool supports_unmap() const override { return false; }

  private:
    BackingStore& s_;
    const bool& powered_;
};

// ATA PASS-THROUGH (12) 0xA1 and (16) 0x85 to a SATA device, as a SCSI/ATA
// translation layer does it. Returns false when the CDB is neither.
bool ata_pass_through_cdb(ScsiPassThrough& r, SimSataDisk& disk);

// INQUIRY identity of a SATA device behind a translation layer ("ATA").
InquiryIdentity ata_inquiry_identity(const SimSataDisk& disk);
// INQUIRY identity of an NVMe controller behind the storage stack ("NVMe").
InquiryIdentity nvme_inquiry_identity(const SimNvmeController& c);

// SECURITY PROTOCOL IN (0xA2) / OUT (0xB5) to NVMe Security Receive / Send.
// Returns false when the CDB is neither.
bool nvme_security_cdb(ScsiPassThrough& r, SimNvmeController& c);

}  // namespace tb::sim
