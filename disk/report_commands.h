// The script commands that read identify data, SMART and log pages and print
// them as decoded reports.
#pragma once

#include <string>

namespace tb {

// NVMe family.
void cmd_nvme_Identify(int slot, const std::string& args, const std::string& name);
void cmd_Identify_Controller(int slot, const std::string& args, const std::string& name);
void cmd_Identify_Namespace(int slot, const std::string& args, const std::string& name);
void cmd_Identify_ActiveNamespaceID(int slot, const std::string& args, const std::string& name);
void cmd_Identify_DescriptorNamespac(int slot, const std::string& args, const std::string& name);
void cmd_GetLogPage_ErrorInfo(int slot, const std::string& args, const std::string& name);
void cmd_nvme_SMART(int slot, const std::string& args, const std::string& name);  // also GetLogPage_SMART
void cmd_GetLogPage_FirmwareSlotInfo(int slot, const std::string& args, const std::string& name);
void cmd_GetLogPage_CommandEffect(int slot, const std::string& args, const std::string& name);

// ATA family.
void cmd_ata_Identify(int slot, const std::string& args, const std::string& name);
void cmd_IdentifyEx(int slot, const std::string& args, const std::string& name);
void cmd_ata_SMART(int slot, const std::string& args, const std::string& name);

// The firmware kind as the `Config Type` item shows it.
std::string config_type_text(int firmware_kind);

}  // namespace tb
