#include "disk/smart_report.h"

#include <map>
#include <mutex>

#include "common/format.h"
#include "script/job_slot.h"

namespace tb {

namespace {

using K = SmartRowKind;

constexpr SmartRow kRows[] = {
    {0, 1, K::Standard, "Critical Warning"},
    {1, 2, K::Standard, "Composite Temperature"},
    {3, 1, K::Standard, "Available Spare"},
    {4, 1, K::Standard, "Available Spare Threshold"},
    {5, 1, K::Standard, "Percentage Used"},
    {6, 1, K::Standard, "Endurance Group Critical Warning Summary"},
    {32, 8, K::Standard, "Data Units Read"},
    {48, 8, K::Standard, "Data Units Written"},
    {64, 8, K::Standard, "Host Read Commands"},
    {80, 8, K::Standard, "Host Write Commands"},
    {96, 8, K::Standard, "Controller Busy Time"},
    {112, 8, K::Standard, "Power Cycles"},
    {128, 8, K::Standard, "Power On Hours"},
    {144, 8, K::Standard, "Unsafe Shutdowns"},
    {160, 8, K::Standard, "Media and Data Integrity Errors"},
    {176, 8, K::Standard, "Number of Error Information Log Entries"},
    {192, 4, K::Standard, "Warning Composite Temperature Time"},
    {196, 4, K::Standard, "Critical Composite Temperature Time"},
    {200, 2, K::Standard, "Temperature Sensor 1"},
    {202, 2, K::Standard, "Temperature Sensor 2"},
    {204, 2, K::Standard, "Temperature Sensor 3"},
    {206, 2, K::Standard, "Temperature Sensor 4"},
    {208, 2, K::Standard, "Temperature Sensor 5"},
    {210, 2, K::Standard, "Temperature Sensor 6"},
    {212, 2, K::Standard, "Temperature Sensor 7"},
    {214, 2, K::Standard, "Temperature Sensor 8"},
    {216, 4, K::Standard, "Thermal Management T1 Trans Cnt"},
    {220, 4, K::Standard, "Thermal Management T2 Trans Cnt"},
    {224, 4, K::Standard, "Thermal Management T1 Total Time"},
    {228, 4, K::Standard, "Thermal Management T2 Total Time"},
    // The maker's controller counters.
    {232, 2, K::Vendor, "Defect Cnt"},
    {234, 2, K::Vendor, "Slc Spb Cnt"},
    {236, 4, K::Vendor, "Slc Total Ec Cnt"},
    {240, 4, K::Vendor, "Slc Max Ec Cnt"},
    {244, 4, K::Vendor, "Slc Min Ec Cnt"},
    {248, 4, K::Vendor, "Slc Avg Ec Cnt"},
    {252, 4, K::Vendor, "Total Ec Cnt"},
    {256, 4, K::Vendor, "Max Ec Cnt"},
    {260, 4, K::Vendor, "Min Ec Cnt"},
    {264, 4, K::Vendor, "Avg Ec Cnt"},
    {268, 4, K::Vendor, "Mrd Rr Good Cnt"},
    {272, 4, K::Vendor, "Ard Rr Good Cnt"},
    {276, 4, K::Vendor, "Preset Cnt"},
    {280, 4, K::Vendor, "Nvme Reset Cnt"},
    {284, 4, K::Vendor, "Low Pwr Cnt"},
    {288, 4, K::Vendor, "Write Amplification"},
    {292, 4, K::Vendor, "PS3 Entry Cnt"},
    {296, 1, K::Vendor, "highest_temp[0]"},
    {297, 1, K::Vendor, "highest_temp[1]"},
    {298, 1, K::Vendor, "highest_temp[2]"},
    {299, 1, K::Vendor, "highest_temp[3]"},
    {300, 4, K::Vendor, "Weight EC"},
    {304, 4, K::Vendor, "Slc Cap MB"},
    {308, 8, K::Vendor, "Nand Page Write Cnt"},
    {316, 4, K::Vendor, "Program Error Cnt"},
    {320, 4, K::Vendor, "Erase Error Cnt"},
    {324, 1, K::Vendor, "Flash Type"},
    {325, 1, K::Vendor, "slc_available_spare"},
    {326, 1, K::Vendor, "slc_available_spare_threshold"},
    {328, 4, K::Vendor, "Host crc err Cnt"},
    {332, 4, K::Vendor, "DDR ECC err Cnt"},
    {336, 4, K::Vendor, "Pcie aer Bad tlp error"},
    {340, 4, K::Vendor, "Pcie aer Link crc error"},
    {344, 4, K::Vendor, "Pcie aer Read error count"},
    {348, 4, K::Vendor, "Pcie aer Bad dllp error"},
    {352, 4, K::Vendor, "Pcie aer Replay number roll over error"},
    {356, 4, K::Vendor, "Pcie aer Replay timeout"},
    {360, 4, K::Vendor, "Pcie aer Rx NAK DLLP"},
    {364, 4, K::Vendor, "Pcie aer Tx NAK DLLP"},
    {368, 4, K::Vendor, "Pcie aer Retry TLP"},
    {372, 4, K::Vendor, "DDR 1bit error (PCIeRxErrCnt)"},
    {376, 4, K::Vendor, "DDR_2bit_error (DDR UncErrCnt)"},
    {380, 1, K::Vendor, "nor_cri_log_full"},
    {381, 1, K::Vendor, "nor_ncl_log_full"},
    {382, 1, K::Vendor, "alloc_new_blk_err"},
    {384, 8, K::Vendor, "slc_amount_of_w"},
    {392, 1, K::Vendor, "lowest_temp[0]"},
    {393, 1, K::Vendor, "lowest_temp[1]"},
    {394, 1, K::Vendor, "lowest_temp[2]"},
    {395, 1, K::Vendor, "lowest_temp[3]"},
    {396, 4, K::Vendor, "sensor_error"},
    {400, 4, K::Vendor, "high_lat_rcmd_ttl_cnt"},
    {404, 4, K::Vendor, "high_lat_wcmd_ttl_cnt"},
    {408, 4, K::Vendor, "gbb_rate"},
    {412, 4, K::Vendor, "mrd_rr_good_cnt_h"},
    {416, 4, K::Vendor, "ard_rr_good_cnt_h"},
    {420, 4, K::Vendor, "last_plp_blk_cnt"},
    {424, 4, K::Vendor, "pcie_aer_rcv_err_cont"},
};

uint64_t le_at(std::span<const uint8_t> d, size_t off, size_t n) {
    if (off + n > d.size()) return 0;
    return le_value(d.subspan(off, n));
}

}  // namespace

std::span<const SmartRow> nvme_smart_rows() { return kRows; }

SmartReport nvme_smart_report(std::span<const uint8_t> log, std::span<const uint8_t> previous, bool show_vendor,
                              const std::string& items) {
    SmartReport r;
    const bool chosen_only = !items.empty();
    if (!chosen_only)
        add_line(r.lines, fmt("%-14s : %-42s | %18s | %15s | %15s", "Offset", "Desc", "Hex", "DEC", "dxRAW"),
                 colour::kYellow);
    const std::span<const SmartRow> rows = kRows;
    for (size_t i = 0; i < rows.size(); ++i) {
        const SmartRow& row = rows[i];
        if (chosen_only) {
            if (!item_chosen(items, fmt("|%d|", row.offset))) continue;
        } else if (row.kind == K::Vendor && !show_vendor) {
            continue;
        }
        const uint64_t value = le_at(log, row.offset, row.width);
        const uint64_t before = previous.size() >= log.size() ? le_at(previous, row.offset, row.width) : value;
        // The change is signed: temperatures and spare fall as well as rise.
        const int64_t change = static_cast<int64_t>(value - before);
        const char* hex_form = row.width == 1 ? "0x%02X" : row.width == 2 ? "0x%04X" : row.width == 4 ? "0x%08X"
                                                                                                    : "0x%016I64X";
        const std::string hex = fmt(hex_form, value);
        const uint16_t last = i + 1 < rows.size() ? static_cast<uint16_t>(rows[i + 1].offset - 1)
                                                  : static_cast<uint16_t>(row.offset + row.width - 1);
        const std::string label = chosen_only ? fmt("Byte %d", row.offset) : fmt("Byte %d-%d", row.offset, last);
        const std::string columns = fmt("| %18s | %15I64u | %15I64d", hex, value, change);
        add_line(r.lines, fmt("%-14s : %-42S %s", label, row.label, columns),
                 row.kind == K::Standard ? colour::kCyan : colour::kWhite);
        if (chosen_only) r.values.push_back(hex);
    }
    return r;
}

const char* ata_attribute_name(uint8_t id) {
    switch (id) {
        case 0x05: return "Reallocated Sector Count";
        case 0x09: return "Power On Hours";
        case 0x0C: return "Power Cycle Count";
        case 0xAB: return "SSD Program Fail Count";
        case 0xAC: return "SSD Erase Fail Count";
        case 0xAD: return "SSD Wear Leveling Count";
        case 0xAE: return "Unexpected Power Loss Count";
        case 0xB8: return "End-to-End error / IOEDC";
        case 0xBB: return "Reported Uncorrectable Errors";
        case 0xC2: return "Temperature";
        case 0xC7: return "UltraDMA CRC Error Count";
        case 0xEA: return "Average erase count AND Maximum Erase Count";
        case 0xF1: return "Total Written (32MB)";
        case 0xF2: return "Total Read (32MB)";
        default: return "Vendor Specific";
    }
}

namespace {

constexpr size_t kAttributeCount = 30;
constexpr size_t kAttributeBytes = 12;
constexpr size_t kFirstAttribute = 2;

uint64_t raw_value(std::span<const uint8_t> d, size_t at) { return le_at(d, at + 5, 6); }

}  // namespace

SmartReport ata_smart_report(std::span<const uint8_t> data, std::span<const uint8_t> thresholds,
                             std::span<const uint8_t> previous, const std::string& items) {
    SmartReport r;
    const bool chosen_only = !items.empty();
    if (!chosen_only)
        add_line(r.lines,
                 fmt("%2s: %-45s|%10s|%10s|%13s|%16s|%16s", "ID", "Description", "Current", "Threshold", "Raw(Hex)",
                     "Raw(Value)", "dxRaw"),
                 colour::kYellow);
    for (size_t i = 0; i < kAttributeCount; ++i) {
        const size_t at = kFirstAttribute + i * kAttributeBytes;
        if (at + kAttributeBytes > data.size()) break;
        const uint8_t id = data[at];
        if (id == 0) break;
        if (chosen_only && !item_chosen(items, fmt("|%d|", id))) continue;
        unsigned threshold = 0;
        for (size_t j = 0; j < kAttributeCount; ++j) {
            const size_t t = kFirstAttribute + j * kAttributeBytes;
            if (t + 2 > thresholds.size()) break;
            if (thresholds[t] == id) {
                threshold = thresholds[t + 1];
                break;
            }
        }
        std::string raw_hex;
        for (size_t b = 6; b-- > 0;) raw_hex += fmt("%02X", data[at + 5 + b]);
        const uint64_t raw = raw_value(data, at);
        const bool same = at + kAttributeBytes <= previous.size() && previous[at] == id;
        const int64_t change = same ? static_cast<int64_t>(raw - raw_value(previous, at)) : 0;
        add_line(r.lines,
                 fmt("%02X: %-45s|%10d|%10d|%13s|%16s|%16s", id, ata_attribute_name(id), data[at + 3], threshold,
                     raw_hex, fmt("%I64u", raw), fmt("%I64d", change)),
                 colour::kCyan);
        if (chosen_only) r.values.push_back(fmt("%I64u", raw));
    }
    if (data.size() >= 374) {
        const uint8_t status = data[363];
        add_line(r.lines, fmt("Self-test Support           : %d", (data[367] >> 4) & 1));
        add_line(r.lines, fmt("Short Self-test Time(mins)  : %d", data[372]));
        add_line(r.lines, fmt("Extend Self-test Time(mins) : %d", data[373]));
        add_line(r.lines, fmt("Self-test Percent Remaining(%%) : %d", (status & 0x0F) * 10), colour::kYellow);
        add_line(r.lines, fmt("Self-test Status(Code)         : %d", status >> 4), colour::kYellow);
        const char* desc = nullptr;
        switch (status >> 4) {
            case 0: desc = "Completed"; break;
            case 1: desc = "Abort by Host"; break;
            case 2: desc = "Interrupted by Host"; break;
            case 3: desc = "Error"; break;
            case 15: desc = "Progress Running"; break;
            default: desc = "Unknow Error"; break;
        }
        add_line(r.lines, fmt("Self-test Status(Desc)         : %s", desc), colour::kYellow);
    }
    return r;
}

namespace {

struct Reading {
    std::string job;  // identifies the job the reading belongs to
    std::vector<uint8_t> bytes;
};

std::mutex g_readings_lock;
std::map<std::pair<int, SmartSource>, Reading> g_readings;

std::string job_identity(int slot) {
    const JobSlot* s = job_slot(slot);
    if (!s) return {};
    return s->log_folder + "|" + std::to_string(s->start_time.time_since_epoch().count());
}

}  // namespace

std::vector<uint8_t> previous_smart_reading(int slot, SmartSource source) {
    std::lock_guard<std::mutex> guard(g_readings_lock);
    auto it = g_readings.find({slot, source});
    if (it == g_readings.end() || it->second.job != job_identity(slot)) return {};
    return it->second.bytes;
}

void store_smart_reading(int slot, SmartSource source, std::span<const uint8_t> reading) {
    std::lock_guard<std::mutex> guard(g_readings_lock);
    g_readings[{slot, source}] = Reading{job_identity(slot), {reading.begin(), reading.end()}};
}

}  // namespace tb
