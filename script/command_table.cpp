#include "script/command_table.h"

#include <array>

#include "common/text.h"
#include "script/error_policy.h"
#include "app/process_commands.h"
#include "disk/ata_commands.h"
#include "disk/disk_commands.h"
#include "disk/nvme_commands.h"
#include "script/flow_commands.h"
#include "script/fn_script.h"
#include "script/sync_commands.h"
#include "script/utility_commands.h"
#include "ui/output_commands.h"
#include "workload/lba_commands.h"
#include "disk/report_commands.h"
#include "workload/perf_commands.h"

namespace tb {

void cmd_not_supported(int slot, const std::string& args, const std::string& name) {
    raise_error(slot, kErrNotSupported, name);
}

namespace {

using SC = StatementClass;
constexpr Handler kNone = nullptr;
constexpr Handler kNS = cmd_not_supported;

// One row per script command, in lookup order. The built-ins come first (with
// the two block keywords among them), then the device commands of the NVMe
// family, of the ATA family and of any disk, then the remaining built-ins.
constexpr std::array<CommandEntry, 229> kCommands = {{
    // Built-ins, first group.
    {"Exit", SC::Builtin, kMaskAny, cmd_Exit, "Exit( ErrCode:0x00, ErrDesc:\"\" );"},
    {"If", SC::Conditional, kMaskAny, kNone, "If( x == 1 ){ ... } else if( x == 2 ){ ... } else { ... }"},
    {"While", SC::Loop, kMaskAny, kNone, "While( i < 10 ){ ... i++; }"},
    {"Break", SC::Builtin, kMaskAny, cmd_Break, "Break();"},
    {"Delay", SC::Builtin, kMaskAny, cmd_Delay, "Delay(sec:1);"},
    {"Print", SC::Builtin, kMaskAny, cmd_Print, "Print( LeftAlign:FALSE, Output:\"Test\");"},
    {"PrintEx", SC::Builtin, kMaskAny, cmd_PrintEx,
     "PrintEx( LeftAlign:FALSE, FontSize:10, Color:\"WHITE\", Output:\"Test\");"},
    {"DiskList", SC::Builtin, kMaskAny, cmd_DiskList,
     "DiskList( ShowVolumn:FALSE, Column:FALSE, Filter:\"\", Master:TRUE );"},
    {"Result", SC::Builtin, kMaskAny, cmd_Result,
     "Result( KeyWord:\"Model Number\", ShowResult:TRUE, CovertType:\"AUTO\", Default:\"\" );"},
    {"ResultHex", SC::Builtin, kMaskAny, cmd_ResultHex,
     "ResultHex( ByteStart:0, Len:4, HexParse:\"Num\", ShowResult:TRUE, SaveFile:\"\" );"},
    {"ResultColumn", SC::Builtin, kMaskAny, cmd_ResultColumn,
     "ResultColumn( KeyWord:\"01\", Colume:2, ShowResult:TRUE, CovertType:\"AUTO\" );"},
    {"InitParam_Data", SC::Builtin, kMaskAny, cmd_InitParam_Data,
     "InitParam_Data( KeyWord:\"Init_Param0\", ShowResult:TRUE, CovertType:\"Auto\", Default:\"\" );"},
    {"InitParam_List", SC::Builtin, kMaskAny, cmd_InitParam_List, "InitParam_List( ShowResult:TRUE );"},
    {"SyncInit", SC::Builtin, kMaskAny, cmd_SyncInit, "SyncInit( DelaySec:0 );"},
    {"SyncWait", SC::Builtin, kMaskAny, cmd_SyncWait, "SyncWait( TimeoutSec:0 );"},
    {"Report_Print", SC::Builtin, kMaskAny, cmd_Report_Print,
     "Report_Print( File:\"\", Output:\"\", Append:TRUE );"},
    {"SetStatusText", SC::Builtin, kMaskAny, cmd_SetStatusText, "SetStatusText( Status:\"\", Progress:0 );"},
    {"SetGlobalVar", SC::Builtin, kMaskAny, cmd_SetGlobalVar, "SetGlobalVar( Name:\"Var1\", Value:0 );"},
    {"GetGlobalVar", SC::Builtin, kMaskAny, cmd_GetGlobalVar, "GetGlobalVar( Name:\"Var1\" );"},
    {"AutoRunOnStartup", SC::Builtin, kMaskAny, cmd_AutoRunOnStartup, "AutoRunOnStartup();"},
    {"CallFnScript", SC::Builtin, kMaskAny, cmd_CallFnScript,
     "CallFnScript( File:\"Sub.scpt\", Param:\"\", WaitFinish:TRUE, AutoClose:TRUE );"},
    {"CancelFnScript", SC::Builtin, kMaskAny, cmd_CancelFnScript, "CancelFnScript();"},
    {"FontList", SC::Builtin, kMaskAny, kNS, "FontList();"},
    {"PCReBoot", SC::Builtin, kMaskAny, kNS,
     "PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:TRUE );"},

    // Device commands of the NVMe family.
    {"Identify", SC::Device, kMaskNvme, cmd_nvme_Identify, "Identify( Items:\"\" );"},
    {"Identify_Controller", SC::Device, kMaskNvme, cmd_Identify_Controller, "Identify_Controller( StartByte:0, EndByte:4095 );"},
    {"Identify_Namespace", SC::Device, kMaskNvme, cmd_Identify_Namespace, "Identify_Namespace( StartByte:0, EndByte:4095 );"},
    {"Identify_ActiveNamespaceID", SC::Device, kMaskNvme, cmd_Identify_ActiveNamespaceID, "Identify_ActiveNamespaceID();"},
    {"Identify_DescriptorNamespac", SC::Device, kMaskNvme, cmd_Identify_DescriptorNamespac, "Identify_DescriptorNamespac();"},
    {"GetLogPage", SC::Device, kMaskNvme, cmd_GetLogPage, "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:0 );"},
    {"GetLogPage_ErrorInfo", SC::Device, kMaskNvme, cmd_GetLogPage_ErrorInfo, "GetLogPage_ErrorInfo();"},
    {"GetLogPage_SMART", SC::Device, kMaskNvme, cmd_nvme_SMART, "GetLogPage_SMART( ShowVendor:FALSE, Items:\"\" );"},
    {"SMART", SC::Device, kMaskNvme, cmd_nvme_SMART, "SMART( ShowVSC:FALSE, Items:\"\" );"},
    {"GetLogPage_FirmwareSlotInfo", SC::Device, kMaskNvme, cmd_GetLogPage_FirmwareSlotInfo, "GetLogPage_FirmwareSlotInfo();"},
    {"SafeRemoveNVMe", SC::Device, kMaskNvme, cmd_SafeRemoveNVMe, "SafeRemoveNVMe();"},
    {"SecurErase", SC::Device, kMaskNvme, cmd_nvme_SecurErase, "SecurErase( ConfirmMsg:TRUE );"},
    {"UpdateFW", SC::Device, kMaskNvme, cmd_nvme_UpdateFW,
     "UpdateFW( File:\"FW.bin\", Slot:1, Commit:0, AutoReset:TRUE, ExtDelay:0, KeepSSDcfg:FALSE, "
     "FWCfgItem:\"\", "
     "SetValue:\"\" );"},
    {"UpdateFWex", SC::Device, kMaskNvme, cmd_UpdateFWex,
     "UpdateFWex( File:\"FW.bin\", Slot:1, Commit:0, AutoReset:TRUE, ExtDelay:0, KeepSSDcfg:FALSE, "
     "FWCfgItem:\"\", "
     "SetValue:\"\" );"},
    {"FWActive", SC::Device, kMaskNvme, cmd_nvme_FWActive, "FWActive( Slot:1, Commit:1 );"},
    {"PCIInfo", SC::Device, kMaskNvme, cmd_PCIInfo, "PCIInfo( ExtData:FALSE );"},
    {"NVMe", SC::Device, kMaskNvme, cmd_NVMe,
     "NVMe( IO:\"IN\", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x01, CDW11:0, CDW12:0, CDW13:0, "
     "CDW14:0, "
     "CDW15:0, IOFile:\"\", ResultHex:\"\" );"},
    {"GetLogPage_CommandEffect", SC::Device, kMaskNvme, cmd_GetLogPage_CommandEffect, "GetLogPage_CommandEffect();"},
    {"SetSystem_PCISpeed", SC::Device, kMaskNvme, cmd_SetSystem_PCISpeed, "SetSystem_PCISpeed( Gen:3 );"},
    {"SetSystem_NVMeEnable", SC::Device, kMaskNvme, cmd_SetSystem_NVMeEnable, "SetSystem_NVMeEnable( Enable:TRUE );"},
    {"SetSystem_HMB", SC::Device, kMaskNvme, cmd_SetSystem_HMB, "SetSystem_HMB( HmbSet:7 );"},
    {"GetFeature", SC::Device, kMaskNvme, cmd_GetFeature, "GetFeature( FeatureId:0x06 );"},
    {"SetFeature", SC::Device, kMaskNvme, cmd_SetFeature, "SetFeature( FeatureId:0x06, Save:FALSE, CDW11:0x01 );"},
    {"GetFeature_TemperatureTH", SC::Device, kMaskNvme, cmd_GetFeature_TemperatureTH, "GetFeature_TemperatureTH();"},
    {"SetFeature_TemperatureTH", SC::Device, kMaskNvme, cmd_SetFeature_TemperatureTH,
     "SetFeature_TemperatureTH( KTemperature1:343, KTemperature2:353 );"},
    {"GetFeature_WriteCache", SC::Device, kMaskNvme, cmd_GetFeature_WriteCache, "GetFeature_WriteCache();"},
    {"SetFeature_WriteCache", SC::Device, kMaskNvme, cmd_SetFeature_WriteCache, "SetFeature_WriteCache( Enable:1 );"},
    {"GetLogPage_Cdump", SC::Device, kMaskNvme, kNS, "GetLogPage_Cdump( SaveFile:\"\", Encode:FALSE );"},
    {"VSC_Cdump", SC::Device, kMaskNvme, kNS, "VSC_Cdump( SaveFile:\"\", Encode:FALSE );"},
    {"SetVSCType", SC::Device, kMaskNvme, kNS, "SetVSCType( iVSCType:0 );"},
    {"VSC_GetMPinfo", SC::Device, kMaskNvme, kNS,
     "VSC_GetMPinfo( DefectList:FALSE, NCB:0, MPInfoItem:\"\", ShowOffset:FALSE );"},
    {"VSC_GetFWconfig", SC::Device, kMaskNvme, kNS, "VSC_GetFWconfig( FWCfgItem:\"\", ShowOffset:FALSE );"},
    {"VSC_SetFWconfig", SC::Device, kMaskNvme, kNS,
     "VSC_SetFWconfig( FWCfgItem:\"vendor_model_name\", SetValue:\"\" );"},
    {"VSC_GetDrvInfo", SC::Device, kMaskNvme, kNS, "VSC_GetDrvInfo( Source:0 );"},
    {"VSC_GetMPOem", SC::Device, kMaskNvme, kNS, "VSC_GetMPOem( FWCfgItem:\"\", ShowOffset:FALSE );"},
    {"VSC_SetMPOem", SC::Device, kMaskNvme, kNS,
     "VSC_SetMPOem( FWCfgItem:\"vendor_model_name\", SetValue:\"\" );"},
    {"VSC_GetGrownDefect", SC::Device, kMaskNvme, kNS, "VSC_GetGrownDefect();"},
    {"VSC_KillFW", SC::Device, kMaskNvme, kNS, "VSC_KillFW( ConfirmMsg:TRUE );"},
    {"VSC_CleanSMART", SC::Device, kMaskNvme, kNS, "VSC_CleanSMART();"},
    {"VSC_FTLVirgin", SC::Device, kMaskNvme, kNS, "VSC_FTLVirgin( ConfirmMsg:TRUE );"},
    {"VSC_GetEventLog", SC::Device, kMaskNvme, kNS,
     "VSC_GetEventLog( SaveFile:\"\", DecodeType:0, TarFile:\"\", ByCmd:0 );"},
    {"VSC_KeepFRB", SC::Device, kMaskNvme, kNS, "VSC_KeepFRB();"},
    {"VSC_BrandNew", SC::Device, kMaskNvme, kNS, "VSC_BrandNew( ConfirmMsg:TRUE );"},
    {"VSC_GetOTPuid", SC::Device, kMaskNvme, kNS, "VSC_GetOTPuid();"},
    {"VSC_GetVPDData", SC::Device, kMaskNvme, kNS, "VSC_GetVPDData();"},
    {"VSC_GetReconstructionStatus", SC::Device, kMaskNvme, kNS, "VSC_GetReconstructionStatus();"},
    {"VSC_ForceTo", SC::Device, kMaskNvme, kNS, "VSC_ForceTo( iFWMode:0 );"},
    {"VSC_SetThinCapacity", SC::Device, kMaskNvme, kNS, "VSC_SetThinCapacity( SizeGB:0 );"},
    {"VSC_CriticalLog", SC::Device, kMaskNvme, kNS, "VSC_CriticalLog( SaveFile:\"\", Decode:TRUE );"},
    {"VSC_GetSPIDbgInfo", SC::Device, kMaskNvme, kNS, "VSC_GetSPIDbgInfo( SaveFile:\"\" );"},
    {"SSDPowerOff", SC::Device, kMaskNvme, kNS, "SSDPowerOff( DelayRunSec:0, Port:0 );"},
    {"SSDPowerOn", SC::Device, kMaskNvme, kNS, "SSDPowerOn( TimeoutSec:20, Port:0);"},
    {"SSDPowerReLink", SC::Device, kMaskNvme, kNS, "SSDPowerReLink( TimeoutSec:20, Port:0);"},
    {"MonitorData", SC::Device, kMaskNvme, kNS,
     "MonitorData( IntervalSec:1, LimitTimeSec:60, SaveFile:\"\" );"},

    // Device commands of the ATA family.
    {"Identify", SC::Device, kMaskAta, cmd_ata_Identify, "Identify( Items:\"\" );"},
    {"IdentifyEx", SC::Device, kMaskAta, cmd_IdentifyEx, "IdentifyEx( StartWord:0, EndWord:255 );"},
    {"SMART", SC::Device, kMaskAta, cmd_ata_SMART, "SMART( Items:\"\" );"},
    {"SMART_Offline", SC::Device, kMaskAta, cmd_SMART_Offline, "SMART_Offline( SelfTest:1 );"},
    {"UpdateFW", SC::Device, kMaskAta, cmd_ata_UpdateFW, "UpdateFW( File:\"FW.bin\", ActiveNow:FALSE );"},
    {"FWActive", SC::Device, kMaskAta, cmd_ata_FWActive, "FWActive();"},
    {"ATA", SC::Device, kMaskAta, cmd_ATA,
     "ATA( IO:\"IN\", ATACmd:0xEC, Feature:0, SectorCount:1, Low:0, Mid:0, High:0, ExLow:0, ExMid:0, "
     "ExHigh:0 );"},
    {"ATARead", SC::Device, kMaskAta, cmd_ATARead, "ATARead( LBA:0, SectorCount:1, ATA_RMode:\"PIO\" );"},
    {"ATAWrite", SC::Device, kMaskAta, cmd_ATAWrite,
     "ATAWrite( LBA:0, SectorCount:1, WritePattern:0x55AA33CC, MarkSectorHeader:TRUE, ATA_WMode:\"PIO\" );"},
    {"SecurErase", SC::Device, kMaskAta, cmd_ata_SecurErase, "SecurErase( ConfirmMsg:TRUE );"},
    {"STBI", SC::Device, kMaskAta, cmd_STBI, "STBI();"},
    {"IDLE", SC::Device, kMaskAta, cmd_IDLE, "IDLE();"},
    {"VSC_GetEventLog", SC::Device, kMaskAta, kNS,
     "VSC_GetEventLog( SaveFile:\"\", DecodeType:0, TarFile:\"\", ByCmd:0 );"},
    {"VSC_GetDrvInfo", SC::Device, kMaskAta, kNS, "VSC_GetDrvInfo( Source:0 );"},
    {"VSC_CleanEventLog", SC::Device, kMaskAta, kNS, "VSC_CleanEventLog();"},
    {"VSC_GetFWconfig", SC::Device, kMaskAta, kNS, "VSC_GetFWconfig( FWCfgItem:\"\", ShowOffset:FALSE );"},
    {"VSC_SetFWconfig", SC::Device, kMaskAta, kNS,
     "VSC_SetFWconfig( FWCfgItem:\"vendor_model_name\", SetValue:\"\" );"},
    {"VSC_GetMPinfo", SC::Device, kMaskAta, kNS,
     "VSC_GetMPinfo( DefectList:FALSE, NCB:0, MPInfoItem:\"\", ShowOffset:FALSE );"},
    {"VSC_GetGrownDefect", SC::Device, kMaskAta, kNS, "VSC_GetGrownDefect();"},
    {"VSC_CleanSMART", SC::Device, kMaskAta, kNS, "VSC_CleanSMART();"},
    {"VSC_BrandNew", SC::Device, kMaskAta, kNS, "VSC_BrandNew( ConfirmMsg:TRUE );"},
    {"VSC_KillFW", SC::Device, kMaskAta, kNS, "VSC_KillFW( ConfirmMsg:TRUE );"},
    {"VSC_TrainDDREye", SC::Device, kMaskAta, kNS, "VSC_TrainDDREye();"},
    {"VSC_KeepFRB", SC::Device, kMaskAta, kNS, "VSC_KeepFRB();"},
    {"VSC_GetOTPuid", SC::Device, kMaskAta, kNS, "VSC_GetOTPuid();"},
    {"VSC_ForceTo", SC::Device, kMaskAta, kNS, "VSC_ForceTo( iFWMode:0 );"},
    {"VSC_GetReconstructionStatus", SC::Device, kMaskAta, kNS, "VSC_GetReconstructionStatus();"},

    // Device commands for any disk.
    {"SystemInfo", SC::Device, kMaskAny, kNS, "SystemInfo();"},
    {"PartitionInfo", SC::Device, kMaskAny, kNS, "PartitionInfo();"},
    {"Partition_Create", SC::Device, kMaskAny, kNS,
     "Partition_Create( SizeMB:0, FileSystem:\"NTFS\", Letter:\"\" );"},
    {"Partition_Delete", SC::Device, kMaskAny, kNS, "Partition_Delete( ConfirmMsg:TRUE );"},
    {"LBARead", SC::Device, kMaskAny, cmd_LBARead, "LBARead( LBA:128, SectorCount:1, Times:1, SaveFile:\"\" );"},
    {"LBAWrite", SC::Device, kMaskAny, cmd_LBAWrite,
     "LBAWrite( LBA:128, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, FUA:FALSE );"},
    {"TRIM", SC::Device, kMaskAny, cmd_TRIM, "TRIM( LBA:128, TRIMSectorCount:1 );"},
    {"FlushCache", SC::Device, kMaskAny, cmd_FlushCache, "FlushCache();"},
    {"Performance_SeqRead", SC::Device, kMaskAny, cmd_Performance_SeqRead,
     "Performance_SeqRead( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, LimitCycle:1, LimitTimeSec:0, "
     "DotPerSec:1, "
     "GetTemperatureSec:0 );"},
    {"Performance_SeqWrite", SC::Device, kMaskAny, cmd_Performance_SeqWrite,
     "Performance_SeqWrite( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, WritePattern:\"AUTO\", "
     "LimitCycle:1, "
     "LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );"},
    {"Performance_RandRead", SC::Device, kMaskAny, cmd_Performance_RandRead,
     "Performance_RandRead( LBA:0, RangeLenMB:0, AccessKB:4, QD:32, LimitTxSizeMB:\"CYCLE\", LimitTimeSec:0, "
     "DotPerSec:1, GetTemperatureSec:0 );"},
    {"Performance_RandWrite", SC::Device, kMaskAny, cmd_Performance_RandWrite,
     "Performance_RandWrite( LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, WritePattern:\"AUTO\", "
     "LimitTxSizeMB:\"CYCLE\", LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );"},
    {"Performance_MixReadWrite", SC::Device, kMaskAny, cmd_Performance_MixReadWrite,
     "Performance_MixReadWrite( WriteRatio:25, RandRatio:50, LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, "
     "WritePattern:\"AUTO\", LimitTxSizeMB:1024, LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );"},
    {"Performance_VideoStream", SC::Device, kMaskAny, cmd_Performance_VideoStream,
     "Performance_VideoStream( LBA:0, RangeLenMB:0, AccessKB:8192, WritePattern:\"AUTO\", FrameHead:TRUE, "
     "LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );"},
    {"JEDEC219A_Enterprise", SC::Device, kMaskAny, cmd_JEDEC219A_Enterprise,
     "JEDEC219A_Enterprise( LBA:0, RangeLenMB:0, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:1024, "
     "LimitTimeSec:0 );"},
    {"JEDEC219A_Client", SC::Device, kMaskAny, cmd_JEDEC219A_Client,
     "JEDEC219A_Client( File:\"\", LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );"},
    {"Compare_SeqReadWrite", SC::Device, kMaskAny, kNS,
     "Compare_SeqReadWrite( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, WritePattern:\"AUTO\", "
     "LimitCycle:1, "
     "LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:0, FuaRatio:0, FlushRatio:0, nWrite1Read:1 );"},
    {"Compare_RandReadWrite", SC::Device, kMaskAny, kNS,
     "Compare_RandReadWrite( LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, WritePattern:\"AUTO\", "
     "LimitTxSizeMB:\"CYCLE\", LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:0, FuaRatio:0, FlushRatio:0 "
     ");"},
    {"Compare_WithPattern", SC::Device, kMaskAny, kNS,
     "Compare_WithPattern( LBA:0, RangeSector:1, ComparePattern:0x55AA33CC, MarkSectorHeader:TRUE, "
     "AccessKB:16384 );"},
    {"Compare_MapMake", SC::Device, kMaskAny, kNS,
     "Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:1024, AccessKB:4, LimitTxSizeMB:1024, TrimRatio:0, "
     "FuaRatio:0, FlushRatio:0 );"},
    {"Compare_MapWriteCompare", SC::Device, kMaskAny, kNS,
     "Compare_MapWriteCompare( LBAMap:\"\", QD:32, WritePattern:\"AUTO\", StepRun:0, StepDelay:0 );"},
    {"Compare_MapWrite", SC::Device, kMaskAny, kNS,
     "Compare_MapWrite( LBAMap:\"\", QD:32, WritePattern:0x55AA33CC, StepRun:0, StepDelay:0 );"},
    {"Compare_MapCompare", SC::Device, kMaskAny, kNS,
     "Compare_MapCompare( LBAMap:\"\", BasePattern:0, WritePattern:0x55AA33CC );"},
    {"Compare_RandSizeOverlap", SC::Device, kMaskAny, kNS,
     "Compare_RandSizeOverlap( LBA:0, RangeLenMB:1024, QD:32, RandAccessKB:\"AUTO\", RandRatio:5, "
     "OverRatio:5, "
     "LimitTxSizeMB:\"CYCLE\", LimitTimeSec:60 );"},
    {"Compare_MapAppend", SC::Device, kMaskAny, kNS,
     "Compare_MapAppend( LBAMap:\"\", RandRatio:100, LBA:0, RangeLenMB:1024, LimitTxSizeMB:1024, "
     "TrimRatio:0, "
     "FuaRatio:0, FlushRatio:0 );"},
    {"Compare_MapRecoverBasePattern", SC::Device, kMaskAny, kNS, "Compare_MapRecoverBasePattern();"},
    {"FindLBA_ByPattern", SC::Device, kMaskAny, kNS,
     "FindLBA_ByPattern( StartLBA:0, FindPattern:0x55AAFF00 );"},
    {"PowerState_S3S4", SC::Device, kMaskAny, kNS,
     "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:60, PowerIntervalSec:30, DelayRunSec:5, "
     "LimitTimeSec:0, "
     "LimitCycle:1, StopByJobEnd:TRUE);"},
    {"OneShot_S3S4", SC::Device, kMaskAny, kNS, "OneShot_S3S4( PowerState:\"S3\", PowerSleepSec:60);"},
    {"RelayPowerOff", SC::Device, kMaskAny, kNS, "RelayPowerOff( DelayRunSec:5, Port:0 );"},
    {"RelayPowerOn", SC::Device, kMaskAny, kNS, "RelayPowerOn( Port:0 );"},
    {"FullByPattern", SC::Device, kMaskAny, kNS,
     "FullByPattern( LBA:0, RangeMB:1024, Pattern:0, MarkSectorHeader:TRUE );"},
    {"FWbin_SetFWconfig", SC::Device, kMaskAny, kNS,
     "FWbin_SetFWconfig( File:\"FW.bin\", FWCfgItem:\"vendor_model_name\", SetValue:\"\", SaveFile:\"\" );"},
    {"Parse_MPInfo", SC::Device, kMaskAny, kNS,
     "Parse_MPInfo( File:\"\", MPInfoItem:\"\", ShowOffset:FALSE );"},
    {"Parse_FWconfig", SC::Device, kMaskAny, kNS,
     "Parse_FWconfig( File:\"\", FWCfgItem:\"\", ShowOffset:FALSE );"},
    {"Parse_EventLog", SC::Device, kMaskAny, kNS,
     "Parse_EventLog( File:\"\", DecodeType:0, SaveFile:\"\" );"},
    {"Parse_CDump", SC::Device, kMaskAny, kNS, "Parse_CDump( File:\"\", SaveFile:\"\" );"},
    {"Parse_FileHex", SC::Device, kMaskAny, kNS,
     "Parse_FileHex( File:\"\", OffsetByte:0, DataLenByte:512 );"},
    {"Parse_CriticalLog", SC::Device, kMaskAny, kNS, "Parse_CriticalLog( File:\"\", SaveFile:\"\" );"},
    {"Parse_SMART", SC::Device, kMaskAny, kNS, "Parse_SMART( File:\"\", ShowVSC:FALSE );"},
    {"Parse_DrvInfo", SC::Device, kMaskAny, kNS, "Parse_DrvInfo( File:\"\" );"},
    {"Parse_GrownDefect", SC::Device, kMaskAny, kNS, "Parse_GrownDefect( File:\"\" );"},
    {"Parse_DieGrownDefect", SC::Device, kMaskAny, kNS, "Parse_DieGrownDefect( File:\"\" );"},
    {"File_Copy", SC::Device, kMaskAny, kNS, "File_Copy( FromFile:\"\", ToFile:\"\" );"},
    {"File_Compare", SC::Device, kMaskAny, kNS, "File_Compare( FromFile:\"\", ToFile:\"\" );"},
    {"File_Delete", SC::Device, kMaskAny, kNS, "File_Delete( File:\"\", ConfirmMsg:TRUE );"},
    {"File_FullByPattern", SC::Device, kMaskAny, kNS,
     "File_FullByPattern( File:\"\", DataLenMB:4096, WritePattern:0x55AA33CC );"},
    {"File_Write", SC::Device, kMaskAny, kNS,
     "J0 = File_Write( File:\"File0.hex\", DataLenMB:4096, WritePattern:0x55AA33CC, WaitFinish:TRUE );"},
    {"File_Read", SC::Device, kMaskAny, kNS,
     "J0 = File_Read( File:\"File0.hex\", OffsetByte:0, DataLenByte:0, WaitFinish:TRUE );"},
    {"File_CompareWithPattern", SC::Device, kMaskAny, kNS,
     "File_CompareWithPattern( File:\"\", Pattern:0x55AA33CC, CheckHead:TRUE, OffsetByte:0 );"},
    {"ReScanDriver", SC::Device, kMaskAny, kNS, "ReScanDriver();"},
    {"Exec", SC::Device, kMaskAny, kNS,
     "Exec(AssignFolder:\"\", CmdLine:\"text.exe %Disk%\", ResultFile:\"\", WaitClose:TRUE);"},
    {"CSV_ShowChart", SC::Device, kMaskAny, kNS, "CSV_ShowChart( File:\"\", Title:\"\", Column:1 );"},
    {"CSV_ShowTable", SC::Device, kMaskAny, kNS, "CSV_ShowTable( File:\"\", Title:\"\" );"},
    {"Parse", SC::Device, kMaskAny, kNS, "Parse( File:\"\", Type:\"\" );"},
    {"RDTResult", SC::Device, kMaskAny, kNS, "RDTResult( File:\"\", ShowResult:TRUE );"},
    {"MergeFW", SC::Device, kMaskAny, kNS, "MergeFW( File1:\"\", File2:\"\", SaveFile:\"\" );"},

    // Built-ins, second group.
    {"ChangeDisk", SC::Builtin, kMaskAny, cmd_ChangeDisk, "ChangeDisk( PhysicalName:\"\" );"},
    {"MessageBox", SC::Builtin, kMaskAny, kNS,
     "MessageBox( Output:\"\", Button:\"OKCANCEL\", AutoOK:FALSE, ICON:\"QUESTION\" );"},
    {"ComboBox", SC::Builtin, kMaskAny, kNS,
     "ComboBox( Output:\"\", ItemList:\"AAA|*BBB|CCC\", Return:\"Index\", AutoOK:FALSE );"},
    {"NumberBox", SC::Builtin, kMaskAny, kNS, "NumberBox( Title:\"Number:\", Default:10, AutoOK:FALSE );"},
    {"CheckListBox", SC::Builtin, kMaskAny, kNS,
     "CheckListBox( Output:\"\", ItemList:\"*AAA|BBB\", AutoOK:FALSE );"},
    {"InputBox", SC::Builtin, kMaskAny, kNS,
     "InputBox( Title:\"\", SpecialKey:\"\", LenthLimit:0, ShowResult:FALSE, Default:\"\" );"},
    {"FileSelectBox", SC::Builtin, kMaskAny, kNS, "FileSelectBox( Ext:\"*.*#All FW\");"},
    {"GlobalLock", SC::Builtin, kMaskAny, cmd_GlobalLock, "GlobalLock();"},
    {"GlobalUnLock", SC::Builtin, kMaskAny, cmd_GlobalUnLock, "GlobalUnLock();"},
    {"SetErrorSkip", SC::Builtin, kMaskAny, cmd_SetErrorSkip, "SetErrorSkip( Count:0 );"},
    {"GetErrorCount", SC::Builtin, kMaskAny, cmd_GetErrorCount, "GetErrorCount( ShowResult:TRUE );"},
    {"SetErrorDesc", SC::Builtin, kMaskAny, cmd_SetErrorDesc, "SetErrorDesc( Output:\"\" );"},
    {"RandomValue", SC::Builtin, kMaskAny, cmd_RandomValue,
     "RandomValue( RangeStart:0, RangeEnd:100, ShowResult:TRUE, ShowHex:FALSE );"},
    {"StrToNumber", SC::Builtin, kMaskAny, cmd_StrToNumber,
     "StrToNumber( String:\"0x1F\", HexDec:\"Auto\" );"},
    {"StrStr", SC::Builtin, kMaskAny, cmd_StrStr, "StrStr( String:\"Samsung SSD\", SubStr:\"ssd\" );"},
    {"StrCmp", SC::Builtin, kMaskAny, cmd_StrCmp, "StrCmp( String:\"ABC\", String:\"ABC\" );"},
    {"StrSub", SC::Builtin, kMaskAny, cmd_StrSub, "StrSub( String:\"ABCDEF\", StartId:0, EndId:3 );"},
    {"BitValue", SC::Builtin, kMaskAny, cmd_BitValue, "BitValue( Value:0x80, BitId:7 );"},
    {"NumberToStr", SC::Builtin, kMaskAny, cmd_NumberToStr, "NumberToStr( Value:255, HexDec:\"HEX\" );"},
    {"StrLen", SC::Builtin, kMaskAny, cmd_StrLen, "StrLen( String:\"ABC\" );"},
    {"StrSplit", SC::Builtin, kMaskAny, cmd_StrSplit,
     "a[] = StrSplit( String:\"A,B,C\", Split:\",\", Count:50 );"},
    {"ArrayLen", SC::Builtin, kMaskAny, cmd_ArrayLen, "ArrayLen( Array:a[] );"},
    {"StrSetLen", SC::Builtin, kMaskAny, cmd_StrSetLen,
     "StrSetLen( String:\"ABC\", RightAlign:FALSE, SetLen:10 );"},
    {"StrReplace", SC::Builtin, kMaskAny, cmd_StrReplace,
     "StrReplace( String:\"ABCABC\", OldStr:\"b\", NewStr:\"x\" );"},
    {"RunTime", SC::Builtin, kMaskAny, cmd_RunTime, "RunTime( ShowResult:TRUE, TimeFormat:\"ms\" );"},
    {"DateTime", SC::Builtin, kMaskAny, cmd_DateTime, "DateTime( OutFormat:\"YYYY-MM-DD hh:mm:ss\" );"},
    {"IsRAWDisk", SC::Builtin, kMaskAny, cmd_IsRAWDisk, "IsRAWDisk();"},
    {"IsROMDrive", SC::Builtin, kMaskAny, cmd_IsROMDrive, "IsROMDrive();"},
    {"IsNVMEDisk", SC::Builtin, kMaskAny, cmd_IsNVMEDisk, "IsNVMEDisk();"},
    {"IsFWCfgDisk", SC::Builtin, kMaskAny, cmd_IsFWCfgDisk, "IsFWCfgDisk();"},
    {"IsUSBPort", SC::Builtin, kMaskAny, cmd_IsUSBPort, "IsUSBPort();"},
    {"IsWinOS", SC::Builtin, kMaskAny, cmd_IsWinOS, "IsWinOS();"},
    {"IsDiskExist", SC::Builtin, kMaskAny, cmd_IsDiskExist, "IsDiskExist();"},
    {"IsFileExist", SC::Builtin, kMaskAny, cmd_IsFileExist, "IsFileExist( File:\"C:\\Test.txt\" );"},
    {"IsS3S4Running", SC::Builtin, kMaskAny, kNS, "IsS3S4Running();"},
    {"IsRelayPowerOn", SC::Builtin, kMaskAny, kNS, "IsRelayPowerOn( Port:0 );"},
    {"IsFnScriptRunning", SC::Builtin, kMaskAny, cmd_IsFnScriptRunning, "IsFnScriptRunning();"},
    {"Cls", SC::Builtin, kMaskAny, cmd_Cls, "Cls();"},
    {"GetINIData", SC::Builtin, kMaskAny, cmd_GetINIData,
     "GetINIData( Section:\"LogData\", Item:\"Key\", File:\"Test.ini\", CovertType:\"AUTO\", Default:\"\" "
     ");"},
    {"SetINIData", SC::Builtin, kMaskAny, cmd_SetINIData,
     "SetINIData( Section:\"LogData\", Item:\"Key\", Output:\"Value\", File:\"Test.ini\", Flush:FALSE );"},
    {"FileRename", SC::Builtin, kMaskAny, cmd_FileRename,
     "FileRename( File:\"Old.txt\", NewFile:\"New.txt\" );"},
    {"File_JobState", SC::Builtin, kMaskAny, kNS, "File_JobState( JobID:J0 );"},
    {"APFileName", SC::Builtin, kMaskAny, cmd_APFileName, "APFileName( ShowResult:TRUE );"},
    {"GetFileSize", SC::Builtin, kMaskAny, cmd_GetFileSize, "GetFileSize( File:\"C:\\Test.txt\" );"},
    {"GetFileLBA", SC::Builtin, kMaskAny, kNS, "GetFileLBA( File:\"\", ByteOffset:0, NtfsTrace:FALSE );"},
    {"GetFileByLBA", SC::Builtin, kMaskAny, kNS, "GetFileByLBA( LBA:0 );"},
    {"GetFileByMftId", SC::Builtin, kMaskAny, kNS, "GetFileByMftId( MftId:0 );"},
    {"ScpxFolder", SC::Builtin, kMaskAny, cmd_ScpxFolder, "ScpxFolder( ShowResult:TRUE);"},
    {"LogFolder", SC::Builtin, kMaskAny, cmd_GetLogFolder, "LogFolder( JobPath:TRUE, ShowResult:TRUE );"},
    {"GetLogFolder", SC::Builtin, kMaskAny, cmd_GetLogFolder,
     "GetLogFolder( JobPath:TRUE, ShowResult:TRUE );"},
    {"SetLogFolder", SC::Builtin, kMaskAny, cmd_SetLogFolder, "SetLogFolder( Output:\"\" );"},
    {"LogUpload", SC::Builtin, kMaskAny, kNS,
     "LogUpload(LogName:\"\", Param:\"\", Param:\"\", Param:\"\", Param:\"\", Param:\"\" );"},
    {"GetConfigType", SC::Builtin, kMaskAny, kNS, "GetConfigType();"},
    {"CSV_AddData", SC::Builtin, kMaskAny, kNS, "CSV_AddData( File:\"\", Output:\"\" );"},
    {"MergeCSVs", SC::Builtin, kMaskAny, kNS, "MergeCSVs( Folder:\"\", SaveFile:\"\" );"},
    {"SetPowerHub", SC::Builtin, kMaskAny, kNS, "SetPowerHub( COMPort:\"COM3\" );"},
    {"moreViewer", SC::Builtin, kMaskAny, kNS, "moreViewer( File:\"\" );"},
    {"GetViewID", SC::Builtin, kMaskAny, kNS, "GetViewID();"},
    {"LogView_Send", SC::Builtin, kMaskAny, kNS, "LogView_Send( Command:\"\", DelayRunSec:15);"},
    {"LogView_Wait", SC::Builtin, kMaskAny, kNS, "LogView_Wait( Command:\"\", TimeoutSec:15);"},
    {"VSC_GetSocID", SC::Builtin, kMaskAny, cmd_GetSocID, "VSC_GetSocID();"},
    {"GetSocID", SC::Builtin, kMaskAny, cmd_GetSocID, "GetSocID();"},
    {"Help", SC::Builtin, kMaskAny, cmd_Help, "Help();"},
    {"GetDiskInfo", SC::Builtin, kMaskAny, cmd_GetDiskInfo, "GetDiskInfo( Item:\"Serial Number\" );"},
    {"ShowCLICmdHeader", SC::Builtin, kMaskAny, cmd_ShowCLICmdHeader, "ShowCLICmdHeader( Show:TRUE );"},
    {"ConsoleOut", SC::Builtin, kMaskAny, cmd_ConsoleOut, "ConsoleOut( Stdout:\"\", Append:FALSE );"},
    {"IsRelayExisted", SC::Builtin, kMaskAny, kNS, "IsRelayExisted( Relay:\"USB_Relay\" );"},
}};

}  // namespace

std::span<const CommandEntry> command_table() {
    return kCommands;
}

bool mask_accepts(uint32_t mask, uint8_t protocol) {
    const bool ata = protocol == 1 || protocol == 2;
    const bool nvme = protocol >= 10 && protocol <= 17;
    switch (mask & 0xFF) {
        case kMaskAny:
            return true;
        case kMaskNvme:
            return nvme;
        case kMaskAta:
            return ata;
        case kMaskAtaNvme:
            return ata || nvme;
        default:
            return false;
    }
}

const CommandEntry* find_builtin(std::string_view name) {
    for (const CommandEntry& e : kCommands)
        if (e.cls == StatementClass::Builtin && iequals(e.name, name)) return &e;
    return nullptr;
}

const CommandEntry* find_device_command(uint8_t protocol, std::string_view name) {
    for (const CommandEntry& e : kCommands)
        if (e.cls == StatementClass::Device && iequals(e.name, name) && mask_accepts(e.mask, protocol))
            return &e;
    return nullptr;
}

}  // namespace tb
