// One ATA command (the task file) and its two encodings: the register file of
// the storage stack's ATA pass-through and the ATA PASS-THROUGH(12)/(16) CDBs
// of SCSI/ATA translation.
#pragma once

#include <cstdint>
#include <span>

#include "platform/disk_device.h"

namespace tb {

// The flag combinations ATA commands are sent with (kAtaDriveReady etc.).
constexpr uint16_t kAtaNoData = 0;
constexpr uint16_t kAtaPioIn = kAtaDriveReady | kAtaDataIn;              // 3
constexpr uint16_t kAtaPioOut = kAtaDriveReady | kAtaDataOut;            // 5
constexpr uint16_t kAtaDmaIn = kAtaDriveReady | kAtaDataIn | kAtaDma;    // 19
constexpr uint16_t kAtaDmaOut = kAtaDriveReady | kAtaDataOut | kAtaDma;  // 21

constexpr uint32_t kAtaSectorBytes = 512;

// Command codes used by the system.
namespace ata_op {
constexpr uint8_t kReadSectors = 0x20, kReadSectorsExt = 0x24, kReadDmaExt = 0x25, kReadMultipleExt = 0x29;
constexpr uint8_t kWriteSectors = 0x30, kWriteSectorsExt = 0x34, kWriteDmaExt = 0x35, kWriteMultipleExt = 0x39;
constexpr uint8_t kWriteDmaFuaExt = 0x3D, kWriteMultipleFuaExt = 0xCE;
constexpr uint8_t kDataSetManagement = 0x06, kDownloadMicrocode = 0x92, kSmart = 0xB0;
constexpr uint8_t kReadMultiple = 0xC4, kWriteMultiple = 0xC5, kReadDma = 0xC8, kWriteDma = 0xCA;
constexpr uint8_t kStandbyImmediate = 0xE0, kIdleImmediate = 0xE1, kIdentifyDevice = 0xEC;
constexpr uint8_t kSecuritySetPassword = 0xF1, kSecurityUnlock = 0xF2, kSecurityErasePrepare = 0xF3,
                  kSecurityEraseUnit = 0xF4, kSecurityFreezeLock = 0xF5, kSecurityDisablePassword = 0xF6;
}  // namespace ata_op

// Whether a command code is sent as a 48-bit command: 0x24, 0x25, 0x26,
// 0x29, 0x34, 0x35, 0x36, 0x39, 0x3D, 0x3E, 0xC1, 0xC2, 0xC3, 0xCE, 0xFE.
bool is_ata48_command(uint8_t command);

// The task file of one command. The sector count register is the data length
// in 512-byte sectors (low 8 bits); the device register is derived (0x40,
// plus LBA bits 24-27 for a 28-bit command).
struct AtaCommand {
    uint8_t command = 0;
    uint16_t feature = 0;
    uint32_t sector_count = 0;  // only the low 8 bits reach the device
    uint64_t lba = 0;           // 48 bits
    uint16_t flags = kAtaNoData;
    std::span<uint8_t> data;    // empty for a command without data

    bool is_48bit() const { return is_ata48_command(command); }
    bool data_in() const { return (flags & kAtaDataIn) != 0; }
    bool data_out() const { return (flags & kAtaDataOut) != 0; }
    // The device register: 0x40 | LBA bits 24-27 (28-bit), 0x40 (48-bit).
    uint8_t device() const;
};

// A command whose sector count follows its data (length / 512).
AtaCommand make_ata_command(uint8_t command, uint16_t feature, uint16_t flags, uint64_t lba,
                            std::span<uint8_t> data = {});

// The storage stack's ATA pass-through request of a command: current file
// feature 0-7, count, LBA 0-7/8-15/16-23, device, command; a 48-bit command
// adds kAtaExt and a previous file with feature 8-15, count 0 and LBA
// 24-31/32-39/40-47. Time-out 60 seconds.
AtaPassThrough build_ata_pass_through(const AtaCommand& cmd);

// The returned status register passes: bits 0 (error) and 3 (data request) clear.
bool ata_status_ok(uint8_t status);

// The SCSI/ATA translation request of a command: ATA PASS-THROUGH(12) (0xA1)
// for a 28-bit command, ATA PASS-THROUGH(16) (0x85) for a 48-bit one, with
// protocol x 2 in byte 1 (8 PIO in, 10 PIO out, 6 no data) and byte 2 0x0E
// (in), 0x06 (out) or 0 (none). Time-out 60 seconds.
ScsiPassThrough build_ata_cdb(const AtaCommand& cmd);

}  // namespace tb
