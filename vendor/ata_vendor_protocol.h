// The maker's vendor operations on SATA disks: vendor-specific ATA commands
// (28-bit task files) with an operation code in the feature register, a key
// in the LBA registers, data by PIO in or out in pieces of at most 248
// sectors, and the 32-bit arguments in a parameter sector sent just before
// the operation. vendor/PROTOCOL.md describes the protocol a controller
// speaks.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "disk/ata_command.h"
#include "vendor/vendor_operation.h"

namespace tb {

namespace ata_vendor {
// Command codes (vendor-specific in the ATA command set), one per data direction.
constexpr uint8_t kNoData = 0xFA, kPioIn = 0xFB, kPioOut = 0xFC;
// The key in LBA bits 8-23 (LBA mid 0x53, LBA high 0x56).
constexpr uint32_t kKey = 0x5653;
// The feature code of the parameter sector command.
constexpr uint8_t kParameterFeature = 0x7F;
// The parameter sector's first four bytes.
constexpr std::array<uint8_t, 4> kParameterMagic{'V', 'P', 'R', 'M'};
// The position of a piece of data is counted in 4096-byte units, 12 bits wide
// (LBA bits 0-7 and 24-27).
constexpr uint32_t kOffsetUnit = 4096;
constexpr uint32_t kMaxOffsetUnits = 0xFFF;
// Sectors per command: at most 255 by the register; the host cuts pieces at
// 248 sectors so that every piece starts on a 4096-byte boundary.
constexpr uint32_t kMaxSectors = 255;
constexpr uint32_t kPieceSectors = 248;
}  // namespace ata_vendor

// ATA-only operations: VSC_CleanEventLog and VSC_TrainDDREye take no data;
// ReadEventLog reads the event log from a byte position (a multiple of 4096).
enum class AtaOnlyOp : uint8_t { CleanEventLog, TrainDdrEye, ReadEventLog };

// The vendor feature code of an operation; 0 when it has no ATA form.
uint8_t ata_vendor_feature(VendorOp op);
uint8_t ata_only_feature(AtaOnlyOp op);

// The task files of one operation in order, with the parameter sector they
// point into (shared by copies, so the spans stay valid while any copy lives).
struct AtaVendorCommands {
    std::vector<AtaCommand> commands;
    std::shared_ptr<std::array<uint8_t, 512>> parameters;

    bool empty() const { return commands.empty(); }
    size_t size() const { return commands.size(); }
    const AtaCommand& operator[](size_t i) const { return commands[i]; }
    auto begin() const { return commands.begin(); }
    auto end() const { return commands.end(); }
};

// The ATA form of an operation: empty when the operation has no ATA form, or
// when `data` does not suit it (a data operation needs a non-empty multiple of
// 512 bytes whose every piece starts at a position the 12-bit field names;
// an operation without data takes none).
// An operation that takes arguments is preceded by the parameter sector command.
AtaVendorCommands ata_vendor_commands(VendorOp op, const VendorArgs& args, std::span<uint8_t> data);
// ATA-only operations; `offset` (bytes, a multiple of 4096) is the event log
// position of ReadEventLog's first piece.
std::vector<AtaCommand> ata_only_commands(AtaOnlyOp op, std::span<uint8_t> data = {}, uint32_t offset = 0);

// The parameter sector of an operation's arguments: "VPRM", the operation's
// feature code at byte 4, then a, b, c and the checksum as little-endian dwords
// at bytes 8, 12, 16 and 20; the rest zero.
std::array<uint8_t, 512> encode_ata_parameters(uint8_t feature, const VendorArgs& args);
// The arguments of a received parameter sector for the operation `feature`;
// nullopt when the magic or the feature code does not match.
std::optional<VendorArgs> decode_ata_parameters(uint8_t feature, std::span<const uint8_t> sector);

// The device side: what a received task file asks. `parameters` marks the
// parameter sector command (512 bytes out, for operation `op`); its arguments
// arrive in the data (decode_ata_parameters). `offset` is the data's byte
// position within the operation's record (data commands). nullopt for
// anything that is no vendor command of this protocol: another command code,
// a wrong key, an unknown feature code, a direction that does not match the
// command code, or a sector count that does not suit the command.
struct ReceivedAtaVendor {
    bool ata_only = false;
    VendorOp op{};
    AtaOnlyOp ata_op{};
    VendorArgs args;
    DataDir dir = DataDir::None;
    uint32_t length = 0;
    bool parameters = false;
    uint32_t offset = 0;
};
std::optional<ReceivedAtaVendor> decode_ata_vendor(uint8_t command, uint16_t feature, uint32_t count, uint64_t lba);

}  // namespace tb
