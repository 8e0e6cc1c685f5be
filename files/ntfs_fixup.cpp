#include "files/ntfs_fixup.h"

#include "common/format.h"
#include "files/ntfs_bytes.h"

namespace tb::ntfs {

bool apply_update_sequence(std::span<uint8_t> record, uint32_t sector_size, std::string& error) {
    if (sector_size < 512 || record.size() < sector_size || record.size() % sector_size) {
        error = "Record size is not a whole number of sectors";
        return false;
    }
    const size_t sectors = record.size() / sector_size;
    const uint16_t array_offset = le16(record, 4);
    const uint16_t array_count = le16(record, 6);  // the sequence number and one word per sector
    if (array_count != sectors + 1 || array_offset % 2 || !fits(record.size(), array_offset, 2ull * array_count) ||
        array_offset + 2ull * array_count > sector_size - 2) {
        error = fmt("Update Sequence Error (offset 0x%X, count %d)", array_offset, array_count);
        return false;
    }
    const uint16_t number = le16(record, array_offset);
    for (size_t s = 0; s < sectors; ++s) {
        const size_t tail = (s + 1) * sector_size - 2;
        if (le16(record, tail) != number) {
            error = fmt("Sector %d CheckWORD  Error", static_cast<int>(s));
            return false;
        }
    }
    for (size_t s = 0; s < sectors; ++s) {
        const size_t tail = (s + 1) * sector_size - 2;
        const size_t saved = array_offset + 2 * (s + 1);
        record[tail] = record[saved];
        record[tail + 1] = record[saved + 1];
    }
    return true;
}

}  // namespace tb::ntfs
