// The ATA script commands (offered for ATA disks): ATA, ATARead, ATAWrite,
// SMART_Offline, STBI, IDLE and the ATA forms of FWActive, UpdateFW and
// SecurErase.
#pragma once

#include <string>
#include <string_view>

#include "disk/disk_record.h"

namespace tb {

void cmd_ATA(int slot, const std::string& args, const std::string& name);
void cmd_ATARead(int slot, const std::string& args, const std::string& name);
void cmd_ATAWrite(int slot, const std::string& args, const std::string& name);
void cmd_SMART_Offline(int slot, const std::string& args, const std::string& name);
void cmd_STBI(int slot, const std::string& args, const std::string& name);
void cmd_IDLE(int slot, const std::string& args, const std::string& name);
void cmd_ata_FWActive(int slot, const std::string& args, const std::string& name);
void cmd_ata_UpdateFW(int slot, const std::string& args, const std::string& name);
void cmd_ata_SecurErase(int slot, const std::string& args, const std::string& name);

// Restores a ".bix" firmware image in place: the byte order is reversed and
// every byte is mapped through the image substitution table.
void restore_bix_image(std::string& image);
// The table's forward direction (what the image packer applies before it
// reverses the bytes), for tools and tests.
void scramble_bix_image(std::string& image);

// Hooks the firmware update and the security erase use for work of other
// parts; tests and later parts replace them. nullptr restores the default.
struct AtaCommandHooks {
    // Re-enumerates the devices and refinds the current target by location;
    // true when found.
    bool (*refind_target)() = nullptr;
    // Deletes the partitions of a disk that is not RAW; 1 on success or a
    // negative code. The default answers -20.
    int (*delete_partitions)(int slot, DiskRecord& target) = nullptr;
    // Pause in milliseconds (tests make it instant).
    void (*sleep_ms)(int slot, unsigned ms) = nullptr;
};
void set_ata_command_hooks(const AtaCommandHooks& hooks);

}  // namespace tb
