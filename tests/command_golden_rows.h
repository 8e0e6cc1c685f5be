// The command table as the program must assemble it: every row's name (as
// written), statement class, protocol mask and the handler it runs today.
// kNS marks rows whose command is not implemented ("not supported"),
// kKeyword the two block keywords the interpreter executes itself.
#pragma once

#include <array>
#include <cstdint>

#include "app/process_commands.h"
#include "disk/ata_commands.h"
#include "disk/disk_commands.h"
#include "disk/nvme_commands.h"
#include "disk/report_commands.h"
#include "exttools/upload_command.h"
#include "exttools/viewer_commands.h"
#include "exttools/exec_command.h"
#include "files/ntfs_get_file_by_lba.h"
#include "files/ntfs_get_file_by_mft_id.h"
#include "files/ntfs_get_file_lba.h"
#include "files/file_commands.h"
#include "files/partition_create.h"
#include "files/partition_delete.h"
#include "files/partition_info.h"
#include "files/system_info.h"
#include "power/sleep_commands.h"
#include "power/rescan_driver.h"
#include "power/ssd_relink.h"
#include "power/hub_commands.h"
#include "power/relay_presence.h"
#include "power/ssd_power.h"
#include "power/pc_reboot.h"
#include "script/command_table.h"
#include "script/flow_commands.h"
#include "script/fn_script.h"
#include "script/sync_commands.h"
#include "script/utility_commands.h"
#include "ui/box_commands.h"
#include "ui/csv_commands.h"
#include "ui/font_list.h"
#include "ui/output_commands.h"
#include "vendor/vsc_commands.h"
#include "vendor/parse_commands.h"
#include "vendor/record_monitor_data.h"
#include "workload/compare_loops.h"
#include "workload/compare_overlap.h"
#include "workload/lba_commands.h"
#include "workload/map_commands.h"
#include "workload/perf_commands.h"
#include "workload/range_commands.h"

namespace tb::test {

struct GoldenRow {
    const char* name;
    StatementClass cls;
    uint32_t mask;
    Handler handler;
};

namespace golden {
using SC = StatementClass;
constexpr Handler kNS = cmd_not_supported;
constexpr Handler kKeyword = nullptr;
}  // namespace golden

// clang-format off
inline const std::array<GoldenRow, 229> kGoldenRows = [] {
    using namespace golden;
    return std::array<GoldenRow, 229>{{
        {"Exit", SC::Builtin, kMaskAny, cmd_Exit},
        {"If", SC::Conditional, kMaskAny, kKeyword},
        {"While", SC::Loop, kMaskAny, kKeyword},
        {"Break", SC::Builtin, kMaskAny, cmd_Break},
        {"Delay", SC::Builtin, kMaskAny, cmd_Delay},
        {"Print", SC::Builtin, kMaskAny, cmd_Print},
        {"PrintEx", SC::Builtin, kMaskAny, cmd_PrintEx},
        {"DiskList", SC::Builtin, kMaskAny, cmd_DiskList},
        {"Result", SC::Builtin, kMaskAny, cmd_Result},
        {"ResultHex", SC::Builtin, kMaskAny, cmd_ResultHex},
        {"ResultColumn", SC::Builtin, kMaskAny, cmd_ResultColumn},
        {"InitParam_Data", SC::Builtin, kMaskAny, cmd_InitParam_Data},
        {"InitParam_List", SC::Builtin, kMaskAny, cmd_InitParam_List},
        {"SyncInit", SC::Builtin, kMaskAny, cmd_SyncInit},
        {"SyncWait", SC::Builtin, kMaskAny, cmd_SyncWait},
        {"Report_Print", SC::Builtin, kMaskAny, cmd_Report_Print},
        {"SetStatusText", SC::Builtin, kMaskAny, cmd_SetStatusText},
        {"SetGlobalVar", SC::Builtin, kMaskAny, cmd_SetGlobalVar},
        {"GetGlobalVar", SC::Builtin, kMaskAny, cmd_GetGlobalVar},
        {"AutoRunOnStartup", SC::Builtin, kMaskAny, cmd_AutoRunOnStartup},
        {"CallFnScript", SC::Builtin, kMaskAny, cmd_CallFnScript},
        {"CancelFnScript", SC::Builtin, kMaskAny, cmd_CancelFnScript},
        {"FontList", SC::Builtin, kMaskAny, cmd_FontList},
        {"PCReBoot", SC::Builtin, kMaskAny, cmd_PCReBoot},
        {"Identify", SC::Device, kMaskNvme, cmd_nvme_Identify},
        {"Identify_Controller", SC::Device, kMaskNvme, cmd_Identify_Controller},
        {"Identify_Namespace", SC::Device, kMaskNvme, cmd_Identify_Namespace},
        {"Identify_ActiveNamespaceID", SC::Device, kMaskNvme, cmd_Identify_ActiveNamespaceID},
        {"Identify_DescriptorNamespac", SC::Device, kMaskNvme, cmd_Identify_DescriptorNamespac},
        {"GetLogPage", SC::Device, kMaskNvme, cmd_GetLogPage},
        {"GetLogPage_ErrorInfo", SC::Device, kMaskNvme, cmd_GetLogPage_ErrorInfo},
        {"GetLogPage_SMART", SC::Device, kMaskNvme, cmd_nvme_SMART},
        {"SMART", SC::Device, kMaskNvme, cmd_nvme_SMART},
        {"GetLogPage_FirmwareSlotInfo", SC::Device, kMaskNvme, cmd_GetLogPage_FirmwareSlotInfo},
        {"SafeRemoveNVMe", SC::Device, kMaskNvme, cmd_SafeRemoveNVMe},
        {"SecurErase", SC::Device, kMaskNvme, cmd_nvme_SecurErase},
        {"UpdateFW", SC::Device, kMaskNvme, cmd_nvme_UpdateFW},
        {"UpdateFWex", SC::Device, kMaskNvme, cmd_UpdateFWex},
        {"FWActive", SC::Device, kMaskNvme, cmd_nvme_FWActive},
        {"PCIInfo", SC::Device, kMaskNvme, cmd_PCIInfo},
        {"NVMe", SC::Device, kMaskNvme, cmd_NVMe},
        {"GetLogPage_CommandEffect", SC::Device, kMaskNvme, cmd_GetLogPage_CommandEffect},
        {"SetSystem_PCISpeed", SC::Device, kMaskNvme, cmd_SetSystem_PCISpeed},
        {"SetSystem_NVMeEnable", SC::Device, kMaskNvme, cmd_SetSystem_NVMeEnable},
        {"SetSystem_HMB", SC::Device, kMaskNvme, cmd_SetSystem_HMB},
        {"GetFeature", SC::Device, kMaskNvme, cmd_GetFeature},
        {"SetFeature", SC::Device, kMaskNvme, cmd_SetFeature},
        {"GetFeature_TemperatureTH", SC::Device, kMaskNvme, cmd_GetFeature_TemperatureTH},
        {"SetFeature_TemperatureTH", SC::Device, kMaskNvme, cmd_SetFeature_TemperatureTH},
        {"GetFeature_WriteCache", SC::Device, kMaskNvme, cmd_GetFeature_WriteCache},
        {"SetFeature_WriteCache", SC::Device, kMaskNvme, cmd_SetFeature_WriteCache},
        {"GetLogPage_Cdump", SC::Device, kMaskNvme, cmd_VSC_Cdump},
        {"VSC_Cdump", SC::Device, kMaskNvme, cmd_VSC_Cdump},
        {"SetVSCType", SC::Device, kMaskNvme, cmd_SetVSCType},
        {"VSC_GetMPinfo", SC::Device, kMaskNvme, cmd_VSC_GetMPinfo},
        {"VSC_GetFWconfig", SC::Device, kMaskNvme, cmd_VSC_GetFWconfig},
        {"VSC_SetFWconfig", SC::Device, kMaskNvme, cmd_VSC_SetFWconfig},
        {"VSC_GetDrvInfo", SC::Device, kMaskNvme, cmd_VSC_GetDrvInfo},
        {"VSC_GetMPOem", SC::Device, kMaskNvme, cmd_VSC_GetFWconfig},
        {"VSC_SetMPOem", SC::Device, kMaskNvme, cmd_VSC_SetFWconfig},
        {"VSC_GetGrownDefect", SC::Device, kMaskNvme, cmd_VSC_GetGrownDefect},
        {"VSC_KillFW", SC::Device, kMaskNvme, cmd_VSC_KillFW},
        {"VSC_CleanSMART", SC::Device, kMaskNvme, cmd_VSC_CleanSMART},
        {"VSC_FTLVirgin", SC::Device, kMaskNvme, cmd_VSC_FTLVirgin},
        {"VSC_GetEventLog", SC::Device, kMaskNvme, cmd_VSC_GetEventLog},
        {"VSC_KeepFRB", SC::Device, kMaskNvme, cmd_VSC_KeepFRB},
        {"VSC_BrandNew", SC::Device, kMaskNvme, cmd_VSC_BrandNew},
        {"VSC_GetOTPuid", SC::Device, kMaskNvme, cmd_VSC_GetOTPuid},
        {"VSC_GetVPDData", SC::Device, kMaskNvme, cmd_VSC_GetVPDData},
        {"VSC_GetReconstructionStatus", SC::Device, kMaskNvme, cmd_VSC_GetReconstructionStatus},
        {"VSC_ForceTo", SC::Device, kMaskNvme, cmd_VSC_ForceTo},
        {"VSC_SetThinCapacity", SC::Device, kMaskNvme, cmd_VSC_SetThinCapacity},
        {"VSC_CriticalLog", SC::Device, kMaskNvme, cmd_VSC_CriticalLog},
        {"VSC_GetSPIDbgInfo", SC::Device, kMaskNvme, cmd_VSC_GetSPIDbgInfo},
        {"SSDPowerOff", SC::Device, kMaskNvme, cmd_SSDPowerOff},
        {"SSDPowerOn", SC::Device, kMaskNvme, cmd_SSDPowerOn},
        {"SSDPowerReLink", SC::Device, kMaskNvme, cmd_SSDPowerReLink},
        {"MonitorData", SC::Device, kMaskNvme, cmd_MonitorData},
        {"Identify", SC::Device, kMaskAta, cmd_ata_Identify},
        {"IdentifyEx", SC::Device, kMaskAta, cmd_IdentifyEx},
        {"SMART", SC::Device, kMaskAta, cmd_ata_SMART},
        {"SMART_Offline", SC::Device, kMaskAta, cmd_SMART_Offline},
        {"UpdateFW", SC::Device, kMaskAta, cmd_ata_UpdateFW},
        {"FWActive", SC::Device, kMaskAta, cmd_ata_FWActive},
        {"ATA", SC::Device, kMaskAta, cmd_ATA},
        {"ATARead", SC::Device, kMaskAta, cmd_ATARead},
        {"ATAWrite", SC::Device, kMaskAta, cmd_ATAWrite},
        {"SecurErase", SC::Device, kMaskAta, cmd_ata_SecurErase},
        {"STBI", SC::Device, kMaskAta, cmd_STBI},
        {"IDLE", SC::Device, kMaskAta, cmd_IDLE},
        {"VSC_GetEventLog", SC::Device, kMaskAta, cmd_VSC_GetEventLog},
        {"VSC_GetDrvInfo", SC::Device, kMaskAta, cmd_VSC_GetDrvInfo},
        {"VSC_CleanEventLog", SC::Device, kMaskAta, cmd_VSC_CleanEventLog},
        {"VSC_GetFWconfig", SC::Device, kMaskAta, cmd_VSC_GetFWconfig},
        {"VSC_SetFWconfig", SC::Device, kMaskAta, cmd_VSC_SetFWconfig},
        {"VSC_GetMPinfo", SC::Device, kMaskAta, cmd_VSC_GetMPinfo},
        {"VSC_GetGrownDefect", SC::Device, kMaskAta, cmd_VSC_GetGrownDefect},
        {"VSC_CleanSMART", SC::Device, kMaskAta, cmd_VSC_CleanSMART},
        {"VSC_BrandNew", SC::Device, kMaskAta, cmd_VSC_BrandNew},
        {"VSC_KillFW", SC::Device, kMaskAta, cmd_VSC_KillFW},
        {"VSC_TrainDDREye", SC::Device, kMaskAta, cmd_VSC_TrainDDREye},
        {"VSC_KeepFRB", SC::Device, kMaskAta, cmd_VSC_KeepFRB},
        {"VSC_GetOTPuid", SC::Device, kMaskAta, cmd_VSC_GetOTPuid},
        {"VSC_ForceTo", SC::Device, kMaskAta, cmd_VSC_ForceTo},
        {"VSC_GetReconstructionStatus", SC::Device, kMaskAta, cmd_VSC_GetReconstructionStatus},
        {"SystemInfo", SC::Device, kMaskAny, cmd_SystemInfo},
        {"PartitionInfo", SC::Device, kMaskAny, cmd_PartitionInfo},
        {"Partition_Create", SC::Device, kMaskAny, cmd_Partition_Create},
        {"Partition_Delete", SC::Device, kMaskAny, cmd_Partition_Delete},
        {"LBARead", SC::Device, kMaskAny, cmd_LBARead},
        {"LBAWrite", SC::Device, kMaskAny, cmd_LBAWrite},
        {"TRIM", SC::Device, kMaskAny, cmd_TRIM},
        {"FlushCache", SC::Device, kMaskAny, cmd_FlushCache},
        {"Performance_SeqRead", SC::Device, kMaskAny, cmd_Performance_SeqRead},
        {"Performance_SeqWrite", SC::Device, kMaskAny, cmd_Performance_SeqWrite},
        {"Performance_RandRead", SC::Device, kMaskAny, cmd_Performance_RandRead},
        {"Performance_RandWrite", SC::Device, kMaskAny, cmd_Performance_RandWrite},
        {"Performance_MixReadWrite", SC::Device, kMaskAny, cmd_Performance_MixReadWrite},
        {"Performance_VideoStream", SC::Device, kMaskAny, cmd_Performance_VideoStream},
        {"JEDEC219A_Enterprise", SC::Device, kMaskAny, cmd_JEDEC219A_Enterprise},
        {"JEDEC219A_Client", SC::Device, kMaskAny, cmd_JEDEC219A_Client},
        {"Compare_SeqReadWrite", SC::Device, kMaskAny, cmd_Compare_SeqReadWrite},
        {"Compare_RandReadWrite", SC::Device, kMaskAny, cmd_Compare_RandReadWrite},
        {"Compare_WithPattern", SC::Device, kMaskAny, cmd_Compare_WithPattern},
        {"Compare_MapMake", SC::Device, kMaskAny, cmd_Compare_MapMake},
        {"Compare_MapWriteCompare", SC::Device, kMaskAny, cmd_Compare_MapWriteCompare},
        {"Compare_MapWrite", SC::Device, kMaskAny, cmd_Compare_MapWrite},
        {"Compare_MapCompare", SC::Device, kMaskAny, cmd_Compare_MapCompare},
        {"Compare_RandSizeOverlap", SC::Device, kMaskAny, cmd_Compare_RandSizeOverlap},
        {"Compare_MapAppend", SC::Device, kMaskAny, cmd_Compare_MapAppend},
        {"Compare_MapRecoverBasePattern", SC::Device, kMaskAny, cmd_Compare_MapRecoverBasePattern},
        {"FindLBA_ByPattern", SC::Device, kMaskAny, cmd_FindLBA_ByPattern},
        {"PowerState_S3S4", SC::Device, kMaskAny, cmd_PowerState_S3S4},
        {"OneShot_S3S4", SC::Device, kMaskAny, cmd_OneShot_S3S4},
        {"RelayPowerOff", SC::Device, kMaskAny, cmd_RelayPowerOff},
        {"RelayPowerOn", SC::Device, kMaskAny, cmd_RelayPowerOn},
        {"FullByPattern", SC::Device, kMaskAny, cmd_FullByPattern},
        {"FWbin_SetFWconfig", SC::Device, kMaskAny, cmd_FWbin_SetFWconfig},
        {"Parse_MPInfo", SC::Device, kMaskAny, cmd_Parse_MPInfo},
        {"Parse_FWconfig", SC::Device, kMaskAny, cmd_Parse_FWconfig},
        {"Parse_EventLog", SC::Device, kMaskAny, cmd_Parse_EventLog},
        {"Parse_CDump", SC::Device, kMaskAny, cmd_Parse_CDump},
        {"Parse_FileHex", SC::Device, kMaskAny, cmd_Parse_FileHex},
        {"Parse_CriticalLog", SC::Device, kMaskAny, cmd_Parse_CriticalLog},
        {"Parse_SMART", SC::Device, kMaskAny, cmd_Parse_SMART},
        {"Parse_DrvInfo", SC::Device, kMaskAny, cmd_Parse_DrvInfo},
        {"Parse_GrownDefect", SC::Device, kMaskAny, cmd_Parse_GrownDefect},
        {"Parse_DieGrownDefect", SC::Device, kMaskAny, cmd_Parse_DieGrownDefect},
        {"File_Copy", SC::Device, kMaskAny, cmd_File_Copy},
        {"File_Compare", SC::Device, kMaskAny, cmd_File_Compare},
        {"File_Delete", SC::Device, kMaskAny, cmd_File_Delete},
        {"File_FullByPattern", SC::Device, kMaskAny, cmd_File_FullByPattern},
        {"File_Write", SC::Device, kMaskAny, cmd_File_Write},
        {"File_Read", SC::Device, kMaskAny, cmd_File_Read},
        {"File_CompareWithPattern", SC::Device, kMaskAny, cmd_File_CompareWithPattern},
        {"ReScanDriver", SC::Device, kMaskAny, cmd_ReScanDriver},
        {"Exec", SC::Device, kMaskAny, cmd_Exec},
        {"CSV_ShowChart", SC::Device, kMaskAny, cmd_CSV_ShowChart},
        {"CSV_ShowTable", SC::Device, kMaskAny, cmd_CSV_ShowTable},
        {"Parse", SC::Device, kMaskAny, cmd_Parse},
        {"RDTResult", SC::Device, kMaskAny, cmd_RDTResult},
        {"MergeFW", SC::Device, kMaskAny, cmd_MergeFW},
        {"ChangeDisk", SC::Builtin, kMaskAny, cmd_ChangeDisk},
        {"MessageBox", SC::Builtin, kMaskAny, cmd_MessageBox},
        {"ComboBox", SC::Builtin, kMaskAny, cmd_ComboBox},
        {"NumberBox", SC::Builtin, kMaskAny, cmd_NumberBox},
        {"CheckListBox", SC::Builtin, kMaskAny, cmd_CheckListBox},
        {"InputBox", SC::Builtin, kMaskAny, cmd_InputBox},
        {"FileSelectBox", SC::Builtin, kMaskAny, cmd_FileSelectBox},
        {"GlobalLock", SC::Builtin, kMaskAny, cmd_GlobalLock},
        {"GlobalUnLock", SC::Builtin, kMaskAny, cmd_GlobalUnLock},
        {"SetErrorSkip", SC::Builtin, kMaskAny, cmd_SetErrorSkip},
        {"GetErrorCount", SC::Builtin, kMaskAny, cmd_GetErrorCount},
        {"SetErrorDesc", SC::Builtin, kMaskAny, cmd_SetErrorDesc},
        {"RandomValue", SC::Builtin, kMaskAny, cmd_RandomValue},
        {"StrToNumber", SC::Builtin, kMaskAny, cmd_StrToNumber},
        {"StrStr", SC::Builtin, kMaskAny, cmd_StrStr},
        {"StrCmp", SC::Builtin, kMaskAny, cmd_StrCmp},
        {"StrSub", SC::Builtin, kMaskAny, cmd_StrSub},
        {"BitValue", SC::Builtin, kMaskAny, cmd_BitValue},
        {"NumberToStr", SC::Builtin, kMaskAny, cmd_NumberToStr},
        {"StrLen", SC::Builtin, kMaskAny, cmd_StrLen},
        {"StrSplit", SC::Builtin, kMaskAny, cmd_StrSplit},
        {"ArrayLen", SC::Builtin, kMaskAny, cmd_ArrayLen},
        {"StrSetLen", SC::Builtin, kMaskAny, cmd_StrSetLen},
        {"StrReplace", SC::Builtin, kMaskAny, cmd_StrReplace},
        {"RunTime", SC::Builtin, kMaskAny, cmd_RunTime},
        {"DateTime", SC::Builtin, kMaskAny, cmd_DateTime},
        {"IsRAWDisk", SC::Builtin, kMaskAny, cmd_IsRAWDisk},
        {"IsROMDrive", SC::Builtin, kMaskAny, cmd_IsROMDrive},
        {"IsNVMEDisk", SC::Builtin, kMaskAny, cmd_IsNVMEDisk},
        {"IsFWCfgDisk", SC::Builtin, kMaskAny, cmd_IsFWCfgDisk},
        {"IsUSBPort", SC::Builtin, kMaskAny, cmd_IsUSBPort},
        {"IsWinOS", SC::Builtin, kMaskAny, cmd_IsWinOS},
        {"IsDiskExist", SC::Builtin, kMaskAny, cmd_IsDiskExist},
        {"IsFileExist", SC::Builtin, kMaskAny, cmd_IsFileExist},
        {"IsS3S4Running", SC::Builtin, kMaskAny, cmd_IsS3S4Running},
        {"IsRelayPowerOn", SC::Builtin, kMaskAny, cmd_IsRelayPowerOn},
        {"IsFnScriptRunning", SC::Builtin, kMaskAny, cmd_IsFnScriptRunning},
        {"Cls", SC::Builtin, kMaskAny, cmd_Cls},
        {"GetINIData", SC::Builtin, kMaskAny, cmd_GetINIData},
        {"SetINIData", SC::Builtin, kMaskAny, cmd_SetINIData},
        {"FileRename", SC::Builtin, kMaskAny, cmd_FileRename},
        {"File_JobState", SC::Builtin, kMaskAny, cmd_File_JobState},
        {"APFileName", SC::Builtin, kMaskAny, cmd_APFileName},
        {"GetFileSize", SC::Builtin, kMaskAny, cmd_GetFileSize},
        {"GetFileLBA", SC::Builtin, kMaskAny, cmd_GetFileLBA},
        {"GetFileByLBA", SC::Builtin, kMaskAny, cmd_GetFileByLBA},
        {"GetFileByMftId", SC::Builtin, kMaskAny, cmd_GetFileByMftId},
        {"ScpxFolder", SC::Builtin, kMaskAny, cmd_ScpxFolder},
        {"LogFolder", SC::Builtin, kMaskAny, cmd_GetLogFolder},
        {"GetLogFolder", SC::Builtin, kMaskAny, cmd_GetLogFolder},
        {"SetLogFolder", SC::Builtin, kMaskAny, cmd_SetLogFolder},
        {"LogUpload", SC::Builtin, kMaskAny, cmd_LogUpload},
        {"GetConfigType", SC::Builtin, kMaskAny, kNS},
        {"CSV_AddData", SC::Builtin, kMaskAny, cmd_CSV_AddData},
        {"MergeCSVs", SC::Builtin, kMaskAny, cmd_MergeCSVs},
        {"SetPowerHub", SC::Builtin, kMaskAny, cmd_SetPowerHub},
        {"moreViewer", SC::Builtin, kMaskAny, cmd_moreViewer},
        {"GetViewID", SC::Builtin, kMaskAny, cmd_GetViewID},
        {"LogView_Send", SC::Builtin, kMaskAny, cmd_LogView_Send},
        {"LogView_Wait", SC::Builtin, kMaskAny, cmd_LogView_Wait},
        {"VSC_GetSocID", SC::Builtin, kMaskAny, cmd_GetSocID},
        {"GetSocID", SC::Builtin, kMaskAny, cmd_GetSocID},
        {"Help", SC::Builtin, kMaskAny, cmd_Help},
        {"GetDiskInfo", SC::Builtin, kMaskAny, cmd_GetDiskInfo},
        {"ShowCLICmdHeader", SC::Builtin, kMaskAny, cmd_ShowCLICmdHeader},
        {"ConsoleOut", SC::Builtin, kMaskAny, cmd_ConsoleOut},
        {"IsRelayExisted", SC::Builtin, kMaskAny, cmd_IsRelayExisted},
    }};
}();
// clang-format on

}  // namespace tb::test
