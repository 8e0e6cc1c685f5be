// From a file record up to the root directory: the names along the way,
// joined into the file's path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/ntfs_file_record.h"
#include "files/ntfs_volume.h"

namespace tb::ntfs {

struct PathStep {
    uint64_t record = 0;
    uint64_t parent = 0;
    std::string name;
};

// The best name of a record: its long name rather than the DOS short one;
// empty when it has no $FILE_NAME.
std::string record_name(const FileRecord& record, uint64_t* parent = nullptr);

// Follows $FILE_NAME parents from `record` to the root, with `prefix` in
// front ("D:" gives "D:\dir\file"). False with the reason when a record
// cannot be read, has no name, or the parents run in a loop ("File System
// Loop at MftId:0x%08I64X").
bool build_path(Volume& volume, uint64_t record, const std::string& prefix, std::vector<PathStep>& steps,
                std::string& path, std::string& error);

}  // namespace tb::ntfs
