// Capacity of a disk in (decimal) gigabytes, as every disk list, report and
// capacity check shows it.
#pragma once

#include <cstdint>

namespace tb {

// Lengths from this many bytes on are counted by the plain decimal rule.
constexpr uint64_t kIdemaLimitBytes = 8'001'563'222'017ULL;

// GB of a disk of `length` bytes with `bytes_per_sector`-byte sectors:
// - 0 when the sector size is 0 or the length is below 1,000,000,000 bytes;
// - below kIdemaLimitBytes the IDEMA LBA1-03 rule on the sector count:
//   512-byte sectors (count - 21168) / 1953504, 4096-byte sectors
//   (count - 2646) / 244188, any other size length / 1,000,000,000;
// - from kIdemaLimitBytes on: length / 1,000,000,000 for every sector size.
//   The IDEMA 8000 GB disk is exactly one byte below the limit, so the two
//   rules meet without a gap or an overlap: 8000 below, 8001 and more above.
// All divisions truncate.
uint32_t capacity_gb(uint32_t bytes_per_sector, uint64_t length);

}  // namespace tb
