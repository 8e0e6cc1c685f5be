#include "disk/nvme_identify_report.h"

#include <algorithm>

#include "common/format.h"
#include "disk/capacity.h"
#include "disk/nvme_identify_layout.h"
#include "disk/port_identifier.h"

namespace tb {

namespace {

struct Entry {
    uint16_t offset;
    uint16_t width;
    std::string label;
    std::string value;
    std::span<const BitDef> bits;  // for repeated entries: offsets relative to the entry
    bool repeated;
    uint32_t colour;
};

ReportLines range_report(std::span<const uint8_t> data, const StructureLayout& layout, const RepeatedEntry& rep,
                         uint32_t start, uint32_t end, int highlight) {
    clamp_range(start, end, kIdentifyLastByte);
    std::vector<Entry> entries;
    for (const FieldDef& f : layout.fields) {
        if (f.offset < start || f.offset > end) continue;
        entries.push_back({f.offset, f.width, f.label, field_value_text(data, f), {}, false, colour::kWhite});
    }
    for (uint16_t n = 0; n < rep.count; ++n) {
        const uint16_t off = static_cast<uint16_t>(rep.first_offset + n * rep.width);
        if (off < start || off > end) continue;
        const FieldDef f{off, rep.width, rep.width > 8 ? FieldShow::Bytes : FieldShow::Number, ""};
        entries.push_back({off, rep.width, fmt(rep.label, n, n), field_value_text(data, f), rep.bits, true,
                           n == highlight ? colour::kYellow : colour::kWhite});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.offset < b.offset; });

    ReportLines out;
    for (const Entry& e : entries) {
        add_line(out, byte_field_line(e.offset, e.width, e.label, e.value), e.colour);
        if (e.repeated) {
            for (const BitDef& b : e.bits)
                add_line(out, byte_bit_line(e.offset, b, bit_value_text(data, e.offset, b)), e.colour);
            continue;
        }
        for (const BitDef& b : layout.bits)
            if (b.offset == e.offset) add_line(out, byte_bit_line(e.offset, b, bit_value_text(data, e.offset, b)));
    }
    return out;
}

uint8_t byte_at(std::span<const uint8_t> d, size_t i) { return i < d.size() ? d[i] : 0; }

uint64_t le_at(std::span<const uint8_t> d, size_t off, size_t n) {
    if (off + n > d.size()) return 0;
    return le_value(d.subspan(off, n));
}

std::string hex_run(std::span<const uint8_t> d, size_t off, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += fmt("%02X", byte_at(d, off + i));
    return out;
}

std::string text_at(std::span<const uint8_t> d, size_t off, size_t n) {
    if (off + n > d.size()) return {};
    std::string s = ascii_field(d.subspan(off, n));
    const size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

// Capacity in bytes, saturated instead of wrapping for absurd sizes.
uint64_t namespace_bytes(uint64_t blocks, unsigned lbads) {
    if (lbads >= 64) return blocks ? UINT64_MAX : 0;
    const uint64_t sector = uint64_t{1} << lbads;
    if (blocks > UINT64_MAX / sector) return UINT64_MAX;
    return blocks * sector;
}

}  // namespace

ReportLines identify_controller_report(std::span<const uint8_t> data, uint32_t start, uint32_t end) {
    return range_report(data, identify_controller_layout(), kPowerStateEntries, start, end, -1);
}

unsigned selected_lba_format(std::span<const uint8_t> ns) {
    const uint8_t flbas = byte_at(ns, 26);
    unsigned index = flbas & 0x0F;
    if (byte_at(ns, 25) >= 16) index |= ((flbas >> 5) & 0x03u) << 4;
    return index;
}

unsigned selected_lba_data_size(std::span<const uint8_t> ns) {
    return byte_at(ns, 128 + 4 * selected_lba_format(ns) + 2);
}

ReportLines identify_namespace_report(std::span<const uint8_t> data, uint32_t start, uint32_t end) {
    return range_report(data, identify_namespace_layout(), kLbaFormatEntries, start, end,
                        static_cast<int>(selected_lba_format(data)));
}

std::string pcie_generation_text(int gen) {
    static const char* const kText[] = {
        "PCIE Gen1 Signaling Speed (2.5 GTps)", "PCIE Gen2 Signaling Speed (5.0 GTps)",
        "PCIE Gen3 Signaling Speed (8.0 GTps)", "PCIE Gen4 Signaling Speed (16.0 GTps)",
        "PCIE Gen5 Signaling Speed (32.0 GTps)", "PCIE Gen6 Signaling Speed (64.0 GTps)"};
    return gen >= 1 && gen <= 6 ? kText[gen - 1] : "Unknow";
}

ItemSummary nvme_identify_items(std::span<const uint8_t> ctrl, std::span<const uint8_t> ns,
                                const NvmeItemContext& cx, const std::string& items) {
    ItemSummary s;
    const bool all = items.empty();
    auto item = [&](const char* key, const std::string& line, const std::string& value,
                    uint32_t c = colour::kWhite) {
        if (!all && !item_chosen(items, key)) return;
        add_line(s.lines, line, c);
        if (!all) s.values.push_back(value);
    };
    auto text = [](const std::string& v) { return "\"" + v + "\""; };
    auto id = [](uint64_t v) { return fmt("0x%04X", v); };
    auto dec = [](uint64_t v) { return fmt("%I64u", v); };
    auto line = [](const char* label, const std::string& v) { return fmt("%-26s : %s", label, v); };

    const std::string mn = text_at(ctrl, 24, 40), fw = text_at(ctrl, 64, 8), sn = text_at(ctrl, 4, 20);
    const std::string nqn = text_at(ctrl, 768, 256);
    const uint64_t vid = le_at(ctrl, 0, 2), ssvid = le_at(ctrl, 2, 2), nn = le_at(ctrl, 516, 4);
    const std::string eui = hex_run(ns, 120, 8), nguid = hex_run(ns, 104, 16);
    const unsigned format = selected_lba_format(ns);
    const unsigned lbads = selected_lba_data_size(ns);
    const uint64_t nsze = le_at(ns, 0, 8);
    const uint64_t bytes = namespace_bytes(nsze, lbads);
    const uint32_t sector = lbads < 32 ? 1u << lbads : 0;
    const uint64_t gb = capacity_gb(sector, bytes);
    const uint64_t gib = bytes >> 30;

    item("|MN|", fmt("Model Number               : %S", mn), text(mn));
    item("|FW|", fmt("Firmware Version           : %S", fw), text(fw));
    item("|VID|", fmt("Vendor ID (VID)            : %04X", vid), id(vid));
    item("|SSVID|", fmt("Subsystem VID (SSVID)      : %04X", ssvid), id(ssvid));
    item("|SN|", fmt("Serial Number              : %S", sn), text(sn));
    item("|NN|", fmt("Number of Namespaces       : %d", nn), dec(nn));
    item("|SUBNQN|", line("SubNQN", nqn), text(nqn));
    item("|EUI64WWN|", line("EUI64", eui), text(eui));
    item("|NGUID|", line("NGUID", nguid), text(nguid));
    item("|LBA_FORMAT|", fmt("LBA Format Select Index    : %d", format), dec(format));
    item("|MAXLBA|", fmt("Max LBA                    : 0x%I64X", nsze), dec(nsze));
    item("|SIZE_GB|", fmt("DiskQty(GB)                : %d", gb), dec(gb));
    item("|SIZE_GIB|", fmt("DiskQty(GiB)               : %I64u", gib), dec(gib));
    item("|SECTOR_SIZE|", fmt("LBA Sector Size(Byte)      : %u", sector), dec(sector));
    item("|WRITE_CACHE|", fmt("Write Cache Enable         : %d", cx.write_cache), fmt("%d", cx.write_cache));
    item("|SUPPORT_SPEED|",
         fmt("PCIE Support Speed         : %2d | %2d |  %s x %d", cx.support_gen, cx.support_width,
             pcie_generation_text(cx.support_gen), cx.support_width),
         fmt("\"%dx%d\"", cx.support_gen, cx.support_width));
    item("|LINK_SPEED|",
         fmt("Current PCIE Link Speed    : %2d | %2d |  %s x %d", cx.link_gen, cx.link_width,
             pcie_generation_text(cx.link_gen), cx.link_width),
         fmt("\"%dx%d\"", cx.link_gen, cx.link_width));
    item("|PHYSICALDRIVE|", fmt("PhysicalDrive              : %s", cx.disk.physical_path), text(cx.disk.physical_path));
    const std::string proto = protocol_name(cx.disk), port = port_identifier(cx.disk);
    item("|CMDTYPE|", line("Cmd Through", proto), text(proto));
    item("|PORTID|", line("Port ID", port), text(port));
    item("|SOCID|", fmt("SocId                      : 0x%04X", cx.disk.soc_id), id(cx.disk.soc_id), colour::kGrey);
    item("|VSCTYPE|", fmt("VSC Type                   : %X", cx.disk.command_set), fmt("%d", cx.disk.command_set),
         colour::kGrey);
    item("|CFG_TYPE|", fmt("Config Type                : %s", cx.config_type), text(cx.config_type), colour::kGrey);
    item("|ORIGIN_FW|", fmt("Original FW Ver            : %s", cx.original_fw), text(cx.original_fw), colour::kGrey);
    return s;
}

}  // namespace tb
