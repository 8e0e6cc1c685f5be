// The job-log lines of the NTFS commands: the volume's start, the $MFT's
// mapping table, one MFT record with its attributes, and the details of a
// record's attributes (runs, index records, resident data).
#pragma once

#include <cstdint>
#include <string>

#include "files/ntfs_file_record.h"
#include "files/ntfs_job_volume.h"

namespace tb::ntfs {

void print_volume_start(int slot, const JobVolume& v);
void print_mft_map(int slot, const JobVolume& v);

// Reads record `number`, printing its place, signature and attributes. False
// with the reason (not yet printed) when it cannot be read or decoded.
bool print_record(int slot, JobVolume& v, uint64_t number, FileRecord& out, std::string& reason);

// "Detail of Attrib" for the last attribute of each type (named $DATA
// streams left out). False with the reason when an index record fails.
bool print_details(int slot, JobVolume& v, const FileRecord& record, std::string& reason);

}  // namespace tb::ntfs
