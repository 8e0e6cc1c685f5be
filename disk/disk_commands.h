// Disk selection and identity commands: DiskList, ChangeDisk, GetDiskInfo,
// GetSocID / VSC_GetSocID and the Is... queries about the current target.
#pragma once

#include <string>
#include <vector>

namespace tb {

void cmd_DiskList(int slot, const std::string& args, const std::string& name);
void cmd_ChangeDisk(int slot, const std::string& args, const std::string& name);
void cmd_GetDiskInfo(int slot, const std::string& args, const std::string& name);
void cmd_GetSocID(int slot, const std::string& args, const std::string& name);  // also VSC_GetSocID
void cmd_IsDiskExist(int slot, const std::string& args, const std::string& name);
void cmd_IsNVMEDisk(int slot, const std::string& args, const std::string& name);
void cmd_IsRAWDisk(int slot, const std::string& args, const std::string& name);
void cmd_IsUSBPort(int slot, const std::string& args, const std::string& name);
void cmd_IsROMDrive(int slot, const std::string& args, const std::string& name);
void cmd_IsFWCfgDisk(int slot, const std::string& args, const std::string& name);
void cmd_IsWinOS(int slot, const std::string& args, const std::string& name);

// One entry of the disk selection offered by ChangeDisk without a name.
struct DiskChoice {
    std::string text;           // the row as shown
    std::string physical_path;  // what choosing it selects
};

// The rows of the disk selection: every disk of the last scan, its volumes
// indented below it, as the start dialog shows them.
std::vector<DiskChoice> disk_choices();

}  // namespace tb
