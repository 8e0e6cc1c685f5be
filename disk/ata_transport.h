// Sending ATA commands: the storage stack's ATA pass-through with SCSI/ATA
// translation as fallback, the echoed script form, USB bridge detection and
// the power requests of the JMicron and ASMedia bridges.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "disk/ata_command.h"
#include "disk/disk_record.h"
#include "platform/disk_device.h"

namespace tb {

// Sends one command on an opened device. Access protocol 2 ("USBATA") goes
// straight to translation; every other protocol tries the ATA pass-through
// first and falls back to translation when it fails (or is not there).
bool send_ata(uint8_t access_protocol, DiskDevice& device, const AtaCommand& cmd);

// The same with the parameters spelled out: LBA bits 0-31 and 32-47, and the
// data (its length / 512 is the sector count).
bool send_ata(uint8_t access_protocol, DiskDevice& device, uint8_t command, uint16_t feature, uint16_t flags,
              uint32_t lba_low, uint32_t lba_high, std::span<uint8_t> data);

// Only the SCSI/ATA translation path.
bool send_ata_translated(DiskDevice& device, const AtaCommand& cmd);

// The six LBA registers as scripts name them.
struct AtaLbaBytes {
    uint8_t low = 0, mid = 0, high = 0, ex_low = 0, ex_mid = 0, ex_high = 0;
    uint64_t lba() const;
    // The registers of a 48-bit LBA.
    static AtaLbaBytes of(uint64_t lba);
};

// The echo text of a command ("ATA( IO:\"%s\", ATACmd:0x%X, ... );"), or
// empty when the debug level is 0. IO is "NODATA" (flags 0), "IN" (3, 19) or
// "OUT" (5, 21).
std::string ata_echo_text(uint8_t command, uint16_t feature, uint16_t flags, const AtaLbaBytes& lba,
                          uint32_t sector_count);

// ATA command with echo, on the record's device path: data length is
// sector_count x 512 (`data` must hold that many bytes for a data command).
// Returns 1; -1 when the path cannot be opened; on a failed command an IDLE
// IMMEDIATE is sent and the result is -4 (data out), -3 (data in) or -1.
// `echo` receives the echo text.
int ata_command_with_echo(const DiskRecord& record, uint8_t command, uint16_t feature, uint16_t flags,
                          const AtaLbaBytes& lba, uint32_t sector_count, std::span<uint8_t> data,
                          std::string& echo);
// On the current target.
int ata_command_with_echo(uint8_t command, uint16_t feature, uint16_t flags, const AtaLbaBytes& lba,
                          uint32_t sector_count, std::span<uint8_t> data, std::string& echo);

// Bridge detection for a disk on the USB bus: INQUIRY on the physical path,
// then the NVMe probes. Returns an access protocol code: 2, 13..17 or 21.
uint8_t detect_bridge(const DiskRecord& record);

// The bridge verdict of an INQUIRY reply alone (steps before the NVMe
// probes); 21 when nothing matched.
uint8_t bridge_from_inquiry(std::span<const uint8_t> inquiry);

// Bridge power requests.
enum AsmediaPower : uint8_t { kAsmPowerOff = 0, kAsmPowerOn = 1, kAsmRelink = 4 };
enum JmicronPower : uint8_t { kJmiPowerOn = 2, kJmiRelink = 4, kJmiPowerCycle = 5, kJmiPowerOff = 6 };

// ASMedia: CDB EA 5A v, no data. JMicron: A1 80 with a 512-byte block
// ("NVME", v at byte 72), A1 81 without data, A1 8F reading 512 bytes (not
// checked). Return 1 when the (first two) requests succeed, else -74.
int asmedia_power_request(DiskDevice& device, uint8_t value);
int jmicron_power_request(DiskDevice& device, uint8_t value);
// The same on the record's physical path (-1 when it cannot be opened).
int asmedia_power_request(const DiskRecord& record, uint8_t value);
int jmicron_power_request(const DiskRecord& record, uint8_t value);

}  // namespace tb
