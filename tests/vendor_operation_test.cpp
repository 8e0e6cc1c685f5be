// The vendor operations' NVMe encodings: the 64 bytes of every command of
// every operation under each command-set selector, the cells that are not
// available, and the device side's recognition of each command.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vendor/vendor_operation.h"

namespace tb {
namespace {

constexpr uint32_t kAll = 0xFFFFFFFF;
constexpr uint32_t kSA = 0x45544E41, kSB = 0x56524F4B;
constexpr uint32_t kArgA = 0xA1, kArgB = 0xB2, kArgC = 0xC3, kSum = 0x0C5C5C5C;
constexpr uint32_t kLen = 4096, kDw10 = kLen / 4;

VendorArgs sample_args() {
    VendorArgs a;
    a.a = kArgA;
    a.b = kArgB;
    a.c = kArgC;
    a.checksum = kSum;
    return a;
}

// One expected command: opcode, NSID, CDW12..CDW15, direction and the pause
// before it. CDW2 is always the vendor signature; CDW10 is length / 4 for a
// data command and 0 otherwise.
struct Expected {
    uint8_t opcode;
    uint32_t nsid;
    uint32_t c12, c13, c14, c15;
    DataDir dir;
    uint32_t delay = 0;
};

constexpr DataDir N = DataDir::None, I = DataDir::In, O = DataDir::Out;

struct Case {
    int selector;
    VendorOp op;
    std::vector<Expected> steps;  // empty: not available
};

std::vector<Case> table() {
    using V = VendorOp;
    return {
        // Selector 1.
        {1, V::EnableVendorMode, {{0xFC, kAll, 0x1F, 0x717A7673, 1, 0, N}}},
        {1, V::BrandNew, {{0xFC, kAll, 0x80, 1, kSA, kSB, N}}},
        {1, V::CleanSmart, {{0xFC, kAll, 0xD1, 0, 0, 0, N}}},
        {1, V::FtlVirgin, {{0xFC, kAll, 0x80, 2, 1, 0, N}}},
        {1, V::ForceFirmwareMode, {{0xFC, kAll, 0x20, kArgA, 0, 0, N}}},
        {1, V::RecoveryMode, {{0xFC, kAll, 0x122, 1, 0, 0, N}}},
        {1, V::KeepSpareBlocks, {{0xFC, kAll, 0x108, 0, 0, 0, N}}},
        {1, V::ThinCapacity, {{0xFC, 1, 0x10A, kArgA, kArgB, 0, N}}},
        {1, V::DriveInformation, {{0xFE, kAll, 0x82, 3, 0, 0, I}}},
        {1, V::FwConfigRead, {{0xFE, kAll, 0x82, 1, 0, 0, I}}},
        {1, V::FwConfigWrite, {{0xFD, kAll, 0x81, 1, 0, kSum, O}}},
        {1, V::PcieDataRead, {{0xFE, kAll, 0x82, 7, 0, 0, I}}},
        {1, V::PcieDataWrite, {{0xFC, kAll, 0x80, 9, 0, 0, N}, {0xFD, kAll, 0x81, 7, 0, 0, O}}},
        {1, V::CrashDumpChunk, {{0xFE, kAll, 0x82, 8, 0, 0, I}}},
        {1, V::CriticalLogChunk, {{0xFE, kAll, 0x82, 0x0B, kArgA, 4096, I}}},
        {1, V::ManufacturingInfo, {{0xFE, kAll, 0x63, kArgA, kArgB, kArgC, I}}},
        {1, V::GrownDefectList, {{0xFE, kAll, 0x65, 0, 0, 0, I}}},
        {1, V::DieGrownDefectList, {{0xFE, kAll, 0x68, kArgB, kArgC, 0, I}}},
        {1, V::OtpIdentifier, {{0xFE, kAll, 0x01, 0, 0, 0, I}}},
        {1, V::ReconstructionStatus, {{0xFE, kAll, 0x69, 0, 0, 0, I}}},
        {1, V::SpiDebugInfo, {{0xFE, kAll, 0x6C, kArgB, 0, 0, I}}},
        {1, V::VpdData, {{0xFC, kAll, 0x21, 0, 0, 0, N}, {0xFE, kAll, 0x22, 0xC80053, 0, 0, I, 100}}},
        // Selector 192.
        {192, V::EnableVendorMode, {{0xC0, kAll, 1, 1, 0, 0, N}}},
        {192, V::BrandNew, {{0xC0, kAll, 0x82, 1, kSA, kSB, N}}},
        {192, V::CleanSmart, {{0xC0, kAll, 0x83, 0, 0, 0, N}}},
        {192, V::FtlVirgin, {{0xC0, kAll, 0x82, 2, 1, 0, N}}},
        {192, V::ForceFirmwareMode, {{0xFF, kAll, 7, kArgA, 0, 0, N}}},
        {192, V::RecoveryMode, {{0xC0, kAll, 0x86, 1, 0, 0, N}}},
        {192, V::KeepSpareBlocks, {{0xC0, kAll, 0x84, 0, 0, 0, N}}},
        {192, V::ThinCapacity, {{0xC0, 1, 0x85, kArgA, kArgB, 0, N}}},
        {192, V::DriveInformation, {{0xC2, kAll, 0x86, 3, 0, 0, I}}},
        {192, V::FwConfigRead, {{0xC2, kAll, 0x86, 1, 0, 0, I}}},
        {192, V::FwConfigWrite, {{0xC1, kAll, 0x80, 1, 0, kSum, O}}},
        {192, V::PcieDataRead, {{0xC2, kAll, 0x86, 7, 0, 0, I}}},
        {192, V::PcieDataWrite, {{0xC1, kAll, 0x80, 7, 0, 0, O}}},
        {192, V::CrashDumpChunk, {{0xC2, kAll, 0x86, 8, 0, 0, I}}},
        {192, V::CriticalLogChunk, {{0xE6, kAll, 0x0B, 0, kArgA, 4096, I}}},
        {192, V::ManufacturingInfo, {{0xC2, kAll, 0x83, kArgA, kArgB, kSB, I}}},
        {192, V::GrownDefectList, {{0xC2, kAll, 0x84, 0, 0, 0, I}}},
        {192, V::DieGrownDefectList, {{0xD7, kAll, 0, 0, kSA, kSB, I}}},
        {192, V::OtpIdentifier, {{0xC2, kAll, 0x80, 0, 0, 0, I}}},
        {192, V::ReconstructionStatus, {{0xC2, kAll, 0x87, 0, 0, 0, I}}},
        {192, V::SpiDebugInfo, {}},
        {192, V::VpdData, {{0xC0, kAll, 0x81, 0, 0, 0, N}, {0xC2, kAll, 0x81, 0, 0, 0, I, 100}}},
        // Selector 0.
        {0, V::EnableVendorMode, {{0xFC, kAll, 0x1F, 0x717A7673, 1, 0, N}}},
        {0, V::BrandNew, {{0xE4, kAll, 1, 0, kSA, kSB, N}}},
        {0, V::CleanSmart, {{0xD0, kAll, 0, 0, kSA, kSB, N}}},
        {0, V::FtlVirgin, {{0xE4, kAll, 2, 0, kSA, kSB, N}}},
        {0, V::ForceFirmwareMode, {{0xFF, kAll, 7, kArgA, 0, 0, N}}},
        {0, V::RecoveryMode, {{0xF7, kAll, 1, 0, kSA, kSB, N}}},
        {0, V::KeepSpareBlocks, {{0xFF, kAll, 8, 0, 0, 0, N}}},
        {0, V::ThinCapacity, {{0xD1, 1, kArgA, kArgB, 0, 0, N}}},
        {0, V::DriveInformation, {{0xE6, kAll, 3, 0, kSA, kSB, I}}},
        {0, V::FwConfigRead, {{0xE6, kAll, 1, 0, kSA, kSB, I}}},
        {0, V::FwConfigWrite, {{0xE5, kAll, 1, 0, kSum, 0, O}}},
        {0, V::PcieDataRead, {{0xE6, kAll, 7, 0, kSA, kSB, I}}},
        {0, V::PcieDataWrite, {{0xE5, kAll, 7, 0, kSA, kSB, O}}},
        {0, V::CrashDumpChunk, {{0xE6, kAll, 8, 0, kSA, kSB, I}}},
        {0, V::CriticalLogChunk, {{0xE6, kAll, 0x0B, 0, kArgA, 4096, I}}},
        {0, V::ManufacturingInfo, {{0xF2, kAll, kArgA, 0, kSA, kSB, I}}},
        {0, V::GrownDefectList, {{0xD6, kAll, 0, 0, kSA, kSB, I}}},
        {0, V::DieGrownDefectList, {{0xD7, kAll, 0, 0, kSA, kSB, I}}},
        {0, V::OtpIdentifier, {{0xFF, kAll, 10, 0, kSA, kSB, I}}},
        {0, V::ReconstructionStatus, {{0xE6, kAll, 14, 0, 0, 0, I}}},
        {0, V::SpiDebugInfo, {}},
        {0, V::VpdData, {{0xFF, kAll, 18, 0, kSA, kSB, N}, {0xFF, kAll, 19, 0xFF0053, kSA, kSB, I, 100}}},
    };
}

void put32(std::array<uint8_t, 64>& b, int dword, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(dword * 4 + i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The submission entry an expected command must be, byte for byte.
std::array<uint8_t, 64> expected_bytes(const Expected& e) {
    std::array<uint8_t, 64> b{};
    b[0] = e.opcode;
    put32(b, 1, e.nsid);
    put32(b, 2, 0x717A7673);
    put32(b, 10, e.dir == DataDir::None ? 0 : kDw10);
    put32(b, 12, e.c12);
    put32(b, 13, e.c13);
    put32(b, 14, e.c14);
    put32(b, 15, e.c15);
    return b;
}

std::string where(const Case& c, size_t step) {
    return "selector " + std::to_string(c.selector) + ", " + vendor_op_name(c.op) + ", step " + std::to_string(step);
}

TEST(VendorOperationTest, TableCoversEveryOperationUnderEverySelector) {
    int cells[256] = {};
    for (const Case& c : table()) ++cells[c.selector];
    EXPECT_EQ(cells[1], kVendorOpCount);
    EXPECT_EQ(cells[192], kVendorOpCount);
    EXPECT_EQ(cells[0], kVendorOpCount);
}

TEST(VendorOperationTest, EveryCellEncodesItsExactBytes) {
    for (const Case& c : table()) {
        const std::vector<VendorStep> steps = vendor_steps(c.selector, c.op, sample_args(), kLen);
        ASSERT_EQ(steps.size(), c.steps.size()) << where(c, 0);
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(where(c, i));
            const Expected& e = c.steps[i];
            const NvmeRequestSpec& r = steps[i].request;
            EXPECT_EQ(r.command.bytes, expected_bytes(e));
            EXPECT_EQ(r.dir, e.dir);
            EXPECT_EQ(r.length, e.dir == DataDir::None ? 0u : kLen);
            EXPECT_EQ(r.queue, NvmeQueue::Admin);
            EXPECT_EQ(steps[i].delay_before_ms, e.delay);
        }
    }
}

TEST(VendorOperationTest, UnavailableCellsAndUnknownSelectorsGiveNoCommands) {
    EXPECT_TRUE(vendor_steps(192, VendorOp::SpiDebugInfo).empty());
    EXPECT_TRUE(vendor_steps(0, VendorOp::SpiDebugInfo).empty());
    EXPECT_TRUE(vendor_steps(2, VendorOp::DriveInformation).empty());
    EXPECT_TRUE(vendor_steps(-1, VendorOp::BrandNew).empty());
}

TEST(VendorOperationTest, ReconstructionStatusOfTheAlternateModels) {
    VendorArgs args;
    args.alternate_model = true;
    const std::vector<VendorStep> steps = vendor_steps(0, VendorOp::ReconstructionStatus, args);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].request.command.bytes, expected_bytes({0xEA, kAll, 0, 0, 0, 0, I}));
    // The other generations have one form for every model.
    EXPECT_EQ(vendor_steps(1, VendorOp::ReconstructionStatus, args)[0].request.command.opcode(), 0xFE);
    EXPECT_EQ(vendor_steps(192, VendorOp::ReconstructionStatus, args)[0].request.command.opcode(), 0xC2);
    auto got = decode_vendor_command(0, steps[0].request.command.bytes);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->op, VendorOp::ReconstructionStatus);
    EXPECT_TRUE(got->args.alternate_model);
}

TEST(VendorOperationTest, OtherDataLengthsChangeOnlyCdw10) {
    const auto steps = vendor_steps(1, VendorOp::CrashDumpChunk, {}, 512);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].request.command.cdw(10), 128u);
    EXPECT_EQ(steps[0].request.length, 512u);
    // A command without data carries no length whatever the caller gave.
    EXPECT_EQ(vendor_steps(1, VendorOp::BrandNew, {}, 512)[0].request.command.cdw(10), 0u);
}

TEST(VendorOperationTest, EveryCellDecodesBackToItsOperationStepAndArguments) {
    for (const Case& c : table()) {
        const std::vector<VendorStep> steps = vendor_steps(c.selector, c.op, sample_args(), kLen);
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(where(c, i));
            const auto got = decode_vendor_command(c.selector, steps[i].request.command.bytes);
            ASSERT_TRUE(got);
            EXPECT_EQ(got->op, c.op);
            EXPECT_EQ(got->step, static_cast<int>(i));
            EXPECT_EQ(got->dir, c.steps[i].dir);
            EXPECT_EQ(got->length, c.steps[i].dir == DataDir::None ? 0u : kLen);
            // Encoding the decoded arguments again gives the same command.
            const auto again = vendor_steps(c.selector, got->op, got->args, kLen);
            ASSERT_GT(again.size(), i);
            EXPECT_EQ(again[i].request.command.bytes, steps[i].request.command.bytes);
        }
    }
}

TEST(VendorOperationTest, ArgumentsComeBackFromTheirDwords) {
    VendorArgs args;
    args.a = 0x11223344;
    args.b = 0x55667788;
    args.c = 0x99AABBCC;
    const auto mp = vendor_steps(1, VendorOp::ManufacturingInfo, args);
    auto got = decode_vendor_command(1, mp[0].request.command.bytes);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->args.a, args.a);
    EXPECT_EQ(got->args.b, args.b);
    EXPECT_EQ(got->args.c, args.c);
    args.checksum = 0xDEADBEEF;
    got = decode_vendor_command(0, vendor_steps(0, VendorOp::FwConfigWrite, args)[0].request.command.bytes);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->args.checksum, 0xDEADBEEFu);
}

TEST(VendorOperationTest, ForeignCommandsAreNotRecognised) {
    auto bytes = vendor_steps(1, VendorOp::DriveInformation)[0].request.command.bytes;
    // Without the signature in CDW2.
    auto unsigned_cmd = bytes;
    unsigned_cmd[8] = 0;
    EXPECT_FALSE(decode_vendor_command(1, unsigned_cmd));
    // Another generation's command.
    EXPECT_FALSE(decode_vendor_command(0, bytes));
    EXPECT_FALSE(decode_vendor_command(192, bytes));
    // An unknown sub-code, a standard Identify, a short entry, an unknown selector.
    auto unknown = bytes;
    unknown[52] = 0x99;  // CDW13
    EXPECT_FALSE(decode_vendor_command(1, unknown));
    EXPECT_FALSE(decode_vendor_command(1, nvme_identify(1, 0).command.bytes));
    EXPECT_FALSE(decode_vendor_command(1, std::span<const uint8_t>(bytes.data(), 32)));
    EXPECT_FALSE(decode_vendor_command(5, bytes));
    // A selector-0 command whose signature pair is missing.
    auto no_pair = vendor_steps(0, VendorOp::BrandNew)[0].request.command.bytes;
    no_pair[56] = 0;
    EXPECT_FALSE(decode_vendor_command(0, no_pair));
}

TEST(VendorOperationTest, NamesAreDistinct) {
    std::vector<std::string> names;
    for (int i = 0; i < kVendorOpCount; ++i) names.push_back(vendor_op_name(static_cast<VendorOp>(i)));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

}  // namespace
}  // namespace tb
