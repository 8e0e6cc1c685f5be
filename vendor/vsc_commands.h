// The online vendor script commands: each sends the maker's vendor
// operations to the current target (NVMe by the disk's command-set
// selector, SATA by the vendor ATA protocol), prints what it read, saves
// the record in the job's log folder, and raises every failure through the
// error policy. A disk that does not speak the vendor protocol refuses the
// first operation: the command ends there with the transport's error and
// nothing else is sent.
#pragma once

#include <string>

namespace tb {

// Controller state.
void cmd_SetVSCType(int slot, const std::string& args, const std::string& name);
void cmd_VSC_BrandNew(int slot, const std::string& args, const std::string& name);
void cmd_VSC_CleanSMART(int slot, const std::string& args, const std::string& name);
void cmd_VSC_FTLVirgin(int slot, const std::string& args, const std::string& name);
void cmd_VSC_ForceTo(int slot, const std::string& args, const std::string& name);
void cmd_VSC_KillFW(int slot, const std::string& args, const std::string& name);
void cmd_VSC_KeepFRB(int slot, const std::string& args, const std::string& name);
void cmd_VSC_SetThinCapacity(int slot, const std::string& args, const std::string& name);
void cmd_VSC_CleanEventLog(int slot, const std::string& args, const std::string& name);  // ATA only
void cmd_VSC_TrainDDREye(int slot, const std::string& args, const std::string& name);    // ATA only

// Records read.
void cmd_VSC_GetDrvInfo(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetFWconfig(int slot, const std::string& args, const std::string& name);  // also VSC_GetMPOem
void cmd_VSC_SetFWconfig(int slot, const std::string& args, const std::string& name);  // also VSC_SetMPOem
void cmd_VSC_GetMPinfo(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetGrownDefect(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetOTPuid(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetReconstructionStatus(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetVPDData(int slot, const std::string& args, const std::string& name);

// Logs.
void cmd_VSC_GetEventLog(int slot, const std::string& args, const std::string& name);
void cmd_VSC_CriticalLog(int slot, const std::string& args, const std::string& name);
void cmd_VSC_GetSPIDbgInfo(int slot, const std::string& args, const std::string& name);
void cmd_VSC_Cdump(int slot, const std::string& args, const std::string& name);  // also GetLogPage_Cdump

}  // namespace tb
