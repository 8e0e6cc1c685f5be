// Which file record owns a volume sector: the $MFT record lying there, or
// the first record in use with a non-resident attribute whose runs cover it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "files/ntfs_volume.h"

namespace tb::ntfs {

enum class OwnerArea { None, MftNode, RunList };

struct Owner {
    OwnerArea area = OwnerArea::None;
    uint64_t record = 0;     // the base record of the owner
    uint32_t attribute = 0;  // RunList: the attribute's type
    std::string stream;      // RunList: the attribute's name
};

// Looks for the owner of volume sector `sector`; `stop` (may be empty) is
// asked between pieces of the table and ends the search when it says so.
// False with the reason when a record in use cannot be decoded.
bool find_owner(Volume& volume, uint64_t sector, Owner& out, std::string& error,
                const std::function<bool()>& stop = {});

}  // namespace tb::ntfs
