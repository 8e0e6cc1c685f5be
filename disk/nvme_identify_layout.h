// The field tables of the NVMe Identify Controller and Identify Namespace
// data structures (4096 bytes each).
#pragma once

#include "disk/byte_report.h"

namespace tb {

// Identify Controller without the power state descriptors (bytes 2048-3071),
// which come from kPowerStateEntries.
StructureLayout identify_controller_layout();
extern const RepeatedEntry kPowerStateEntries;

// Identify Namespace without the LBA format entries (bytes 128-383), which
// come from kLbaFormatEntries.
StructureLayout identify_namespace_layout();
extern const RepeatedEntry kLbaFormatEntries;

}  // namespace tb
