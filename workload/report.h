// The files and summary lines of a workload run: the throughput CSV, the
// latency distribution "_Qos.TXT" and the summary in the job log.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "workload/engine.h"

namespace tb {

extern const char* const kCsvHeader;

// One CSV line of a point: total MB, read+write KB/s, read+write IO/s, job
// time, cycle time, composite temperature and T1..T8.
std::string csv_line(const ThroughputSample& sample);

// Appends points to "<base>.CSV" (created with the header when missing);
// lines are gathered in a 16 MiB buffer. Nothing is written without points.
bool append_csv(const std::string& base, std::span<const ThroughputSample> points);

// The text of a latency file for these bucket counts.
std::string qos_text(const std::array<uint64_t, kLatencyBuckets>& counts);
// Appends it to "<base>_Qos.TXT".
bool append_qos(const std::string& base, const std::array<uint64_t, kLatencyBuckets>& counts);

// KB/s as MB/s with two decimals: "%d.%02d".
std::string mbps_text(uint32_t kbps);

// The summary lines of a performance command (the line of the last cycle,
// sizes, times, MB/s, IO/s and the link to the latency file).
void print_summary(int slot, const WorkloadResult& result, const std::string& base);

// Binds the job-log chart line to the image "<base>.png" and "<base>.CSV".
void bind_chart_line(int slot, int line, const std::string& base);

// "CurrentLBA: 0x%08X%08X" (sectors, RAW targets) or "CurrentOffset:
// 0x%08X%08X" (bytes, other targets).
std::string position_text(uint64_t byte_offset, uint32_t sector_size, bool raw);

}  // namespace tb
