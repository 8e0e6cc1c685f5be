// Matching a target selector against a disk record. Selectors come from the
// command line ("\\.\PHYSICALDRIVE1", "\\.\model\NAME", "\\.\vid\80??") and
// from DiskList( Filter:... ); all comparisons ignore case.
#pragma once

#include <cstdint>
#include <string_view>

#include "disk/disk_record.h"

namespace tb {

// In this order: "\MODEL\" text in the model read now; "\PORT\" text in the
// port identifier; "\VID\" (NVMe only) against the vendor id read now;
// "\SOCID\" against the SoC identifier; "\QZDISK" any disk with a SoC
// identifier; "\COMBOdisk1" every disk; else the physical or device path.
bool match_target(std::string_view selector, const DiskRecord& record);

// A "\VID\" / "\SOCID\" value against a number: hexadecimal text compares
// numerically (a `zero_never_matches` number of 0 never matches); any other
// text is compared with the number written "%04X", each '?' matching any
// character in its position.
bool match_hex_selector(std::string_view text, uint32_t value, bool zero_never_matches = false);

// Whether the selector asks for the vendor identification before matching:
// it equals "\\.\QZdisk" or contains "\socid\" (any case).
bool selector_needs_vendor_id(std::string_view selector);

}  // namespace tb
