// The placeholders a tool's parameters may hold, and the text each stands
// for. Names match exactly (letter case included); anything else between
// percent signs is left as written. Values are put in as they are and never
// read again for placeholders.
#pragma once

#include <string>
#include <string_view>

namespace tb {

struct PlaceholderValues {
    std::string disk;      // %Disk%
    std::string disk_id;   // %DiskId%
    std::string x_volume;  // %xVolume%
    std::string cdi_id;    // %CdiId%
    std::string scpdir;    // %Scpdir%
    std::string output;    // %Output%
};

std::string fill_placeholders(std::string_view text, const PlaceholderValues& values);

}  // namespace tb
