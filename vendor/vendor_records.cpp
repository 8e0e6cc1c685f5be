// The small fixed records: drive information, OTP identifier, reconstruction
// status and VPD data.
#include "vendor/vendor_records.h"

#include "vendor/record_bytes.h"

namespace tb {

namespace {

std::vector<uint8_t> blank_record() { return std::vector<uint8_t>(kVendorRecordBytes, 0); }

bool full_record(std::span<const uint8_t> r) { return r.size() >= kVendorRecordBytes; }

// Drive information offsets.
namespace drv {
constexpr size_t kReady = 1, kSocId = 2, kSocVersion = 4, kSource = 5, kRom = 6, kNand = 8, kCpu = 16, kNandClock = 20;
constexpr size_t kRevision = 32, kRevisionSize = 8, kBase = 40, kBaseSize = 16, kOriginal = 64, kOriginalSize = 32;
constexpr size_t kSpareKept = 96;
}  // namespace drv

// VPD offsets.
namespace vpd {
constexpr size_t kManufacturer = 16, kManufacturerSize = 32, kModel = 48, kModelSize = 40, kSerial = 88,
                 kSerialSize = 20, kPart = 108, kPartSize = 16, kRevision = 124, kRevisionSize = 8;
}  // namespace vpd

}  // namespace

std::vector<uint8_t> encode_drive_information(const DriveInformation& d) {
    std::vector<uint8_t> r = blank_record();
    r[0] = kRecordValid;
    r[drv::kReady] = d.ready;
    put_record_number(r, drv::kSocId, 2, d.soc_id);
    r[drv::kSocVersion] = d.soc_version;
    r[drv::kSource] = d.firmware_source;
    put_record_number(r, drv::kRom, 2, d.rom_version);
    for (size_t i = 0; i < d.nand_id.size(); ++i) r[drv::kNand + i] = d.nand_id[i];
    put_record_number(r, drv::kCpu, 4, d.cpu_mhz);
    put_record_number(r, drv::kNandClock, 4, d.nand_mhz);
    put_record_text(r, drv::kRevision, drv::kRevisionSize, d.firmware_revision);
    put_record_text(r, drv::kBase, drv::kBaseSize, d.firmware_base);
    put_record_text(r, drv::kOriginal, drv::kOriginalSize, d.original_firmware_name);
    r[drv::kSpareKept] = d.spare_blocks_kept ? 1 : 0;
    return r;
}

std::optional<DriveInformation> decode_drive_information(std::span<const uint8_t> r) {
    if (!full_record(r) || r[0] != kRecordValid) return std::nullopt;
    DriveInformation d;
    d.ready = r[drv::kReady];
    d.soc_id = static_cast<uint16_t>(record_number(r, drv::kSocId, 2));
    d.soc_version = r[drv::kSocVersion];
    d.firmware_source = r[drv::kSource];
    d.rom_version = static_cast<uint16_t>(record_number(r, drv::kRom, 2));
    for (size_t i = 0; i < d.nand_id.size(); ++i) d.nand_id[i] = r[drv::kNand + i];
    d.cpu_mhz = static_cast<uint32_t>(record_number(r, drv::kCpu, 4));
    d.nand_mhz = static_cast<uint32_t>(record_number(r, drv::kNandClock, 4));
    d.firmware_revision = record_text(r, drv::kRevision, drv::kRevisionSize);
    d.firmware_base = record_text(r, drv::kBase, drv::kBaseSize);
    d.original_firmware_name = record_text(r, drv::kOriginal, drv::kOriginalSize);
    d.spare_blocks_kept = r[drv::kSpareKept] != 0;
    return d;
}

std::vector<uint8_t> encode_otp(const OtpIdentifier& o) {
    std::vector<uint8_t> r = blank_record();
    put_record_number(r, 0, 8, o.soc_uid);
    put_record_number(r, 8, 4, o.otp_ate);
    put_record_number(r, 12, 4, o.otp_fw);
    put_record_number(r, 16, 4, o.otp_security);
    put_record_number(r, 20, 4, o.otp_boot);
    put_record_number(r, 24, 4, o.otp_lock);
    return r;
}

std::optional<OtpIdentifier> decode_otp(std::span<const uint8_t> r) {
    if (!full_record(r)) return std::nullopt;
    OtpIdentifier o;
    o.soc_uid = record_number(r, 0, 8);
    o.otp_ate = static_cast<uint32_t>(record_number(r, 8, 4));
    o.otp_fw = static_cast<uint32_t>(record_number(r, 12, 4));
    o.otp_security = static_cast<uint32_t>(record_number(r, 16, 4));
    o.otp_boot = static_cast<uint32_t>(record_number(r, 20, 4));
    o.otp_lock = static_cast<uint32_t>(record_number(r, 24, 4));
    return o;
}

std::vector<uint8_t> encode_reconstruction(const ReconstructionStatus& s) {
    std::vector<uint8_t> r = blank_record();
    r[0] = s.signature;
    r[1] = s.full_recon;
    r[2] = s.recon_cmpl;
    r[3] = s.partial_recon;
    r[4] = s.power_loss_recon;
    r[5] = s.recon_error;
    r[6] = s.percentage;
    put_record_number(r, 8, 4, s.rebuilt_blocks);
    return r;
}

std::optional<ReconstructionStatus> decode_reconstruction(std::span<const uint8_t> r) {
    if (!full_record(r)) return std::nullopt;
    ReconstructionStatus s;
    s.signature = r[0];
    s.full_recon = r[1];
    s.recon_cmpl = r[2];
    s.partial_recon = r[3];
    s.power_loss_recon = r[4];
    s.recon_error = r[5];
    s.percentage = r[6];
    s.rebuilt_blocks = static_cast<uint32_t>(record_number(r, 8, 4));
    return s;
}

std::vector<uint8_t> encode_vpd(const VpdData& v) {
    std::vector<uint8_t> r = blank_record();
    put_record_number(r, 0, 4, kVpdMagic);
    put_record_text(r, vpd::kManufacturer, vpd::kManufacturerSize, v.manufacturer);
    put_record_text(r, vpd::kModel, vpd::kModelSize, v.model_number);
    put_record_text(r, vpd::kSerial, vpd::kSerialSize, v.serial_number);
    put_record_text(r, vpd::kPart, vpd::kPartSize, v.part_number);
    put_record_text(r, vpd::kRevision, vpd::kRevisionSize, v.revision);
    return r;
}

std::optional<VpdData> decode_vpd(std::span<const uint8_t> r) {
    if (!full_record(r) || record_number(r, 0, 4) != kVpdMagic) return std::nullopt;
    VpdData v;
    v.manufacturer = record_text(r, vpd::kManufacturer, vpd::kManufacturerSize);
    v.model_number = record_text(r, vpd::kModel, vpd::kModelSize);
    v.serial_number = record_text(r, vpd::kSerial, vpd::kSerialSize);
    v.part_number = record_text(r, vpd::kPart, vpd::kPartSize);
    v.revision = record_text(r, vpd::kRevision, vpd::kRevisionSize);
    return v;
}

}  // namespace tb
