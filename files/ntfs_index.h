// Directory indexes: the entries of an $INDEX_ROOT value and of the INDX
// records of an $INDEX_ALLOCATION, each naming a file record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/ntfs_file_name.h"

namespace tb::ntfs {

struct IndexEntry {
    uint64_t record = 0;  // the file's record number
    FileName key;
};

// The entries of the $INDEX_ROOT value `value`. False with the reason when
// its node header or an entry does not fit.
bool read_index_root(std::span<const uint8_t> value, std::vector<IndexEntry>& out, std::string& error);

// Whether `raw` starts with "INDX".
bool has_index_signature(std::span<const uint8_t> raw);

// The entries of one INDX record read from the volume: signature ("INDX
// Signature Error"), update sequence ("Sector %d CheckWORD  Error"), then the
// node's entries. `raw` is changed by the update sequence.
bool read_index_record(std::span<uint8_t> raw, uint32_t sector_size, std::vector<IndexEntry>& out,
                       std::string& error);

}  // namespace tb::ntfs
