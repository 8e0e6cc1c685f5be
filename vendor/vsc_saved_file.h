// Where a vendor command keeps a record it read: the file the script named
// in SaveFile (placed as every output file is, with the record's extension
// when the name has none), or, for an empty name, a new file in the job's
// log folder named after the output stem with the record's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tb {

// The path the record goes to (`extension` with its dot: ".drv"); nothing
// when the command must end (a cancelled box, already reported).
std::optional<std::string> vsc_record_path(int slot, std::string requested, std::string_view extension);

// Writes `data` to `path` and attaches it to the job's result file; false
// after raising -21 when it cannot be written.
bool vsc_write_record(int slot, const std::string& path, std::span<const uint8_t> data);

// Both: the path of the written file, or nothing.
std::optional<std::string> vsc_save_record(int slot, std::string requested, std::string_view extension,
                                           std::span<const uint8_t> data);

}  // namespace tb
