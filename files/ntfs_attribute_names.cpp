#include "files/ntfs_attribute_names.h"

namespace tb::ntfs {

const char* attribute_type_name(uint32_t type) {
    switch (type) {
        case 0x10: return "$STANDARD_INFORMATION";
        case 0x20: return "$ATTRIBUTE_LIST";
        case 0x30: return "$FILE_NAME";
        case 0x40: return "$OBJECT_ID";
        case 0x50: return "$SECURITY_DESCRIPTOR";
        case 0x60: return "$VOLUME_NAME";
        case 0x70: return "$VOLUME_INFORMATION";
        case 0x80: return "$DATA";
        case 0x90: return "$INDEX_ROOT";
        case 0xA0: return "$INDEX_ALLOCATION";
        case 0xB0: return "$BITMAP";
        case 0xC0: return "$REPARSE_POINT";
        case 0xD0: return "$EA_INFORMATION";
        case 0x100: return "$LOGGED_UTILITY_STREAM";
        default: return "Error Attrib Type";
    }
}

}  // namespace tb::ntfs
