// The update sequence of multi-sector NTFS records (file records, index
// records): the last two bytes of every sector hold the sequence number and
// are put back from the record's update-sequence array.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tb::ntfs {

// Checks and undoes the update sequence of `record` in place. False with
// "Sector %d CheckWORD  Error" (the sector inside the record, from 0) when a
// sector's last word is not the sequence number, or with a text naming the
// damage when the array does not fit the record.
bool apply_update_sequence(std::span<uint8_t> record, uint32_t sector_size, std::string& error);

}  // namespace tb::ntfs
