// The common course of a decoding command: load the named file, decode it as
// one kind of record, print its lines, save them when asked, and raise the
// decoder's error (after its lines, so a bad checksum is seen with the values).
#pragma once

#include <string>
#include <string_view>

#include "vendor/parse_record_kinds.h"

namespace tb {

struct ParseRequest {
    RecordKind kind = RecordKind::Unknown;
    std::string file;       // as the script gave it
    std::string save_file;  // "" no text copy
    DecodeOptions options;
};

// The command's result: DecodedRecord::result, or the item's value when one
// item was asked for.
void run_parse(int slot, const std::string& name, const ParseRequest& request);

// The extension the drive commands save a kind with ("drv", ...; "bin" for unknown).
std::string_view record_extension(RecordKind kind);

}  // namespace tb
