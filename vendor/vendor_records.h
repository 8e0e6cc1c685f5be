// The records the controller family's vendor commands read and write, kept in
// one place: each layout is a table of named fields (offset, size, how the
// value is shown) or a short codec beside its struct, so that a controller
// whose layout differs replaces a table and nothing else. The layouts are
// described in vendor/RECORDS.md. All numbers are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

constexpr size_t kVendorRecordBytes = 4096;
constexpr uint8_t kRecordValid = 0x5A;  // byte 0 of a valid record (drive information, 0xE1, reconstruction)

// ---- Named fields: the tables behind the firmware configuration and the
// manufacturing information -------------------------------------------------

struct FwConfigItem {
    const char* name;
    uint32_t offset;
    uint32_t size;
    enum Kind { Text, Number, Hex } kind;  // ASCII (zero padded) / unsigned decimal / unsigned "0x" hex
};

// The value of an item as it is shown: text without padding, decimal, or
// "0x" and two hex digits per byte.
std::string named_field_text(std::span<const uint8_t> record, const FwConfigItem& item);
// Stores `value` in the item: 0, or -2 when it is too long for the field, is
// not a number of the item's kind or does not fit its size, or the field lies
// outside the record.
int set_named_field(std::span<uint8_t> record, const FwConfigItem& item, std::string_view value);
// The item of `table` named `name` (case-insensitive), or nullptr.
const FwConfigItem* find_named_field(std::span<const FwConfigItem> table, std::string_view name);

// ---- Drive information ----------------------------------------------------

constexpr uint8_t kDriveNotReady = 0xFF;  // byte 1 while the drive is not ready (after brand new)

struct DriveInformation {
    uint8_t ready = 0;  // byte 1 as stored: kDriveNotReady while not ready, 0 once ready
    uint16_t soc_id = 0;
    uint8_t soc_version = 0;
    uint8_t firmware_source = 0;  // 0 ROM, 1 programmer, 2 RDT, 3 FTK
    uint16_t rom_version = 0;
    std::array<uint8_t, 8> nand_id{};
    uint32_t cpu_mhz = 0, nand_mhz = 0;
    std::string firmware_revision;       // 8 bytes at 32
    std::string firmware_base;           // 16 bytes at 40
    std::string original_firmware_name;  // 32 bytes at 64
    bool spare_blocks_kept = false;      // byte 96: 1 once keep spare blocks was sent
};
std::vector<uint8_t> encode_drive_information(const DriveInformation&);
// nullopt: shorter than a record or byte 0 not 0x5A.
std::optional<DriveInformation> decode_drive_information(std::span<const uint8_t>);

// ---- Firmware configuration -----------------------------------------------

constexpr uint32_t kFwConfigMagic = 0x47464346;  // "FCFG" at byte 0
constexpr uint32_t kFwConfigChecksumOffset = 8;

std::span<const FwConfigItem> fw_config_items();
const FwConfigItem* find_fw_config_item(std::string_view name);
// The 32-bit sum of all dwords of the record with the checksum dword taken as
// 0: the value stored at byte 8 and carried by the configuration write.
uint32_t fw_config_checksum(std::span<const uint8_t> record);
void seal_fw_config(std::span<uint8_t> record);  // stores the checksum
// A record of the full size with the magic and a matching checksum.
bool fw_config_checksum_ok(std::span<const uint8_t> record);
bool fw_config_magic_ok(std::span<const uint8_t> record);

struct FwConfigDefaults {
    std::string model = "TAMBLOR SIM SSD";
    std::string firmware = "SIM10001";
    std::string serial = "SIM0000000001";
    uint32_t capacity_gb = 256;
    uint64_t eui64 = 0x0011223344556677ULL;
    uint64_t wwn = 0x5000000000000001ULL;
};
std::vector<uint8_t> default_fw_config(const FwConfigDefaults& d = {});  // sealed
inline std::string fw_config_item_text(std::span<const uint8_t> record, const FwConfigItem& item) {
    return named_field_text(record, item);
}
// 0 or -2 (too long, bad number); does not reseal.
inline int set_fw_config_item(std::span<uint8_t> record, const FwConfigItem& item, std::string_view value) {
    return set_named_field(record, item, value);
}

// ---- Manufacturing information ---------------------------------------------

constexpr uint32_t kMpInfoLengthOffset = 280;   // dword: 1768 (full record) or 4096 (short form)
constexpr uint32_t kMpInfoFullLength = 1768;
constexpr uint32_t kMpInfoShortLength = 4096;
constexpr uint32_t kMpInfoVendorWordOffset = 300;  // 16 bits
constexpr uint32_t kMpInfoSocIdOffset = 1582;      // 16 bits
constexpr uint32_t kMpInfoDieCountOffset = 302;    // 16 bits
constexpr uint32_t kMpInfoDieDefectsOffset = 512;  // 32 bits per die
constexpr uint32_t kMpInfoMaxDies = 256;

std::span<const FwConfigItem> mp_info_items();
const FwConfigItem* find_mp_info_item(std::string_view name);

struct ManufacturingInformation {
    std::string tool_version, mp_date, serial, model, firmware_revision;
    uint32_t record_length = kMpInfoFullLength;
    uint32_t capacity_gb = 0;
    uint16_t vendor_word = 0;
    uint16_t soc_id = 0;
    uint16_t channels = 0, ce_per_channel = 0;
    uint32_t blocks_per_die = 0, pages_per_block = 0;
    uint32_t factory_bad_blocks = 0, spare_blocks = 0;
    std::vector<uint32_t> die_defects;  // factory defects per die (at most kMpInfoMaxDies)
};
std::vector<uint8_t> encode_manufacturing_information(const ManufacturingInformation&);
// nullopt: shorter than a record or the length dword neither 1768 nor 4096.
std::optional<ManufacturingInformation> decode_manufacturing_information(std::span<const uint8_t>);

// ---- Defect lists -----------------------------------------------------------

constexpr uint32_t kGrownDefectMagic = 0x46454447;     // "GDEF"
constexpr uint32_t kDieDefectMagic = 0x46454444;       // "DDEF"
constexpr size_t kDefectHeaderBytes = 16;
constexpr size_t kDefectEntryBytes = 8;
constexpr size_t kMaxDefectEntries = (kVendorRecordBytes - kDefectHeaderBytes) / kDefectEntryBytes;

struct GrownDefect {
    uint8_t channel = 0, ce = 0, die = 0, plane = 0;
    uint16_t block = 0;
    uint8_t reason = 0;  // 1 program fail, 2 erase fail, 3 read fail (uncorrectable)
};
std::vector<uint8_t> encode_grown_defects(std::span<const GrownDefect>);  // at most kMaxDefectEntries
// nullopt: wrong size, magic, or a count larger than the record holds.
std::optional<std::vector<GrownDefect>> decode_grown_defects(std::span<const uint8_t>);
const char* defect_reason_name(uint8_t reason);

struct DieDefects {
    uint8_t channel = 0, ce = 0, die = 0;
    uint32_t grown_blocks = 0;
};
std::vector<uint8_t> encode_die_defects(std::span<const DieDefects>);
std::optional<std::vector<DieDefects>> decode_die_defects(std::span<const uint8_t>);

// ---- OTP identifier ----------------------------------------------------------

struct OtpIdentifier {
    uint64_t soc_uid = 0;
    uint32_t otp_ate = 0, otp_fw = 0, otp_security = 0, otp_boot = 0, otp_lock = 0;
};
std::vector<uint8_t> encode_otp(const OtpIdentifier&);
std::optional<OtpIdentifier> decode_otp(std::span<const uint8_t>);  // nullopt: wrong size

// ---- Reconstruction status ---------------------------------------------------

struct ReconstructionStatus {
    uint8_t signature = kRecordValid;
    uint8_t full_recon = 0, recon_cmpl = 0, partial_recon = 0, power_loss_recon = 0, recon_error = 0;
    uint8_t percentage = 0;
    uint32_t rebuilt_blocks = 0;
};
std::vector<uint8_t> encode_reconstruction(const ReconstructionStatus&);
// nullopt: wrong size only; the caller checks the signature (it is reported).
std::optional<ReconstructionStatus> decode_reconstruction(std::span<const uint8_t>);

// ---- VPD -----------------------------------------------------------------------

constexpr uint32_t kVpdMagic = 0x31445056;  // "VPD1"
struct VpdData {
    std::string manufacturer, model_number, serial_number, part_number, revision;
};
std::vector<uint8_t> encode_vpd(const VpdData&);
std::optional<VpdData> decode_vpd(std::span<const uint8_t>);  // nullopt: wrong size or magic

// ---- Event log ---------------------------------------------------------------

constexpr uint32_t kEventLogMagic = 0x474C5645;  // "EVLG"
constexpr size_t kEventHeaderBytes = 32;
constexpr size_t kEventEntryBytes = 16;

struct VendorEvent {
    uint64_t timestamp_ms = 0;  // power-on time
    uint16_t code = 0;
    uint8_t severity = 0;  // 0 info, 1 warning, 2 error
    uint32_t parameter = 0;
};
// Whole 4096-byte chunks: a header, then the entries.
std::vector<uint8_t> encode_event_log(std::span<const VendorEvent>);
// nullopt: bad magic, or fewer bytes than the count of entries needs.
std::optional<std::vector<VendorEvent>> decode_event_log(std::span<const uint8_t>);
const char* event_code_name(uint16_t code);

// ---- Critical log (read in 4096-byte chunks; chunk 0 starts with the header) --

constexpr uint32_t kCriticalLogMagic = 0x54495243;  // "CRIT"
constexpr size_t kCriticalHeaderBytes = 16;
constexpr size_t kCriticalEntryBytes = 32;

struct CriticalEntry {
    uint64_t timestamp_ms = 0;
    uint32_t code = 0, parameter = 0;
    std::string text;  // 16 bytes
};
std::vector<uint8_t> encode_critical_log(std::span<const CriticalEntry>);
std::optional<std::vector<CriticalEntry>> decode_critical_log(std::span<const uint8_t>);
// The number of 4096-byte chunks the log has, from chunk 0 (0: not a critical log).
uint32_t critical_log_chunks(std::span<const uint8_t> chunk0);

// ---- Crash dump (read in 4096-byte chunks; chunk 0 starts with the header) -----

constexpr uint32_t kCrashDumpMagic = 0x504D4443;  // "CDMP"
constexpr size_t kCrashHeaderBytes = 16;
constexpr size_t kCrashSectionBytes = 24;
constexpr uint32_t kMaxCrashSections = 32;

struct CrashSection {
    std::string name;  // 16 bytes
    std::vector<uint8_t> data;
};
struct CrashDump {
    uint32_t reason = 0;  // 1 assert, 2 exception, 3 watchdog, 4 host request
    std::vector<CrashSection> sections;
};
std::vector<uint8_t> encode_crash_dump(const CrashDump&);  // padded to whole chunks
// nullopt: bad magic, total size past the data, or a section outside it.
std::optional<CrashDump> decode_crash_dump(std::span<const uint8_t>);
// Total bytes of the dump (a multiple of 4096) from chunk 0, or 0.
uint32_t crash_dump_total_bytes(std::span<const uint8_t> chunk0);
const char* crash_reason_name(uint32_t reason);

}  // namespace tb
