// Partition type codes and their names, for both table schemes: which type
// a new partition gets for the file system it will carry, and the name
// shown for a type read from a table.
#pragma once

#include <string>
#include <string_view>

#include "platform/partition_table.h"

namespace tb {

// GPT type GUIDs in their text form (upper case).
inline constexpr std::string_view kGptBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
inline constexpr std::string_view kGptLinuxData = "0FC63DAF-8483-4772-8E79-3D69D8477DE4";

// The type code of a new partition: a GPT type GUID, or the MBR type as two
// hex digits ("07"). Windows file systems (NTFS, exFAT, FAT) and no file
// system get the Windows data type; the others the Linux data type.
std::string partition_type_for(std::string_view file_system, PartitionScheme scheme);

// The name of a type code of `scheme`; empty for an unknown one.
std::string partition_type_name(std::string_view type_code, PartitionScheme scheme);

}  // namespace tb
