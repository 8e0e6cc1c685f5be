// Where a file's unnamed $DATA stream lies: inside its record (resident) or
// in runs of clusters, gathered from the base record and, through an
// $ATTRIBUTE_LIST, from its extension records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/ntfs_volume.h"

namespace tb::ntfs {

struct FileData {
    bool resident = false;
    uint64_t size = 0;            // the stream's length in bytes
    std::vector<Run> runs;        // non-resident: every run in VCN order
    uint32_t value_offset = 0;    // resident: where the value starts inside the record
};

// False with the reason when the record has no unnamed $DATA or an
// extension record cannot be read.
bool file_data(Volume& volume, const FileRecord& base, FileData& out, std::string& error);

}  // namespace tb::ntfs
