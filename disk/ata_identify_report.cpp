#include "disk/ata_identify_report.h"

#include "common/format.h"
#include "disk/ata_identify.h"
#include "disk/ata_identify_layout.h"
#include "disk/byte_report.h"
#include "disk/port_identifier.h"

namespace tb {

namespace {

uint16_t word_at(std::span<const uint8_t> d, size_t w) { return 2 * w + 1 < d.size() ? identify_word(d, w) : 0; }

std::string word_value(std::span<const uint8_t> d, const WordDef& f) {
    switch (f.show) {
        case WordShow::Word: return fmt("0x%04X", word_at(d, f.word));
        case WordShow::Number: {
            uint64_t v = 0;
            for (unsigned i = 0; i < f.count && i < 4; ++i) v |= uint64_t{word_at(d, f.word + i)} << (16 * i);
            return f.count <= 2 ? fmt("0x%08X", v) : fmt("0x%016I64X", v);
        }
        case WordShow::Text:
            return 2u * (f.word + f.count) <= d.size() ? identify_string(d, f.word, f.count) : std::string();
        case WordShow::Words: {
            std::string out;
            for (unsigned i = 0; i < f.count && out.size() <= 512; ++i) out += fmt("%04X ", word_at(d, f.word + i));
            return out;
        }
        case WordShow::Wwn: {
            std::string out = "0x";
            for (unsigned i = 0; i < f.count; ++i) out += fmt("%04X", word_at(d, f.word + i));
            return out;
        }
    }
    return {};
}

std::string word_range(uint16_t word, uint16_t count) {
    return count <= 1 ? fmt("Word %d", word) : fmt("Word %d-%d", word, word + count - 1);
}

}  // namespace

ReportLines identify_device_report(std::span<const uint8_t> data, uint32_t start, uint32_t end) {
    clamp_range(start, end, kIdentifyLastWord);
    ReportLines out;
    for (const WordDef& f : identify_device_words()) {
        if (f.word < start || f.word > end) continue;
        add_line(out, fmt("%-18s: %-69s| %s", word_range(f.word, f.count), f.label, word_value(data, f)));
        for (const WordBitDef& b : identify_device_bits()) {
            if (b.word != f.word) continue;
            const std::string bits =
                b.hi == b.lo ? fmt("    [%d]Bit %d", b.word, b.hi) : fmt("    [%d]Bit %d-%d", b.word, b.hi, b.lo);
            const uint16_t w = word_at(data, b.word);
            const uint32_t v = (w >> b.lo) & ((1u << (b.hi - b.lo + 1)) - 1);
            add_line(out, fmt("%-18s: %-69s| 0x%X", bits, b.label, v));
        }
    }
    return out;
}

std::string sata_generation_text(int gen) {
    static const char* const kText[] = {"Serial ATA Gen1 Signaling Speed (1.5 Gbps)",
                                        "Serial ATA Gen2 Signaling Speed (3.0 Gbps)",
                                        "Serial ATA Gen3 Signaling Speed (6.0 Gbps)"};
    return gen >= 1 && gen <= 3 ? kText[gen - 1] : "Unknow";
}

ItemSummary ata_identify_items(std::span<const uint8_t> data, const DiskRecord& disk,
                               const std::string& config_type, const std::string& items) {
    ItemSummary s;
    const bool all = items.empty();
    const AtaIdentifySummary id = decode_identify(data);
    auto item = [&](const char* key, const char* label, const std::string& shown, const std::string& value) {
        if (!all && !item_chosen(items, key)) return;
        add_line(s.lines, fmt("%-26s : %s", label, shown));
        if (!all) s.values.push_back(value);
    };
    auto text = [](const std::string& v) { return "\"" + v + "\""; };
    auto dec = [](int64_t v) { return fmt("%I64d", v); };
    auto flag = [&](const char* label, bool v) { item("|SECURITY|", label, fmt("%d", v), dec(v)); };

    const uint16_t sector_words_low = word_at(data, 117), sector_words_high = word_at(data, 118);
    const bool long_sectors = (word_at(data, 106) & 0xD000) == 0x5000;
    const uint32_t sector =
        long_sectors ? 2u * (sector_words_low | static_cast<uint32_t>(sector_words_high) << 16) : 512u;

    item("|MN|", "Model Number", id.model, text(id.model));
    item("|FW|", "Firmware Version", id.firmware, text(id.firmware));
    item("|SN|", "Serial Number", id.serial, text(id.serial));
    item("|EUI64WWN|", "WorldWideName", id.wwn, text(id.wwn));
    item("|MAXLBA28|", "MaxLba28bit", fmt("0x%X", id.capacity28), dec(id.capacity28));
    item("|LBA48|", "Supported48bit", fmt("%d", id.lba48_supported), dec(id.lba48_supported));
    item("|MAXLBA|", "MaxLba48bit", id.sectors48_text, dec(static_cast<int64_t>(id.sectors48)));
    item("|SIZE_GB|", "DiskQty(GB)", fmt("%u", id.capacity_gb), dec(id.capacity_gb));
    item("|SIZE_GIB|", "DiskQty(GiB)", fmt("%u", id.capacity_binary_gb), dec(id.capacity_binary_gb));
    flag("Security Supported", id.security_supported);
    flag("Security Enabled", id.security_enabled);
    flag("Security Locked", id.security_locked);
    flag("Security Frozen", id.security_frozen);
    flag("Security Count Expired", id.security_count_expired);
    flag("Master Password Capability", id.security_master_capability);
    item("|SECTOR_SIZE|", "LBA Sector Size(Byte)", fmt("%u", sector), dec(sector));
    item("|WRITE_CACHE|", "Write Cache Enable", fmt("%d", id.write_cache_enabled), dec(id.write_cache_enabled));
    item("|LINK_SPEED|", "Current Sata Link Speed",
         fmt("%2d | %s", id.sata_current_speed, sata_generation_text(id.sata_current_speed)),
         dec(id.sata_current_speed));
    item("|SUPPORT_SPEED|", "Sata Support Speed",
         fmt("%2d | %s", id.sata_generation, sata_generation_text(id.sata_generation)), dec(id.sata_generation));
    const std::string udma =
        id.udma_mode >= 0 ? fmt("Ultra DMA Mode %d Selected", id.udma_mode) : std::string("Unknow");
    item("|DMA|", "Ultra DMA Mode", udma, text(udma));
    item("|PHYSICALDRIVE|", "PhysicalDrive", disk.physical_path, text(disk.physical_path));
    const std::string proto = protocol_name(disk), port = port_identifier(disk);
    item("|CMDTYPE|", "Cmd Through", proto, text(proto));
    item("|PORTID|", "Port ID", port, text(port));
    item("|SOCID|", "SocId", fmt("0x%04X", disk.soc_id), fmt("0x%04X", disk.soc_id));
    item("|CFG_TYPE|", "Config Type", config_type, text(config_type));
    return s;
}

}  // namespace tb
