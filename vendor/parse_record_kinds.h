// The kinds of saved vendor files, by the extension the drive commands save
// them with, and the one decoder of each: the record's lines, or the code of
// why the bytes are no such record.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "disk/report_lines.h"

namespace tb {

enum class RecordKind : uint8_t {
    DriveInformation, FwConfig, MpInfo, GrownDefects, DieDefects, Otp, Reconstruction, Vpd,
    EventLog, CriticalLog, CrashDump, Smart, RdtResult, Unknown,
};

// "drv", "fwcfg", "mpinfo", "gd", "dgd", "otp", "recon", "vpd", "eraw", "cri", "cdump", "smart", "rdt"
// (any case, with or without the dot); Unknown for anything else.
RecordKind record_kind_of(std::string_view type_or_extension);
const char* record_kind_title(RecordKind kind);

struct DecodedRecord {
    int code = 0;           // 0, -10 (wrong size) or -90 (bad signature, magic or checksum)
    std::string problem;    // what is wrong when code < 0
    ReportLines lines;
    int64_t result = 1;     // the command's result: entries decoded, or 1
};

struct DecodeOptions {
    std::string item;          // one item of the configuration or manufacturing record ("" all)
    bool show_offset = false;  // item lines begin with the item's offset
    bool defect_list = false;  // manufacturing record: factory defects per die as well
    int decode_type = 0;       // event log: 0 all, 1 warnings and errors, 2 errors
    bool show_vendor = false;  // SMART: the vendor rows as well
};

// Decodes `bytes` as a record of `kind`. An item name that the record has no
// item of gives -28. Unknown data give its hex view.
DecodedRecord decode_record(RecordKind kind, std::span<const uint8_t> bytes, const DecodeOptions& options = {});

}  // namespace tb
