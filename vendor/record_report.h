// The printed lines of every vendor record, shared by the commands that read
// a record from the drive and the commands that decode a saved file, so both
// print the same lines in the same colours.
#pragma once

#include <span>
#include <string_view>

#include "disk/report_lines.h"
#include "vendor/record_rdt.h"
#include "vendor/vendor_records.h"

namespace tb {

ReportLines drive_information_lines(const DriveInformation& d);
// "0x00   |   ROM" ... "0x03   |   FTK"; other values "0x%02X   |   Unknown".
std::string firmware_source_text(uint8_t source);

// The items of a named-field record, one line each ("%-24s : %s", with
// "0x%04X  " before it when `show_offset`), or only the item named `item`.
// Returns 0, or -28 when `item` names no item of the table (no lines then).
int named_field_lines(std::span<const FwConfigItem> table, std::span<const uint8_t> record, std::string_view item,
                      bool show_offset, ReportLines& out);
// The firmware configuration with its checksum line ("Checksum OK" green, or a red mismatch line).
int fw_config_lines(std::span<const uint8_t> record, std::string_view item, bool show_offset, ReportLines& out);
// The manufacturing information; with `defect_list` also the factory defects per die.
int mp_info_lines(std::span<const uint8_t> record, std::string_view item, bool show_offset, bool defect_list,
                  ReportLines& out);

ReportLines grown_defect_lines(std::span<const GrownDefect> list);
ReportLines die_defect_lines(std::span<const DieDefects> list);
ReportLines otp_lines(const OtpIdentifier& o);
// With a signature other than 0x5A only the red "signature not match 0x5A" line.
ReportLines reconstruction_lines(const ReconstructionStatus& s);
ReportLines vpd_lines(const VpdData& v);
// `decode_type` 0: every event; 1: warnings and errors; 2: errors only.
ReportLines event_log_lines(std::span<const VendorEvent> events, int decode_type);
ReportLines critical_log_lines(std::span<const CriticalEntry> entries);
ReportLines crash_dump_lines(const CrashDump& dump);
// Each test with its error code and the code's text from the error list; the
// overall result green "PASS" or red "FAIL".
ReportLines rdt_result_lines(const RdtResult& r);

}  // namespace tb
