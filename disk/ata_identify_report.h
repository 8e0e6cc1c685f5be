// The IDENTIFY DEVICE word report (`IdentifyEx`) and the item summary of the
// ATA `Identify` command.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "disk/disk_record.h"
#include "disk/nvme_identify_report.h"
#include "disk/report_lines.h"

namespace tb {

constexpr uint32_t kIdentifyLastWord = 255;

// Every field whose first word lies in [start, end] (clamped to 0..255),
// with its bit groups.
ReportLines identify_device_report(std::span<const uint8_t> data, uint32_t start, uint32_t end);

// "Serial ATA Gen1 Signaling Speed (1.5 Gbps)" .. Gen3, "Unknow" otherwise.
std::string sata_generation_text(int gen);

// `items` as normalise_items() gives it; empty prints every item.
ItemSummary ata_identify_items(std::span<const uint8_t> data, const DiskRecord& disk,
                               const std::string& config_type, const std::string& items);

}  // namespace tb
