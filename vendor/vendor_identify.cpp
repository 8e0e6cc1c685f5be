#include "vendor/vendor_identify.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "common/text.h"
#include "disk/capacity.h"
#include "disk/nvme_transport.h"
#include "disk/vendor_identification.h"
#include "vendor/vendor_records.h"
#include "vendor/vendor_send.h"

namespace tb {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kVendorLogPage = 0xE1;
constexpr size_t kIdentifyByte256 = 256;
constexpr uint8_t kFullIdentificationBit = 0x02;
constexpr int kMakerRetries = 3;
constexpr uint32_t kMakerRetryPauseMs = 500;
constexpr uint32_t kDoubledVendorWordSoc = 22118;
constexpr int32_t kMpFirmwareKindBase = 100;

// What an identification found, written into the record at the end.
struct Identity {
    uint32_t soc_id = 0;
    int32_t firmware_kind = kFirmwareKindOther;
    uint32_t vendor_word = 0;
    int32_t command_set = kVendorSelectorD0;
    std::string firmware_revision2;
};

void store(DiskRecord& record, const Identity& id) {
    record.soc_id = id.soc_id;
    record.firmware_kind = id.firmware_kind;
    record.vendor_word = id.vendor_word;
    record.command_set = id.command_set;
    record.firmware_revision2 = id.firmware_revision2;
}

// 1, 2 or 3: firmware for 2 GB, 4 GB or any other capacity.
int32_t firmware_kind_by_capacity(uint32_t capacity) {
    if (capacity == 2) return 1;
    if (capacity == 4) return 2;
    return 3;
}

// One operation under `selector`, without echo; true on success.
bool send(const DiskRecord& record, int selector, VendorOp op, std::span<uint8_t> data, const VendorArgs& args = {}) {
    DiskRecord asked = record;
    asked.command_set = selector;
    return send_vendor_quietly(asked, op, args, data) == 0;
}

std::optional<DriveInformation> read_drive_information(const DiskRecord& record, int selector) {
    Bytes data(kVendorDataLength, 0);
    if (!send(record, selector, VendorOp::DriveInformation, data)) return std::nullopt;
    return decode_drive_information(data);
}

std::optional<ManufacturingInformation> read_manufacturing_information(const DiskRecord& record, int selector) {
    Bytes data(kVendorDataLength, 0);
    if (!send(record, selector, VendorOp::ManufacturingInfo, data)) return std::nullopt;
    return decode_manufacturing_information(data);
}

// Step 1: log page 0xE1 with 0x5A at byte 0 names the SoC and the disk
// speaks selector 1 (after enable vendor mode).
// The drive information is read as well for the firmware revision.
bool from_vendor_log(const DiskRecord& record, Identity& id, std::optional<DriveInformation>& info) {
    Bytes page(kVendorDataLength, 0);
    if (!nvme_get_log_page(record, kVendorLogPage, 0, false, page).ok() || page[0] != kRecordValid) return false;
    send(record, kVendorSelectorFc, VendorOp::EnableVendorMode, {});
    id.command_set = kVendorSelectorFc;
    id.soc_id = get_le16(page, 2);
    info = read_drive_information(record, kVendorSelectorFc);
    return true;
}

// Step 2: the drive information under selector 0, else under selector 1
// after enable vendor mode.
std::optional<DriveInformation> from_drive_information(const DiskRecord& record, Identity& id) {
    id.command_set = kVendorSelectorD0;
    std::optional<DriveInformation> info = read_drive_information(record, kVendorSelectorD0);
    if (info && info->soc_id != 0) {
        id.soc_id = info->soc_id;
        return info;
    }
    id.command_set = kVendorSelectorFc;
    send(record, kVendorSelectorFc, VendorOp::EnableVendorMode, {});
    info = read_drive_information(record, kVendorSelectorFc);
    if (info) id.soc_id = info->soc_id;
    return info;
}

// Step 4: the full manufacturing record (1768 at byte 280) under selector 0.
void from_manufacturing_information(const DiskRecord& record, uint32_t capacity, Identity& id) {
    id.command_set = kVendorSelectorD0;
    std::optional<ManufacturingInformation> mp = read_manufacturing_information(record, kVendorSelectorD0);
    if (!mp || mp->record_length != kMpInfoFullLength || mp->soc_id == 0) return;
    id.soc_id = mp->soc_id;
    id.vendor_word = mp->vendor_word;
    id.firmware_kind = kMpFirmwareKindBase + firmware_kind_by_capacity(capacity);
    id.firmware_revision2 = trim(mp->firmware_revision);
    if (id.firmware_revision2.empty()) id.firmware_revision2 = record.firmware_revision;
}

// Step 5: the short manufacturing form (4096 at byte 280) supplies a missing
// vendor word, doubled for the later controllers.
void vendor_word_from_short_form(const DiskRecord& record, Identity& id) {
    if (id.soc_id == 0 || id.vendor_word != 0) return;
    std::optional<ManufacturingInformation> mp = read_manufacturing_information(record, id.command_set);
    if (!mp || mp->record_length != kMpInfoShortLength) return;
    id.vendor_word = mp->vendor_word;
    if (id.soc_id >= kDoubledVendorWordSoc) id.vendor_word *= 2;
}

Identity full_identification(const DiskRecord& record, uint32_t capacity) {
    Identity id;
    std::optional<DriveInformation> info;
    if (!from_vendor_log(record, id, info)) info = from_drive_information(record, id);
    if (id.soc_id != 0) {
        id.firmware_kind = firmware_kind_by_capacity(capacity);
        if (info) id.firmware_revision2 = trim(info->firmware_revision);
        if (id.firmware_revision2.empty()) id.firmware_revision2 = record.firmware_revision;
    } else {
        from_manufacturing_information(record, capacity, id);
    }
    vendor_word_from_short_form(record, id);
    return id;
}

// The capacity the controller reports now: its total NVM capacity (Identify
// bytes 280-295) when it gives one, else the disk's length.
uint32_t capacity_now(const DiskRecord& record, std::span<const uint8_t> identify) {
    const uint32_t sector = record.bytes_per_sector ? record.bytes_per_sector : 512;
    const uint64_t total = get_le64(identify, 280);
    if (get_le64(identify, 288) != 0) return capacity_gb(sector, UINT64_MAX);
    return capacity_gb(sector, total ? total : record.size_b);
}

// A controller identified by its Identify data alone: SoC from bytes 2-3.
Identity from_identify(std::span<const uint8_t> identify) {
    Identity id;
    id.soc_id = get_le16(identify, 2);
    id.firmware_kind = kFirmwareKindRom;
    return id;
}

uint32_t identify_nvme(DiskRecord& record) {
    Bytes identify(kIdentifyLength, 0);
    if (nvme_identify(record, kCnsController, 0, identify) != kNvmeOk) {
        record.soc_id = 0;
        record.command_set = 0;
        return 0;
    }
    const uint32_t capacity = capacity_now(record, identify);
    const uint32_t vendor = get_le16(identify, 0);
    Identity id;
    if (capacity == 0 || (capacity == 2 && !(identify[kIdentifyByte256] & kFullIdentificationBit))) {
        id = from_identify(identify);
    } else if (capacity != 2 && vendor == kOtherMakerVendorId) {
        id.firmware_kind = kFirmwareKindOther;
    } else {
        id = full_identification(record, capacity);
        for (int i = 0; i < kMakerRetries && id.soc_id == 0 && vendor == kMakerPciVendorId; ++i) {
            nvme_sleep_ms(kMakerRetryPauseMs);
            id = full_identification(record, capacity);
        }
    }
    store(record, id);
    return id.soc_id;
}

// An ATA disk of the maker answers the drive information through the vendor
// ATA protocol; anything else stays unidentified.
uint32_t identify_ata(DiskRecord& record) {
    Identity id;
    id.firmware_kind = -1;
    Bytes data(kVendorDataLength, 0);
    if (send_vendor_quietly(record, VendorOp::DriveInformation, {}, data) == 0) {
        if (std::optional<DriveInformation> info = decode_drive_information(data); info && info->soc_id != 0) {
            id.soc_id = info->soc_id;
            id.firmware_kind = firmware_kind_by_capacity(capacity_gb(record.bytes_per_sector, record.size_b));
            id.firmware_revision2 = trim(info->firmware_revision);
        }
    }
    store(record, id);
    return id.soc_id;
}

}  // namespace

uint32_t identify_maker_controller(DiskRecord& record) {
    if (is_nvme_protocol(record.access_protocol)) return identify_nvme(record);
    if (is_ata_protocol(record.access_protocol)) return identify_ata(record);
    return 0;
}

void install_vendor_identification() { set_vendor_identifier(identify_maker_controller); }

}  // namespace tb
