// Partition_Create( SizeMB:0, FileSystem:"NTFS", Letter:"", Style:"GPT", Label:"" ):
// a new GPT or MBR table on the job's raw disk with one partition of
// SizeMB (0: the whole disk), formatted with FileSystem (without the
// argument: NTFS where the machine can make it, else its first file
// system; "NONE" leaves it unformatted) and given the drive Letter where
// the machine has letters. Refused on the system disk, on a mounted disk
// and on a disk that already has partitions. Afterwards the disk table
// holds the disk's new state. The result is the partition's number.
#pragma once

#include <string>

namespace tb {

void cmd_Partition_Create(int slot, const std::string& args, const std::string& name);

}  // namespace tb
