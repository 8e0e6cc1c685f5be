// MonitorData: the target's NVMe SMART log read every IntervalSec for
// LimitTimeSec, each reading a row of a CSV file (elapsed seconds,
// temperature, spare, wear and the data and command counters).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tb {

void cmd_MonitorData(int slot, const std::string& args, const std::string& name);

// The CSV header line and the row of one SMART log (512 bytes), CR LF ended.
std::string monitor_csv_header();
std::string monitor_csv_row(uint64_t elapsed_sec, std::span<const uint8_t> smart_log);

}  // namespace tb
