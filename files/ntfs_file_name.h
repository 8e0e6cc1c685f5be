// The value of a $FILE_NAME attribute (and the key of a directory's index
// entries): the parent directory's record and the name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tb::ntfs {

constexpr uint8_t kNamespaceDos = 2;  // the short 8.3 name beside a long one

struct FileName {
    uint64_t parent = 0;   // record number
    uint8_t name_space = 0;
    std::string name;      // UTF-8
};

// nullopt when the value is too short for its name.
std::optional<FileName> decode_file_name(std::span<const uint8_t> value);

}  // namespace tb::ntfs
