// The firmware configuration record: its item table, checksum and defaults.
#include <array>

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

using K = FwConfigItem;

// Byte 0 magic "FCFG", 4 layout version, 8 checksum, items from byte 16.
constexpr uint32_t kFwConfigVersionOffset = 4;
constexpr uint32_t kFwConfigVersion = 1;

constexpr std::array<FwConfigItem, 16> kItems = {{
    {"vendor_model_name", 16, 40, K::Text},
    {"vendor_fw_name", 56, 8, K::Text},
    {"drv_serial_number", 64, 20, K::Text},
    {"eui64", 88, 8, K::Hex},
    {"wwn", 96, 8, K::Hex},
    {"vendor_capacity", 104, 4, K::Number},
    {"pci_vendor_id", 108, 2, K::Hex},
    {"pci_subsystem_vendor_id", 110, 2, K::Hex},
    {"pci_subsystem_id", 112, 2, K::Hex},
    {"warning_temperature", 114, 1, K::Number},
    {"critical_temperature", 115, 1, K::Number},
    {"power_state_count", 116, 1, K::Number},
    {"nand_channels", 117, 1, K::Number},
    {"write_cache", 118, 1, K::Number},
    {"oem_name", 120, 16, K::Text},
    {"ieee_oui", 136, 4, K::Hex},
}};

}  // namespace

std::span<const FwConfigItem> fw_config_items() { return kItems; }

const FwConfigItem* find_fw_config_item(std::string_view name) { return find_named_field(kItems, name); }

uint32_t fw_config_checksum(std::span<const uint8_t> record) {
    uint32_t sum = 0;
    for (size_t at = 0; at + 4 <= record.size(); at += 4)
        if (at != kFwConfigChecksumOffset) sum += static_cast<uint32_t>(record_number(record, at, 4));
    return sum;
}

void seal_fw_config(std::span<uint8_t> record) {
    put_record_number(record, kFwConfigChecksumOffset, 4, fw_config_checksum(record));
}

bool fw_config_magic_ok(std::span<const uint8_t> record) {
    return record.size() == kVendorRecordBytes && record_number(record, 0, 4) == kFwConfigMagic;
}

bool fw_config_checksum_ok(std::span<const uint8_t> record) {
    return fw_config_magic_ok(record) &&
           record_number(record, kFwConfigChecksumOffset, 4) == fw_config_checksum(record);
}

std::vector<uint8_t> default_fw_config(const FwConfigDefaults& d) {
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    put_record_number(r, 0, 4, kFwConfigMagic);
    put_record_number(r, kFwConfigVersionOffset, 4, kFwConfigVersion);
    auto set = [&](const char* name, std::string_view v) { set_named_field(r, *find_fw_config_item(name), v); };
    auto set_n = [&](const char* name, uint64_t v) {
        const FwConfigItem* i = find_fw_config_item(name);
        put_record_number(r, i->offset, i->size, v);
    };
    set("vendor_model_name", d.model);
    set("vendor_fw_name", d.firmware);
    set("drv_serial_number", d.serial);
    set_n("eui64", d.eui64);
    set_n("wwn", d.wwn);
    set_n("vendor_capacity", d.capacity_gb);
    set_n("pci_vendor_id", 0x5A5A);
    set_n("pci_subsystem_vendor_id", 0x5A5A);
    set_n("pci_subsystem_id", 0x0001);
    set_n("warning_temperature", 83);
    set_n("critical_temperature", 85);
    set_n("power_state_count", 5);
    set_n("nand_channels", 4);
    set_n("write_cache", 1);
    set("oem_name", "TAMBLOR");
    set_n("ieee_oui", 0x00A0B0);
    seal_fw_config(r);
    return r;
}

}  // namespace tb
