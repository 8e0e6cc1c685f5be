// The maker's vendor operations and their NVMe admin command encodings in
// each of the three command-set generations (selector 1, 192 and 0), kept as
// one table; the host side builds the commands of an operation from it and a
// controller side recognises a received submission entry by it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/nvme_command.h"

namespace tb {

enum class VendorOp : uint8_t {
    EnableVendorMode, BrandNew, CleanSmart, FtlVirgin, ForceFirmwareMode, RecoveryMode, KeepSpareBlocks,
    ThinCapacity, DriveInformation, FwConfigRead, FwConfigWrite, PcieDataRead, PcieDataWrite, CrashDumpChunk,
    CriticalLogChunk, ManufacturingInfo, GrownDefectList, DieGrownDefectList, OtpIdentifier,
    ReconstructionStatus, SpiDebugInfo, VpdData,
};
constexpr int kVendorOpCount = static_cast<int>(VendorOp::VpdData) + 1;

// A short English name ("drive information").
const char* vendor_op_name(VendorOp op);

// The arguments an operation takes: the mode of force firmware mode in a;
// (a, b) of thin capacity; the chunk index of the critical log in a; (a, b, c)
// of the manufacturing information; b (and c) of the die grown defect list
// and the SPI debug information; the checksum of the configuration write.
// `alternate_model` picks the reconstruction-status form of the two
// controller models that answer it under opcode 0xEA (selector 0).
struct VendorArgs {
    uint32_t a = 0, b = 0, c = 0;
    uint32_t checksum = 0;
    bool alternate_model = false;
};

constexpr uint32_t kVendorDataLength = 4096;
constexpr uint32_t kVendorSigA = 0x45544E41, kVendorSigB = 0x56524F4B;  // CDW14, CDW15 of "sig"
constexpr uint32_t kVpdPauseMs = 100;

// The command-set selectors.
constexpr int kVendorSelectorD0 = 0, kVendorSelectorFc = 1, kVendorSelectorC0 = 192;
bool is_vendor_selector(int selector);

// One command of an operation, with the pause before it (VPD: 100 ms before
// its second command).
struct VendorStep {
    NvmeRequestSpec request;
    uint32_t delay_before_ms = 0;
};

// The commands of `op` under command-set selector 1, 192 or 0, data
// commands carrying `length` bytes. Empty: not available under that
// selector (or an unknown selector); the caller reports -74.
std::vector<VendorStep> vendor_steps(int selector, VendorOp op, const VendorArgs& args = {},
                                     uint32_t length = kVendorDataLength);

// The device side: the operation a received 64-byte submission entry
// carries under `selector`, which step of it (0 or 1), its arguments, data
// direction and length (CDW10 x 4 for a data command, else 0); nullopt when
// it is no vendor command of that generation (including a missing CDW2
// signature).
struct ReceivedVendorCommand {
    VendorOp op;
    int step = 0;
    VendorArgs args;
    DataDir dir = DataDir::None;
    uint32_t length = 0;
};
std::optional<ReceivedVendorCommand> decode_vendor_command(int selector, std::span<const uint8_t> sqe);

}  // namespace tb
