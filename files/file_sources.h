// The pairs of files a copy or compare works on: one file and its
// counterpart, or every file of a folder (or of a wildcard name) with the
// file of the same name in the destination folder.
#pragma once

#include <string>
#include <vector>

namespace tb {

struct FilePair {
    std::string source;
    std::string destination;
};

struct FilePairs {
    bool source_found = false;  // false: "Source is not exist"
    bool many = false;          // a folder or a wildcard: the destination is a folder
    std::vector<FilePair> pairs;
};

// The pairs for `source` and `destination` (both full paths). A single file
// copied or compared to an existing folder goes into that folder under its
// own name.
FilePairs file_pairs(const std::string& source, const std::string& destination);

}  // namespace tb
