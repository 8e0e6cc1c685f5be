#include "vendor/vendor_bindings.h"

#include "vendor/vsc_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    // NVMe rows.
    {"SetVSCType", cmd_SetVSCType, kMaskNvme},
    {"VSC_BrandNew", cmd_VSC_BrandNew, kMaskNvme},
    {"VSC_CleanSMART", cmd_VSC_CleanSMART, kMaskNvme},
    {"VSC_FTLVirgin", cmd_VSC_FTLVirgin, kMaskNvme},
    {"VSC_ForceTo", cmd_VSC_ForceTo, kMaskNvme},
    {"VSC_KillFW", cmd_VSC_KillFW, kMaskNvme},
    {"VSC_KeepFRB", cmd_VSC_KeepFRB, kMaskNvme},
    {"VSC_SetThinCapacity", cmd_VSC_SetThinCapacity, kMaskNvme},
    {"VSC_GetDrvInfo", cmd_VSC_GetDrvInfo, kMaskNvme},
    {"VSC_GetFWconfig", cmd_VSC_GetFWconfig, kMaskNvme},
    {"VSC_GetMPOem", cmd_VSC_GetFWconfig, kMaskNvme},
    {"VSC_SetFWconfig", cmd_VSC_SetFWconfig, kMaskNvme},
    {"VSC_SetMPOem", cmd_VSC_SetFWconfig, kMaskNvme},
    {"VSC_GetMPinfo", cmd_VSC_GetMPinfo, kMaskNvme},
    {"VSC_GetGrownDefect", cmd_VSC_GetGrownDefect, kMaskNvme},
    {"VSC_GetOTPuid", cmd_VSC_GetOTPuid, kMaskNvme},
    {"VSC_GetReconstructionStatus", cmd_VSC_GetReconstructionStatus, kMaskNvme},
    {"VSC_GetVPDData", cmd_VSC_GetVPDData, kMaskNvme},
    {"VSC_GetEventLog", cmd_VSC_GetEventLog, kMaskNvme},
    {"VSC_CriticalLog", cmd_VSC_CriticalLog, kMaskNvme},
    {"VSC_GetSPIDbgInfo", cmd_VSC_GetSPIDbgInfo, kMaskNvme},
    {"VSC_Cdump", cmd_VSC_Cdump, kMaskNvme},
    {"GetLogPage_Cdump", cmd_VSC_Cdump, kMaskNvme},
    // ATA rows.
    {"VSC_GetEventLog", cmd_VSC_GetEventLog, kMaskAta},
    {"VSC_GetDrvInfo", cmd_VSC_GetDrvInfo, kMaskAta},
    {"VSC_CleanEventLog", cmd_VSC_CleanEventLog, kMaskAta},
    {"VSC_GetFWconfig", cmd_VSC_GetFWconfig, kMaskAta},
    {"VSC_SetFWconfig", cmd_VSC_SetFWconfig, kMaskAta},
    {"VSC_GetMPinfo", cmd_VSC_GetMPinfo, kMaskAta},
    {"VSC_GetGrownDefect", cmd_VSC_GetGrownDefect, kMaskAta},
    {"VSC_CleanSMART", cmd_VSC_CleanSMART, kMaskAta},
    {"VSC_BrandNew", cmd_VSC_BrandNew, kMaskAta},
    {"VSC_KillFW", cmd_VSC_KillFW, kMaskAta},
    {"VSC_TrainDDREye", cmd_VSC_TrainDDREye, kMaskAta},
    {"VSC_KeepFRB", cmd_VSC_KeepFRB, kMaskAta},
    {"VSC_GetOTPuid", cmd_VSC_GetOTPuid, kMaskAta},
    {"VSC_ForceTo", cmd_VSC_ForceTo, kMaskAta},
    {"VSC_GetReconstructionStatus", cmd_VSC_GetReconstructionStatus, kMaskAta},
};

}  // namespace

BindingList vendor_bindings() { return kBindings; }

}  // namespace tb
