// What the commands that decode or edit saved vendor files share: finding and
// reading the file a script names, refusing a file of the wrong size, the
// hex view of unknown data, and saving decoded lines as text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/report_lines.h"

namespace tb {

struct LoadedFile {
    std::string path;
    std::vector<uint8_t> bytes;
};

// The file named `name` (searched like the other script files; an empty name
// asks with the open box). Nothing when the command must end: a missing or
// unreadable file (-11 raised) or a cancelled box (cancel flag set).
std::optional<LoadedFile> load_vendor_file(int slot, std::string name, std::string_view ext, std::string_view title);

// Whether the file has exactly `expected` bytes; otherwise -10 is raised
// naming the file and both sizes.
bool check_file_size(int slot, const LoadedFile& file, size_t expected);

// -90 raised: `what` is not a valid record (bad signature, magic or checksum).
void raise_bad_record(int slot, const LoadedFile& file, std::string_view what);

// Hex-view rows ("%08Xh: " offset, 16 bytes, characters) of `length` bytes from `offset`.
ReportLines hex_view_lines(std::span<const uint8_t> bytes, size_t offset, size_t length);

// Writes the report lines; false when the job was cancelled meanwhile.
bool print_lines(int slot, const ReportLines& lines);

// When `save_name` is not empty, writes the lines' texts (one a line, CR LF)
// to that file, placed like the other saved files ("txt" added when it has no
// extension). False when the command must end (-21 raised, or a cancelled box).
bool save_lines(int slot, std::string save_name, const ReportLines& lines);

}  // namespace tb
