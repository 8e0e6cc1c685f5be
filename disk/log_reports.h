// Decoded NVMe log pages and identify lists: the Error Information table,
// the firmware slot lines, the Commands Supported and Effects lines, the
// namespace identification descriptor and the active namespace list.
#pragma once

#include <cstdint>
#include <span>

#include "disk/report_lines.h"

namespace tb {

constexpr size_t kErrorLogEntries = 63;
constexpr size_t kErrorLogBytes = kErrorLogEntries * 64;  // 4032

ReportLines error_information_report(std::span<const uint8_t> log);

// `controller` is Identify Controller (MDTS, FRMW, FWUG), `slots` log 0x03.
ReportLines firmware_slot_report(std::span<const uint8_t> controller, std::span<const uint8_t> slots);

// Log 0x05: admin entries (bytes 0-1023), then I/O entries (1024-2047).
ReportLines command_effects_report(std::span<const uint8_t> log);
const char* admin_opcode_name(uint8_t opcode);
const char* io_opcode_name(uint8_t opcode);

// Identify CNS 3: the first descriptor only.
ReportLines namespace_descriptor_report(std::span<const uint8_t> list);

// Identify CNS 2: every id up to the first 0.
ReportLines active_namespace_report(std::span<const uint8_t> list);

}  // namespace tb
