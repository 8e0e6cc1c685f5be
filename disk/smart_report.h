// The NVMe SMART / Health Information table and the ATA SMART attribute
// table, each with the change of every counter since the job's previous
// reading.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/report_lines.h"

namespace tb {

// ---- NVMe ------------------------------------------------------------------

enum class SmartRowKind : uint8_t { Standard, Vendor };

struct SmartRow {
    uint16_t offset;
    uint8_t width;  // 1, 2, 4 or 8 bytes
    SmartRowKind kind;
    const char* label;
};

// The 88 rows, in offset order.
std::span<const SmartRow> nvme_smart_rows();

constexpr size_t kNvmeSmartBytes = 512;

struct SmartReport {
    ReportLines lines;
    std::vector<std::string> values;  // hex values of the chosen rows (with items only)
};

// `items` as normalise_items() gives it (decimal byte offsets). `previous` is
// the reading the change column is taken against.
SmartReport nvme_smart_report(std::span<const uint8_t> log, std::span<const uint8_t> previous,
                              bool show_vendor, const std::string& items);

// ---- ATA -------------------------------------------------------------------

// "Reallocated Sector Count" ... ; "Vendor Specific" for ids without a name.
const char* ata_attribute_name(uint8_t id);

// `data` is SMART READ DATA, `thresholds` SMART READ THRESHOLDS (512 bytes
// each); `previous` the job's previous SMART READ DATA (may be empty).
SmartReport ata_smart_report(std::span<const uint8_t> data, std::span<const uint8_t> thresholds,
                             std::span<const uint8_t> previous, const std::string& items);

// ---- The job's previous readings -------------------------------------------

enum class SmartSource : uint8_t { Nvme, Ata };

// The previous reading of this job (the slot's current log folder and start
// time identify the job), or empty when the job has none yet.
std::vector<uint8_t> previous_smart_reading(int slot, SmartSource source);
void store_smart_reading(int slot, SmartSource source, std::span<const uint8_t> reading);

}  // namespace tb
