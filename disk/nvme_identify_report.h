// The Identify Controller and Identify Namespace byte-range reports and the
// item summary of the NVMe `Identify` command.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/disk_record.h"
#include "disk/report_lines.h"

namespace tb {

constexpr uint32_t kIdentifyLastByte = 4095;

// Every field (and its bit groups) whose first byte lies in [start, end];
// the range is clamped to 0..4095 first.
ReportLines identify_controller_report(std::span<const uint8_t> data, uint32_t start, uint32_t end);
// The same for Identify Namespace; the LBA format entry that the formatted
// LBA size selects is shown in yellow.
ReportLines identify_namespace_report(std::span<const uint8_t> data, uint32_t start, uint32_t end);

// The LBA format index that FLBAS selects: bits 3-0, with bits 6-5 above
// them when the namespace has more than 16 formats.
unsigned selected_lba_format(std::span<const uint8_t> ns);
// LBADS of the selected format (the power of two of the sector size).
unsigned selected_lba_data_size(std::span<const uint8_t> ns);

// What the item summary needs besides the two structures.
struct NvmeItemContext {
    DiskRecord disk;
    int write_cache = -1;        // -1 when unknown
    int support_gen = 0, support_width = 0;  // PCIe link capability, 0 when unknown
    int link_gen = 0, link_width = 0;        // PCIe link status
    std::string config_type;     // firmware kind as text
    std::string original_fw;
};

struct ItemSummary {
    ReportLines lines;
    std::vector<std::string> values;  // with non-empty items only, in order
};

// `items` as normalise_items() gives it; empty prints every item.
ItemSummary nvme_identify_items(std::span<const uint8_t> controller, std::span<const uint8_t> ns,
                                const NvmeItemContext& context, const std::string& items);

// "PCIE Gen1 Signaling Speed (2.5 GTps)" .. Gen6, "Unknow" otherwise.
std::string pcie_generation_text(int gen);

}  // namespace tb
