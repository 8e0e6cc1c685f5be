// The vendor ATA protocol: the task files of each operation, their ATA
// PASS-THROUGH(12) CDBs byte for byte, the parameter sector, the pieces of a
// long transfer, and the device side's reading of a task file.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "vendor/ata_vendor_protocol.h"

namespace tb {
namespace {

using Cdb = std::array<uint8_t, 16>;

Cdb cdb_of(const AtaCommand& cmd) {
    ScsiPassThrough pt = build_ata_cdb(cmd);
    EXPECT_EQ(pt.cdb_length, 12);
    return pt.cdb;
}

TEST(AtaVendorProtocolTest, CommandWithoutDataCarriesFeatureAndKey) {
    const AtaVendorCommands cmds = ata_vendor_commands(VendorOp::BrandNew, {}, {});
    ASSERT_EQ(cmds.size(), 1u);
    const AtaCommand& c = cmds[0];
    EXPECT_EQ(c.command, 0xFA);
    EXPECT_EQ(c.feature, 0x02);
    EXPECT_EQ(c.sector_count, 0u);
    EXPECT_EQ(c.lba, 0x565300u);
    EXPECT_EQ(c.flags, kAtaNoData);
    EXPECT_FALSE(c.is_48bit());
    // ATA PASS-THROUGH(12): non-data protocol, no transfer, registers, command.
    EXPECT_EQ(cdb_of(c), (Cdb{0xA1, 0x06, 0x00, 0x02, 0x00, 0x00, 0x53, 0x56, 0x40, 0xFA}));
}

TEST(AtaVendorProtocolTest, DataInCommandReadsByPio) {
    std::vector<uint8_t> data(4096);
    const AtaVendorCommands cmds = ata_vendor_commands(VendorOp::DriveInformation, {}, data);
    ASSERT_EQ(cmds.size(), 1u);
    const AtaCommand& c = cmds[0];
    EXPECT_EQ(c.flags, kAtaPioIn);
    EXPECT_EQ(c.data.data(), data.data());
    EXPECT_EQ(c.data.size(), 4096u);
    EXPECT_EQ(cdb_of(c), (Cdb{0xA1, 0x08, 0x0E, 0x10, 0x08, 0x00, 0x53, 0x56, 0x40, 0xFB}));
    // The storage stack's register file of the same command.
    AtaPassThrough pt = build_ata_pass_through(c);
    EXPECT_EQ(pt.current[kAtaFeature], 0x10);
    EXPECT_EQ(pt.current[kAtaCount], 8);
    EXPECT_EQ(pt.current[kAtaLbaLow], 0x00);
    EXPECT_EQ(pt.current[kAtaLbaMid], 0x53);
    EXPECT_EQ(pt.current[kAtaLbaHigh], 0x56);
    EXPECT_EQ(pt.current[kAtaDevice], 0x40);
    EXPECT_EQ(pt.current[kAtaCommand], 0xFB);
}

TEST(AtaVendorProtocolTest, ArgumentsTravelInAParameterSectorFirst) {
    VendorArgs args;
    args.a = 0x01020304;
    args.b = 0x05060708;
    args.c = 0x090A0B0C;
    args.checksum = 0xCAFEF00D;
    std::vector<uint8_t> record(4096, 0x11);
    const AtaVendorCommands cmds = ata_vendor_commands(VendorOp::FwConfigWrite, args, record);
    ASSERT_EQ(cmds.size(), 2u);
    // The parameter command: PIO out of one sector, the operation's feature
    // code in LBA low.
    EXPECT_EQ(cdb_of(cmds[0]), (Cdb{0xA1, 0x0A, 0x06, 0x7F, 0x01, 0x12, 0x53, 0x56, 0x40, 0xFC}));
    ASSERT_EQ(cmds[0].data.size(), 512u);
    std::array<uint8_t, 24> head{'V', 'P', 'R', 'M', 0x12, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0x08, 0x07,
                                 0x06, 0x05, 0x0C, 0x0B, 0x0A, 0x09, 0x0D, 0xF0, 0xFE, 0xCA};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), cmds[0].data.begin()));
    EXPECT_TRUE(std::all_of(cmds[0].data.begin() + 24, cmds[0].data.end(), [](uint8_t b) { return b == 0; }));
    // The write itself.
    EXPECT_EQ(cdb_of(cmds[1]), (Cdb{0xA1, 0x0A, 0x06, 0x12, 0x08, 0x00, 0x53, 0x56, 0x40, 0xFC}));
    EXPECT_EQ(cmds[1].data.data(), record.data());
    // The sector decodes back to the arguments, for that operation only.
    const auto back = decode_ata_parameters(0x12, cmds[0].data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->a, args.a);
    EXPECT_EQ(back->b, args.b);
    EXPECT_EQ(back->c, args.c);
    EXPECT_EQ(back->checksum, args.checksum);
    EXPECT_FALSE(decode_ata_parameters(0x17, cmds[0].data));
    std::array<uint8_t, 512> bad = encode_ata_parameters(0x12, args);
    bad[0] = 'X';
    EXPECT_FALSE(decode_ata_parameters(0x12, bad));
}

TEST(AtaVendorProtocolTest, ParameterSectorOutlivesCopies) {
    VendorArgs args;
    args.a = 3;
    AtaVendorCommands copy;
    {
        const AtaVendorCommands cmds = ata_vendor_commands(VendorOp::ForceFirmwareMode, args, {});
        copy = cmds;
    }
    ASSERT_EQ(copy.size(), 2u);
    const auto back = decode_ata_parameters(0x05, copy[0].data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->a, 3u);
}

TEST(AtaVendorProtocolTest, LongTransfersAreCutInPiecesWithTheirPosition) {
    std::vector<uint8_t> log(300 * 512);
    const std::vector<AtaCommand> cmds = ata_only_commands(AtaOnlyOp::ReadEventLog, log, 0x123 * 4096);
    ASSERT_EQ(cmds.size(), 2u);
    // 248 sectors at position 0x123 (LBA low 0x23, device bits 0-3 = 1), then
    // 52 sectors 31 units later (0x142).
    EXPECT_EQ(cdb_of(cmds[0]), (Cdb{0xA1, 0x08, 0x0E, 0x42, 248, 0x23, 0x53, 0x56, 0x41, 0xFB}));
    EXPECT_EQ(cdb_of(cmds[1]), (Cdb{0xA1, 0x08, 0x0E, 0x42, 52, 0x42, 0x53, 0x56, 0x41, 0xFB}));
    EXPECT_EQ(cmds[0].data.data(), log.data());
    EXPECT_EQ(cmds[1].data.data(), log.data() + 248 * 512);
    const auto second = decode_ata_vendor(0xFB, 0x42, 52, cmds[1].lba);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->offset, 0x142u * 4096);
    EXPECT_EQ(second->length, 52u * 512);
}

TEST(AtaVendorProtocolTest, AtaOnlyOperations) {
    const auto clean = ata_only_commands(AtaOnlyOp::CleanEventLog);
    ASSERT_EQ(clean.size(), 1u);
    EXPECT_EQ(cdb_of(clean[0]), (Cdb{0xA1, 0x06, 0x00, 0x40, 0x00, 0x00, 0x53, 0x56, 0x40, 0xFA}));
    const auto train = ata_only_commands(AtaOnlyOp::TrainDdrEye);
    ASSERT_EQ(train.size(), 1u);
    EXPECT_EQ(cdb_of(train[0]), (Cdb{0xA1, 0x06, 0x00, 0x41, 0x00, 0x00, 0x53, 0x56, 0x40, 0xFA}));
}

TEST(AtaVendorProtocolTest, DataThatDoesNotSuitGivesNoCommands) {
    std::vector<uint8_t> odd(1000), sector(512);
    EXPECT_TRUE(ata_vendor_commands(VendorOp::DriveInformation, {}, odd).empty());
    EXPECT_TRUE(ata_vendor_commands(VendorOp::DriveInformation, {}, {}).empty());
    EXPECT_TRUE(ata_vendor_commands(VendorOp::BrandNew, {}, sector).empty());
    EXPECT_TRUE(ata_only_commands(AtaOnlyOp::ReadEventLog, sector, 100).empty());  // not on a 4096 boundary
    EXPECT_TRUE(ata_only_commands(AtaOnlyOp::ReadEventLog, sector, 0x1000 * 4096).empty());  // beyond 12 bits
    // NVMe-only operations have no ATA form.
    for (VendorOp op : {VendorOp::FtlVirgin, VendorOp::ThinCapacity, VendorOp::VpdData, VendorOp::CrashDumpChunk,
                        VendorOp::SpiDebugInfo, VendorOp::EnableVendorMode}) {
        EXPECT_EQ(ata_vendor_feature(op), 0) << vendor_op_name(op);
        EXPECT_TRUE(ata_vendor_commands(op, {}, sector).empty()) << vendor_op_name(op);
    }
}

// Every ATA form, as the host sends it, is read back by the device side.
TEST(AtaVendorProtocolTest, EveryFormDecodesBack) {
    const VendorOp forms[] = {VendorOp::BrandNew,          VendorOp::CleanSmart,     VendorOp::ForceFirmwareMode,
                              VendorOp::RecoveryMode,      VendorOp::KeepSpareBlocks, VendorOp::DriveInformation,
                              VendorOp::FwConfigRead,      VendorOp::FwConfigWrite,  VendorOp::ManufacturingInfo,
                              VendorOp::GrownDefectList,   VendorOp::DieGrownDefectList, VendorOp::OtpIdentifier,
                              VendorOp::ReconstructionStatus};
    std::vector<uint8_t> data(4096);
    for (VendorOp op : forms) {
        SCOPED_TRACE(vendor_op_name(op));
        const uint8_t feature = ata_vendor_feature(op);
        ASSERT_NE(feature, 0);
        AtaVendorCommands cmds = ata_vendor_commands(op, {}, data);
        if (cmds.empty()) cmds = ata_vendor_commands(op, {}, {});
        ASSERT_FALSE(cmds.empty());
        for (size_t i = 0; i < cmds.size(); ++i) {
            const AtaCommand& c = cmds[i];
            const auto got = decode_ata_vendor(c.command, c.feature, c.sector_count, c.lba);
            ASSERT_TRUE(got);
            EXPECT_FALSE(got->ata_only);
            EXPECT_EQ(got->op, op);
            EXPECT_EQ(got->parameters, i + 1 < cmds.size());
            EXPECT_EQ(got->length, c.data.size());
            EXPECT_EQ(got->dir, c.data_in() ? DataDir::In : c.data_out() ? DataDir::Out : DataDir::None);
        }
    }
    for (AtaOnlyOp op : {AtaOnlyOp::CleanEventLog, AtaOnlyOp::TrainDdrEye, AtaOnlyOp::ReadEventLog}) {
        const auto cmds = op == AtaOnlyOp::ReadEventLog ? ata_only_commands(op, data) : ata_only_commands(op);
        ASSERT_EQ(cmds.size(), 1u);
        const auto got = decode_ata_vendor(cmds[0].command, cmds[0].feature, cmds[0].sector_count, cmds[0].lba);
        ASSERT_TRUE(got);
        EXPECT_TRUE(got->ata_only);
        EXPECT_EQ(got->ata_op, op);
    }
}

TEST(AtaVendorProtocolTest, StrayTaskFilesAreRefused) {
    const uint64_t keyed = 0x565300;
    EXPECT_TRUE(decode_ata_vendor(0xFB, 0x10, 8, keyed));
    EXPECT_FALSE(decode_ata_vendor(0xFB, 0x10, 8, 0));               // no key
    EXPECT_FALSE(decode_ata_vendor(0xFB, 0x10, 8, 0x565400));        // wrong key
    EXPECT_FALSE(decode_ata_vendor(0xFC, 0x10, 8, keyed));           // a read under the write code
    EXPECT_FALSE(decode_ata_vendor(0xFB, 0x10, 0, keyed));           // no sectors
    EXPECT_FALSE(decode_ata_vendor(0xFB, 0x10, 256, keyed));         // beyond the register
    EXPECT_FALSE(decode_ata_vendor(0xFB, 0x33, 8, keyed));           // unknown feature
    EXPECT_FALSE(decode_ata_vendor(0x25, 0x10, 8, keyed));           // READ DMA EXT
    EXPECT_FALSE(decode_ata_vendor(0xFA, 0x02, 1, keyed));           // sectors on a no-data command
    EXPECT_FALSE(decode_ata_vendor(0xFC, 0x7F, 1, keyed | 0x10));    // parameters for an operation without any
    EXPECT_FALSE(decode_ata_vendor(0xFC, 0x7F, 2, keyed | 0x12));    // a parameter block of two sectors
    EXPECT_TRUE(decode_ata_vendor(0xFB, 0x10, 255, keyed));
}

}  // namespace
}  // namespace tb
