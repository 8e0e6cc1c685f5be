// The manufacturing information record: its item table and codec.
#include <algorithm>
#include <array>

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

using K = FwConfigItem;

constexpr std::array<FwConfigItem, 17> kItems = {{
    {"mp_tool_version", 0, 32, K::Text},
    {"mp_date", 32, 32, K::Text},
    {"serial_number", 64, 20, K::Text},
    {"model_name", 84, 40, K::Text},
    {"fw_revision", 124, 8, K::Text},
    {"channels", 256, 2, K::Number},
    {"ce_per_channel", 258, 2, K::Number},
    {"blocks_per_die", 264, 4, K::Number},
    {"pages_per_block", 268, 4, K::Number},
    {"factory_bad_blocks", 272, 4, K::Number},
    {"spare_blocks", 276, 4, K::Number},
    {"record_length", kMpInfoLengthOffset, 4, K::Number},
    {"capacity_gb", 284, 4, K::Number},
    {"vendor_word", kMpInfoVendorWordOffset, 2, K::Number},
    {"die_count", kMpInfoDieCountOffset, 2, K::Number},
    {"soc_id", kMpInfoSocIdOffset, 2, K::Hex},
    {"mp_result", 1584, 4, K::Hex},
}};

const FwConfigItem& item(const char* name) { return *find_named_field(kItems, name); }

void put(std::span<uint8_t> r, const char* name, uint64_t v) {
    const FwConfigItem& i = item(name);
    put_record_number(r, i.offset, i.size, v);
}
void put(std::span<uint8_t> r, const char* name, const std::string& v) {
    const FwConfigItem& i = item(name);
    put_record_text(r, i.offset, i.size, v);
}
uint64_t num(std::span<const uint8_t> r, const char* name) {
    const FwConfigItem& i = item(name);
    return record_number(r, i.offset, i.size);
}
std::string text(std::span<const uint8_t> r, const char* name) {
    const FwConfigItem& i = item(name);
    return record_text(r, i.offset, i.size);
}

}  // namespace

std::span<const FwConfigItem> mp_info_items() { return kItems; }

const FwConfigItem* find_mp_info_item(std::string_view name) { return find_named_field(kItems, name); }

std::vector<uint8_t> encode_manufacturing_information(const ManufacturingInformation& m) {
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    put(r, "mp_tool_version", m.tool_version);
    put(r, "mp_date", m.mp_date);
    put(r, "serial_number", m.serial);
    put(r, "model_name", m.model);
    put(r, "fw_revision", m.firmware_revision);
    put(r, "channels", m.channels);
    put(r, "ce_per_channel", m.ce_per_channel);
    put(r, "blocks_per_die", m.blocks_per_die);
    put(r, "pages_per_block", m.pages_per_block);
    put(r, "factory_bad_blocks", m.factory_bad_blocks);
    put(r, "spare_blocks", m.spare_blocks);
    put(r, "record_length", m.record_length);
    put(r, "capacity_gb", m.capacity_gb);
    put(r, "vendor_word", m.vendor_word);
    put(r, "soc_id", m.soc_id);
    const size_t dies = std::min<size_t>(m.die_defects.size(), kMpInfoMaxDies);
    put(r, "die_count", dies);
    for (size_t d = 0; d < dies; ++d) put_record_number(r, kMpInfoDieDefectsOffset + 4 * d, 4, m.die_defects[d]);
    return r;
}

std::optional<ManufacturingInformation> decode_manufacturing_information(std::span<const uint8_t> r) {
    if (r.size() < kVendorRecordBytes) return std::nullopt;
    ManufacturingInformation m;
    m.record_length = static_cast<uint32_t>(num(r, "record_length"));
    if (m.record_length != kMpInfoFullLength && m.record_length != kMpInfoShortLength) return std::nullopt;
    m.tool_version = text(r, "mp_tool_version");
    m.mp_date = text(r, "mp_date");
    m.serial = text(r, "serial_number");
    m.model = text(r, "model_name");
    m.firmware_revision = text(r, "fw_revision");
    m.channels = static_cast<uint16_t>(num(r, "channels"));
    m.ce_per_channel = static_cast<uint16_t>(num(r, "ce_per_channel"));
    m.blocks_per_die = static_cast<uint32_t>(num(r, "blocks_per_die"));
    m.pages_per_block = static_cast<uint32_t>(num(r, "pages_per_block"));
    m.factory_bad_blocks = static_cast<uint32_t>(num(r, "factory_bad_blocks"));
    m.spare_blocks = static_cast<uint32_t>(num(r, "spare_blocks"));
    m.capacity_gb = static_cast<uint32_t>(num(r, "capacity_gb"));
    m.vendor_word = static_cast<uint16_t>(num(r, "vendor_word"));
    m.soc_id = static_cast<uint16_t>(num(r, "soc_id"));
    const size_t dies = std::min<size_t>(num(r, "die_count"), kMpInfoMaxDies);
    for (size_t d = 0; d < dies; ++d)
        m.die_defects.push_back(static_cast<uint32_t>(record_number(r, kMpInfoDieDefectsOffset + 4 * d, 4)));
    return m;
}

}  // namespace tb
