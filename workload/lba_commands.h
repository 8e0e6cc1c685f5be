// Single LBA commands on the job's disk: synchronous reads and writes of a
// few sectors, trim of a range, and a cache flush.
#pragma once

#include <string>

namespace tb {

// LBARead( LBA | VLBA | VLCN, SectorCount, Times, SaveFile )
void cmd_LBARead(int slot, const std::string& args, const std::string& name);
// LBAWrite( LBA, SectorCount, WritePattern, MarkSectorHeader, FUA ) or LBAWrite( LBA, File )
void cmd_LBAWrite(int slot, const std::string& args, const std::string& name);
// TRIM( LBA, TRIMSectorCount ): 0 sectors trims to the end of the disk.
void cmd_TRIM(int slot, const std::string& args, const std::string& name);
void cmd_FlushCache(int slot, const std::string& args, const std::string& name);

// Trims [lba, lba + sectors) of a disk (clamped to its end; 0 sectors: to the
// end): an ATA DATA SET MANAGEMENT through a USB-ATA bridge, the block
// layer's discard elsewhere. Returns 1 or a negative code.
struct DiskRecord;
int trim_disk_range(const DiskRecord& disk, uint64_t lba, uint64_t sectors);

}  // namespace tb
