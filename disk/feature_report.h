// Decoding of Get Features results (completion dword 0) into named fields.
#pragma once

#include <cstdint>

#include "disk/report_lines.h"

namespace tb {

// "0x01: Arbitration" ... for the features with a decoding; nullptr otherwise.
const char* feature_name(uint8_t feature_id);

// The field lines of a feature value; empty for features without a decoding.
ReportLines feature_field_lines(uint8_t feature_id, uint32_t value);

}  // namespace tb
