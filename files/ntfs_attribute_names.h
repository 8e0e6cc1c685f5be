// The names NTFS gives its attribute types, as the walker prints them.
#pragma once

#include <cstdint>

namespace tb::ntfs {

// "$STANDARD_INFORMATION" for 0x10 ... "$LOGGED_UTILITY_STREAM" for 0x100;
// "Error Attrib Type" for any other type.
const char* attribute_type_name(uint32_t type);

}  // namespace tb::ntfs
