// Disk selection and identity, NVMe and ATA commands and their reports.
#include "disk/disk_bindings.h"

#include "disk/ata_commands.h"
#include "disk/disk_commands.h"
#include "disk/nvme_commands.h"
#include "disk/report_commands.h"

namespace tb {

namespace {

constexpr CommandBinding kBindings[] = {
    {"DiskList", cmd_DiskList},
    {"Identify", cmd_nvme_Identify, kMaskNvme},
    {"Identify_Controller", cmd_Identify_Controller, kMaskNvme},
    {"Identify_Namespace", cmd_Identify_Namespace, kMaskNvme},
    {"Identify_ActiveNamespaceID", cmd_Identify_ActiveNamespaceID, kMaskNvme},
    {"Identify_DescriptorNamespac", cmd_Identify_DescriptorNamespac, kMaskNvme},
    {"GetLogPage", cmd_GetLogPage, kMaskNvme},
    {"GetLogPage_ErrorInfo", cmd_GetLogPage_ErrorInfo, kMaskNvme},
    {"GetLogPage_SMART", cmd_nvme_SMART, kMaskNvme},
    {"SMART", cmd_nvme_SMART, kMaskNvme},
    {"GetLogPage_FirmwareSlotInfo", cmd_GetLogPage_FirmwareSlotInfo, kMaskNvme},
    {"SafeRemoveNVMe", cmd_SafeRemoveNVMe, kMaskNvme},
    {"SecurErase", cmd_nvme_SecurErase, kMaskNvme},
    {"UpdateFW", cmd_nvme_UpdateFW, kMaskNvme},
    {"UpdateFWex", cmd_UpdateFWex, kMaskNvme},
    {"FWActive", cmd_nvme_FWActive, kMaskNvme},
    {"PCIInfo", cmd_PCIInfo, kMaskNvme},
    {"NVMe", cmd_NVMe, kMaskNvme},
    {"GetLogPage_CommandEffect", cmd_GetLogPage_CommandEffect, kMaskNvme},
    {"SetSystem_PCISpeed", cmd_SetSystem_PCISpeed, kMaskNvme},
    {"SetSystem_NVMeEnable", cmd_SetSystem_NVMeEnable, kMaskNvme},
    {"SetSystem_HMB", cmd_SetSystem_HMB, kMaskNvme},
    {"GetFeature", cmd_GetFeature, kMaskNvme},
    {"SetFeature", cmd_SetFeature, kMaskNvme},
    {"GetFeature_TemperatureTH", cmd_GetFeature_TemperatureTH, kMaskNvme},
    {"SetFeature_TemperatureTH", cmd_SetFeature_TemperatureTH, kMaskNvme},
    {"GetFeature_WriteCache", cmd_GetFeature_WriteCache, kMaskNvme},
    {"SetFeature_WriteCache", cmd_SetFeature_WriteCache, kMaskNvme},
    {"Identify", cmd_ata_Identify, kMaskAta},
    {"IdentifyEx", cmd_IdentifyEx, kMaskAta},
    {"SMART", cmd_ata_SMART, kMaskAta},
    {"SMART_Offline", cmd_SMART_Offline, kMaskAta},
    {"UpdateFW", cmd_ata_UpdateFW, kMaskAta},
    {"FWActive", cmd_ata_FWActive, kMaskAta},
    {"ATA", cmd_ATA, kMaskAta},
    {"ATARead", cmd_ATARead, kMaskAta},
    {"ATAWrite", cmd_ATAWrite, kMaskAta},
    {"SecurErase", cmd_ata_SecurErase, kMaskAta},
    {"STBI", cmd_STBI, kMaskAta},
    {"IDLE", cmd_IDLE, kMaskAta},
    {"ChangeDisk", cmd_ChangeDisk},
    {"IsRAWDisk", cmd_IsRAWDisk},
    {"IsROMDrive", cmd_IsROMDrive},
    {"IsNVMEDisk", cmd_IsNVMEDisk},
    {"IsFWCfgDisk", cmd_IsFWCfgDisk},
    {"IsUSBPort", cmd_IsUSBPort},
    {"IsWinOS", cmd_IsWinOS},
    {"IsDiskExist", cmd_IsDiskExist},
    {"VSC_GetSocID", cmd_GetSocID},
    {"GetSocID", cmd_GetSocID},
    {"GetDiskInfo", cmd_GetDiskInfo},
};

}  // namespace

BindingList disk_bindings() { return kBindings; }

}  // namespace tb
