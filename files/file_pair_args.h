// The source and destination a two-file command (copy, compare) is given:
// its FromFile and ToFile arguments placed as file names and paired up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/file_place.h"
#include "files/file_sources.h"

namespace tb {

struct FilePairWork {
    std::string from;
    std::string to;
    FilePairs work;  // source_found is always true
};

// Reads FromFile and ToFile (asking with an open box for the source and a
// `destination_box` for the destination when a name is empty) and pairs the
// files up. Nothing when the command must end: the arguments were refused,
// a box was cancelled, or the source does not exist (-24 raised).
std::optional<FilePairWork> read_file_pair_args(int slot, std::string_view args, std::string_view command,
                                                FileBox destination_box);

}  // namespace tb
