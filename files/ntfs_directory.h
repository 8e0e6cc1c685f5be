// The entries of a directory record: those of its $INDEX_ROOT and of every
// INDX record of its $INDEX_ALLOCATION that its $BITMAP marks in use.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/ntfs_index.h"
#include "files/ntfs_volume.h"

namespace tb::ntfs {

// One INDX record as it was read, for callers that print them.
struct IndexBlock {
    uint64_t vcn = 0;
    uint64_t sector = 0;  // volume sector of its first byte
    std::vector<IndexEntry> entries;
};

// The entries of directory `dir`; `each_block` (may be empty) sees every
// INDX record read. False with the reason ("INDX Signature Error", "Sector %d
// CheckWORD  Error", ...) when an index does not decode.
bool directory_entries(Volume& volume, const FileRecord& dir, std::vector<IndexEntry>& out, std::string& error,
                       const std::function<void(const IndexBlock&)>& each_block = {});

}  // namespace tb::ntfs
