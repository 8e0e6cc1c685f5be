// The NVMe script commands built on the transports: the generic `NVMe`
// command, raw log pages, features, firmware download and commit, the
// user-data erase, device removal and enable, and the PCIe settings.
// FWActive, UpdateFW and SecurErase have ATA namesakes; the command table
// offers these forms for the NVMe family.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_record.h"

namespace tb {

void cmd_NVMe(int slot, const std::string& args, const std::string& name);
void cmd_GetLogPage(int slot, const std::string& args, const std::string& name);
void cmd_GetFeature(int slot, const std::string& args, const std::string& name);
void cmd_SetFeature(int slot, const std::string& args, const std::string& name);
void cmd_GetFeature_TemperatureTH(int slot, const std::string& args, const std::string& name);
void cmd_SetFeature_TemperatureTH(int slot, const std::string& args, const std::string& name);
void cmd_GetFeature_WriteCache(int slot, const std::string& args, const std::string& name);
void cmd_SetFeature_WriteCache(int slot, const std::string& args, const std::string& name);
void cmd_nvme_FWActive(int slot, const std::string& args, const std::string& name);
void cmd_nvme_UpdateFW(int slot, const std::string& args, const std::string& name);  // also UpdateFWex
void cmd_UpdateFWex(int slot, const std::string& args, const std::string& name);
void cmd_nvme_SecurErase(int slot, const std::string& args, const std::string& name);
void cmd_SafeRemoveNVMe(int slot, const std::string& args, const std::string& name);
void cmd_SetSystem_NVMeEnable(int slot, const std::string& args, const std::string& name);
void cmd_SetSystem_HMB(int slot, const std::string& args, const std::string& name);
void cmd_SetSystem_PCISpeed(int slot, const std::string& args, const std::string& name);
void cmd_PCIInfo(int slot, const std::string& args, const std::string& name);

}  // namespace tb
