// Sending vendor operations and the vendor identification, against a fake
// NVMe controller that speaks one generation of the vendor commands (or
// none) and a fake ATA disk that speaks the vendor ATA protocol.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "disk/nvme_transport.h"
#include "disk/vendor_identification.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "tests/ata_fake_machine.h"
#include "tests/nvme_fakes.h"
#include "tests/test_support.h"
#include "vendor/ata_vendor_protocol.h"
#include "vendor/vendor_identify.h"
#include "vendor/vendor_records.h"
#include "vendor/vendor_send.h"

namespace tb {
namespace {

constexpr char kDrive[] = "\\\\.\\PHYSICALDRIVE1";
constexpr char kPort[] = "\\\\.\\scsi2:";
constexpr uint8_t kInvalidOpcode = 0x01, kInvalidField = 0x02;

// Disk lengths (512-byte sectors) of 2, 4 and 256 GB by the IDEMA rule.
constexpr uint64_t gb_length(uint64_t gb) { return (gb * 1953504 + 21168) * 512; }

// A controller of the maker (or not): what it reports and which vendor
// generation it speaks.
struct FakeController {
    uint16_t vid = kMakerPciVendorId;
    uint16_t bytes_2_3 = kMakerPciVendorId;
    uint64_t tnvmcap = gb_length(256);
    uint8_t byte256 = 0;
    std::optional<int> speaks;              // the selector it answers; none: refuses every vendor opcode
    std::optional<uint16_t> log_e1_soc;     // log page 0xE1 with 0x5A
    std::optional<DriveInformation> drive;  // drive information (else refused)
    std::optional<std::vector<uint8_t>> mp; // manufacturing information (else refused)
    int drive_ready_after = 0;              // drive information refused this many times first
    bool identify_fails = false;

    std::vector<std::string> seen;          // what reached it, in order
    int vendor_commands = 0;
};

DriveInformation drive_info(uint16_t soc, const std::string& revision) {
    DriveInformation d;
    d.soc_id = soc;
    d.firmware_revision = revision;
    return d;
}

std::vector<uint8_t> mp_record(uint32_t length, uint16_t soc, uint16_t word, const std::string& revision = "") {
    ManufacturingInformation m;
    m.record_length = length;
    m.soc_id = soc;
    m.vendor_word = word;
    m.firmware_revision = revision;
    return encode_manufacturing_information(m);
}

void fill(std::span<uint8_t> data, const std::vector<uint8_t>& bytes) {
    std::fill(data.begin(), data.end(), uint8_t{0});
    std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
}

void answer(FakeController& c, NvmePassThrough& pt) {
    NvmeCommand cmd;
    std::copy(pt.command.begin(), pt.command.end(), cmd.bytes.begin());
    set_completion(pt.completion, 0, 0);
    if (cmd.opcode() == nvme_op::kIdentify) {
        c.seen.push_back("identify");
        if (c.identify_fails) return set_completion(pt.completion, 0, kInvalidField);
        std::vector<uint8_t> id(4096, 0);
        put_le16(id, 0, c.vid);
        put_le16(id, 2, c.bytes_2_3);
        put_le64(id, 280, c.tnvmcap);
        id[256] = c.byte256;
        return fill(pt.data, id);
    }
    if (cmd.opcode() == nvme_op::kGetLogPage) {
        const uint32_t page = cmd.cdw(10) & 0xFF;
        c.seen.push_back("log " + std::to_string(page));
        if (page != 0xE1 || !c.log_e1_soc) return set_completion(pt.completion, 0, kInvalidField);
        std::vector<uint8_t> log(4096, 0);
        log[0] = 0x5A;
        put_le16(log, 2, *c.log_e1_soc);
        return fill(pt.data, log);
    }
    ++c.vendor_commands;
    const auto got = c.speaks ? decode_vendor_command(*c.speaks, cmd.bytes) : std::nullopt;
    if (!got) {
        c.seen.push_back("refused");
        return set_completion(pt.completion, 0, kInvalidOpcode);
    }
    c.seen.push_back(vendor_op_name(got->op));
    if (got->op == VendorOp::DriveInformation) {
        if (!c.drive || c.drive_ready_after-- > 0) return set_completion(pt.completion, 0, kInvalidField);
        return fill(pt.data, encode_drive_information(*c.drive));
    }
    if (got->op == VendorOp::ManufacturingInfo) {
        if (!c.mp) return set_completion(pt.completion, 0, kInvalidField);
        return fill(pt.data, *c.mp);
    }
}

std::vector<uint32_t> slept;

class VendorNvmeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        slept.clear();
        set_nvme_sleeper([](uint32_t ms) { slept.push_back(ms); });
        m.state->openable = {kDrive, kPort};
        m.disk().on_nvme = [this](NvmePassThrough& pt) { answer(ctl, pt); };
    }
    void TearDown() override {
        set_nvme_sleeper(nullptr);
        set_vendor_identifier(nullptr);
        app().debug_level = 0;
        EXPECT_EQ(m.state->live_handles, 0);
    }
    DiskRecord disk(uint64_t length = gb_length(256), uint8_t protocol = kProtoNvm) {
        DiskRecord r;
        r.access_protocol = protocol;
        r.device_path = kDrive;
        r.physical_path = kDrive;
        r.port_device_path = kPort;
        r.bytes_per_sector = 512;
        r.size_a = r.size_b = length;
        r.firmware_revision = "ID-FW";
        return r;
    }
    // Identifies a disk of the controller's capacity.
    DiskRecord identified() {
        DiskRecord r = disk(ctl.tnvmcap);
        identify_maker_controller(r);
        return r;
    }
    FakeController ctl;
    test::nvme_fake::FakeMachine m;
};

// ---- sending ----------------------------------------------------------------

TEST_F(VendorNvmeTest, SendsEveryStepOfAnOperationWithItsEcho) {
    ctl.speaks = 1;
    app().debug_level = 1;
    DiskRecord r = disk();
    r.command_set = 1;
    std::vector<uint8_t> data(4096);
    EXPECT_EQ(send_vendor(0, r, VendorOp::VpdData, {}, data), 0);
    EXPECT_EQ(ctl.seen, (std::vector<std::string>{"VPD data", "VPD data"}));
    EXPECT_EQ(slept, std::vector<uint32_t>{100});
    ASSERT_EQ(m.disk().nvme_seen.size(), 2u);
    EXPECT_EQ(m.disk().nvme_seen[0].dir, DataDir::None);
    EXPECT_EQ(m.disk().nvme_seen[1].dir, DataDir::In);
    // The echo of each command, grey, in the vendor trace form.
    std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text,
              "NVMe(IO:\"NODATA\", DataLenByte:0, OpCode:0xFC, NSID:0xFFFFFFFF, CDW2:0x717A7673, CDW10:0x0, "
              "CDW12:0x21, CDW13:0x0, CDW14:0x0, CDW15:0x0);");
    EXPECT_EQ(lines[1].text,
              "NVMe(IO:\"IN\", DataLenByte:4096, OpCode:0xFE, NSID:0xFFFFFFFF, CDW2:0x717A7673, CDW10:0x400, "
              "CDW12:0x22, CDW13:0xC80053, CDW14:0x0, CDW15:0x0);");
    EXPECT_EQ(lines[0].colour, colour::kGrey);
    EXPECT_EQ(lines[1].colour, colour::kGrey);
}

TEST_F(VendorNvmeTest, NoEchoAtDebugLevelZero) {
    ctl.speaks = 0;
    DiskRecord r = disk();
    EXPECT_EQ(send_vendor(0, r, VendorOp::CleanSmart, {}, {}), 0);
    EXPECT_TRUE(job_log_lines(0).empty());
}

TEST_F(VendorNvmeTest, UnavailableOperationSendsNothing) {
    ctl.speaks = 0;
    DiskRecord r = disk();
    std::vector<uint8_t> data(4096);
    EXPECT_EQ(send_vendor(0, r, VendorOp::SpiDebugInfo, {}, data), -74);
    r.command_set = 7;
    EXPECT_EQ(send_vendor(0, r, VendorOp::DriveInformation, {}, data), -74);
    EXPECT_TRUE(m.disk().nvme_seen.empty());
}

TEST_F(VendorNvmeTest, RefusedOpcodeGivesTheTransportCodeAndNothingMoreIsSent) {
    // A controller without the vendor commands, on the inbox path and on the
    // miniport path (where the refusal is a completion status).
    for (uint8_t protocol : {kProtoNvm, kProtoOfaNvm}) {
        SCOPED_TRACE(static_cast<int>(protocol));
        m.disk().nvme_seen.clear();
        DiskRecord r = disk(gb_length(256), protocol);
        r.command_set = 1;
        std::vector<uint8_t> data(4096);
        EXPECT_EQ(send_vendor(0, r, VendorOp::PcieDataWrite, {}, data), -74);
        EXPECT_EQ(m.disk().nvme_seen.size(), 1u);  // the second step never went
    }
}

TEST_F(VendorNvmeTest, DataThatDoesNotSuitIsABadArgument) {
    ctl.speaks = 1;
    DiskRecord r = disk();
    r.command_set = 1;
    std::vector<uint8_t> odd(4095);
    EXPECT_EQ(send_vendor(0, r, VendorOp::DriveInformation, {}, odd), -2);
    EXPECT_EQ(send_vendor(0, r, VendorOp::DriveInformation, {}, {}), -2);
    EXPECT_TRUE(m.disk().nvme_seen.empty());
}

TEST_F(VendorNvmeTest, UnopenableDiskAndOtherProtocols) {
    DiskRecord r = disk();
    r.device_path = "\\\\.\\PHYSICALDRIVE9";
    EXPECT_EQ(send_vendor(0, r, VendorOp::BrandNew, {}, {}), -1);
    r = disk();
    r.access_protocol = kProtoRaid;
    EXPECT_EQ(send_vendor(0, r, VendorOp::BrandNew, {}, {}), -74);
    EXPECT_EQ(send_ata_only(0, disk(), AtaOnlyOp::CleanEventLog), -74);  // an NVMe disk
    EXPECT_TRUE(m.disk().nvme_seen.empty());
}

// ---- NVMe identification ------------------------------------------------------

TEST_F(VendorNvmeTest, RomModeTakesTheSocFromIdentify) {
    ctl.tnvmcap = 0;
    ctl.bytes_2_3 = 0x2262;
    ctl.speaks = 1;
    DiskRecord r = disk(0);
    r.command_set = 1;
    EXPECT_EQ(identify_maker_controller(r), 0x2262u);
    EXPECT_EQ(r.soc_id, 0x2262u);
    EXPECT_EQ(r.firmware_kind, 0);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(ctl.vendor_commands, 0);
}

TEST_F(VendorNvmeTest, TwoGigabytesWithoutByte256Bit1IsTakenFromIdentify) {
    ctl.tnvmcap = gb_length(2);
    ctl.bytes_2_3 = 0x2263;
    ctl.speaks = 0;
    ctl.drive = drive_info(0x4444, "DRV1");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x2263u);
    EXPECT_EQ(r.firmware_kind, 0);
    EXPECT_EQ(ctl.vendor_commands, 0);
}

TEST_F(VendorNvmeTest, TwoGigabytesWithByte256Bit1RunsTheFullIdentification) {
    ctl.tnvmcap = gb_length(2);
    ctl.bytes_2_3 = 0x2263;
    ctl.byte256 = 0x02;
    ctl.speaks = 0;
    ctl.drive = drive_info(0x4444, "DRV1");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x4444u);
    EXPECT_EQ(r.firmware_kind, 1);  // 2 GB firmware
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_revision2, "DRV1");
}

TEST_F(VendorNvmeTest, OtherMakersVendorIdIsKind9999WithoutCommands) {
    ctl.vid = 0x8086;
    ctl.speaks = 0;
    ctl.drive = drive_info(0x4444, "DRV1");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0u);
    EXPECT_EQ(r.firmware_kind, 9999);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(ctl.seen, std::vector<std::string>{"identify"});
}

TEST_F(VendorNvmeTest, VendorLogPageSelectsGenerationOne) {
    ctl.speaks = 1;
    ctl.log_e1_soc = 0x3333;
    ctl.drive = drive_info(0x3333, "E1FW0001");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x3333u);
    EXPECT_EQ(r.command_set, 1);
    EXPECT_EQ(r.firmware_kind, 3);
    EXPECT_EQ(r.firmware_revision2, "E1FW0001");
    // The manufacturing information is asked for the vendor word.
    EXPECT_EQ(ctl.seen, (std::vector<std::string>{"identify", "log 225", "enable vendor mode", "drive information",
                                                  "manufacturing information"}));
}

TEST_F(VendorNvmeTest, DriveInformationUnderSelectorZero) {
    ctl.tnvmcap = gb_length(4);
    ctl.speaks = 0;
    ctl.drive = drive_info(0x5150, "ZERO0001");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x5150u);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_kind, 2);  // 4 GB firmware
    EXPECT_EQ(r.firmware_revision2, "ZERO0001");
}

TEST_F(VendorNvmeTest, DriveInformationUnderSelectorOneAfterEnablingVendorMode) {
    ctl.speaks = 1;
    ctl.drive = drive_info(0x6160, "ONE00001");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x6160u);
    EXPECT_EQ(r.command_set, 1);
    EXPECT_EQ(r.firmware_kind, 3);
    EXPECT_EQ(ctl.seen, (std::vector<std::string>{"identify", "log 225", "refused", "enable vendor mode",
                                                  "drive information", "manufacturing information"}));
}

TEST_F(VendorNvmeTest, FullManufacturingRecordGivesSocAndVendorWord) {
    ctl.speaks = 0;
    ctl.mp = mp_record(1768, 0x5678, 300, "MPFW0001");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0x5678u);
    EXPECT_EQ(r.vendor_word, 300u);
    EXPECT_EQ(r.firmware_kind, 103);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_revision2, "MPFW0001");
    ctl.tnvmcap = gb_length(2);
    ctl.byte256 = 2;
    EXPECT_EQ(identified().firmware_kind, 101);
    ctl.tnvmcap = gb_length(4);
    EXPECT_EQ(identified().firmware_kind, 102);
}

TEST_F(VendorNvmeTest, ShortManufacturingFormSuppliesTheVendorWord) {
    ctl.speaks = 0;
    ctl.drive = drive_info(22117, "SHORT001");
    ctl.mp = mp_record(4096, 0, 128);
    EXPECT_EQ(identified().vendor_word, 128u);
    // Doubled from SoC 22118 on.
    ctl.drive = drive_info(22118, "SHORT001");
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 22118u);
    EXPECT_EQ(r.vendor_word, 256u);
    // A full record does not fill a missing word this way.
    ctl.mp = mp_record(1768, 0x1234, 128);
    EXPECT_EQ(identified().vendor_word, 0u);
}

TEST_F(VendorNvmeTest, MakersControllerIsAskedUpToThreeMoreTimes) {
    ctl.speaks = 0;
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0u);
    EXPECT_EQ(r.firmware_kind, 9999);
    EXPECT_EQ(slept, (std::vector<uint32_t>{500, 500, 500}));
    EXPECT_EQ(std::count(ctl.seen.begin(), ctl.seen.end(), "log 225"), 4);
    // One that answers on its third try.
    slept.clear();
    ctl.drive = drive_info(0x7170, "LATE0001");
    ctl.drive_ready_after = 2;  // refused on the first two tries
    r = identified();
    EXPECT_EQ(r.soc_id, 0x7170u);
    EXPECT_EQ(slept, (std::vector<uint32_t>{500, 500}));
}

TEST_F(VendorNvmeTest, ControllerWithoutVendorCommandsStaysUnidentified) {
    ctl.vid = 0x1B36;
    ctl.bytes_2_3 = 0x1AF4;
    DiskRecord r = identified();
    EXPECT_EQ(r.soc_id, 0u);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_kind, 9999);
    EXPECT_TRUE(slept.empty());  // not the maker's vendor id: asked once
    EXPECT_EQ(std::count(ctl.seen.begin(), ctl.seen.end(), "log 225"), 1);
    EXPECT_GT(ctl.vendor_commands, 0);
}

TEST_F(VendorNvmeTest, FailedIdentifyLeavesNoSoc) {
    ctl.identify_fails = true;
    DiskRecord r = disk();
    r.soc_id = 0x1111;
    r.command_set = 1;
    EXPECT_EQ(identify_maker_controller(r), 0u);
    EXPECT_EQ(r.soc_id, 0u);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(ctl.vendor_commands, 0);
}

TEST_F(VendorNvmeTest, InstalledAsTheSystemsIdentification) {
    ctl.speaks = 0;
    ctl.drive = drive_info(0x2468, "HOOK0001");
    DiskRecord r = disk(ctl.tnvmcap);
    EXPECT_EQ(identify_vendor(r), 0u);  // the built-in one reads nothing
    install_vendor_identification();
    EXPECT_EQ(identify_vendor(r), 0x2468u);
    EXPECT_EQ(r.soc_id, 0x2468u);
}

// ---- ATA ---------------------------------------------------------------------

// A SATA disk that speaks the vendor ATA protocol through the storage stack's
// ATA pass-through.
class VendorAtaTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        state = std::make_shared<test::FakeMachineState>();
        state->on_ata = [this](AtaPassThrough& pt) { return answer(pt); };
        // A refused command is not taken by the translation fallback either.
        state->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
        set_disk_platform(std::make_unique<test::FakePlatform>(state));
    }
    void TearDown() override {
        set_disk_platform(nullptr);
        app().debug_level = 0;
    }
    DeviceStatus answer(AtaPassThrough& pt) {
        const uint64_t lba = pt.current[kAtaLbaLow] | pt.current[kAtaLbaMid] << 8 | pt.current[kAtaLbaHigh] << 16 |
                             static_cast<uint64_t>(pt.current[kAtaDevice] & 0xF) << 24;
        const auto got = decode_ata_vendor(pt.current[kAtaCommand], pt.current[kAtaFeature], pt.current[kAtaCount], lba);
        pt.current[kAtaStatus] = 0x50;
        if (!got || !speaks) {
            pt.current[kAtaStatus] = 0x51;
            pt.current[kAtaError] = 0x04;  // ABORT
            return DeviceStatus::Ok;
        }
        received.push_back(*got);
        if (got->parameters) params = decode_ata_parameters(ata_vendor_feature(got->op), pt.data);
        if (!got->ata_only && got->op == VendorOp::DriveInformation && drive)
            fill(pt.data, encode_drive_information(*drive));
        return DeviceStatus::Ok;
    }
    DiskRecord disk() {
        DiskRecord r;
        r.access_protocol = kProtoAta;
        r.device_path = kDrive;
        r.bytes_per_sector = 512;
        r.size_b = gb_length(4);
        return r;
    }
    std::shared_ptr<test::FakeMachineState> state;
    bool speaks = true;
    std::optional<DriveInformation> drive;
    std::vector<ReceivedAtaVendor> received;
    std::optional<VendorArgs> params;
};

TEST_F(VendorAtaTest, OperationWithArgumentsSendsParametersThenTheCommand) {
    app().debug_level = 1;
    VendorArgs args;
    args.a = 1;
    EXPECT_EQ(send_vendor(0, disk(), VendorOp::ForceFirmwareMode, args, {}), 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_TRUE(received[0].parameters);
    EXPECT_EQ(received[1].op, VendorOp::ForceFirmwareMode);
    ASSERT_TRUE(params);
    EXPECT_EQ(params->a, 1u);
    const std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text,
              "ATA( IO:\"NODATA\", ATACmd:0xFA, Feature:5, SectorCount:0, Low:0x0, Mid:0x53, High:0x56, "
              "ExLow:0x0, ExMid:0x0, ExHigh:0x0 );");
    EXPECT_EQ(lines[1].colour, colour::kGrey);
}

TEST_F(VendorAtaTest, RefusedCommandStopsTheSequence) {
    speaks = false;
    std::vector<uint8_t> record(4096);
    EXPECT_EQ(send_vendor(0, disk(), VendorOp::FwConfigWrite, {}, record), -74);
    EXPECT_EQ(state->ata.size(), 1u);  // the parameter sector only
}

TEST_F(VendorAtaTest, NvmeOnlyOperationsAndBadDataAreNotSent) {
    std::vector<uint8_t> data(4096), odd(100);
    EXPECT_EQ(send_vendor(0, disk(), VendorOp::VpdData, {}, data), -74);
    EXPECT_EQ(send_vendor(0, disk(), VendorOp::DriveInformation, {}, odd), -2);
    EXPECT_TRUE(state->ata.empty());
}

TEST_F(VendorAtaTest, AtaOnlyOperationsAndTheEventLog) {
    EXPECT_EQ(send_ata_only(0, disk(), AtaOnlyOp::TrainDdrEye), 0);
    std::vector<uint8_t> log(8192);
    EXPECT_EQ(send_ata_only(0, disk(), AtaOnlyOp::ReadEventLog, log, 8192), 0);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].ata_op, AtaOnlyOp::TrainDdrEye);
    EXPECT_EQ(received[1].ata_op, AtaOnlyOp::ReadEventLog);
    EXPECT_EQ(received[1].offset, 8192u);
    EXPECT_EQ(received[1].length, 8192u);
}

TEST_F(VendorAtaTest, IdentificationByTheDriveInformation) {
    drive = drive_info(0x2580, "SATA0001");
    DiskRecord r = disk();
    EXPECT_EQ(identify_maker_controller(r), 0x2580u);
    EXPECT_EQ(r.firmware_kind, 2);
    EXPECT_EQ(r.command_set, 0);
    EXPECT_EQ(r.firmware_revision2, "SATA0001");
    // A disk that refuses the protocol is no controller of the maker.
    speaks = false;
    r = disk();
    EXPECT_EQ(identify_maker_controller(r), 0u);
    EXPECT_EQ(r.firmware_kind, -1);
    EXPECT_TRUE(job_log_lines(0).empty());  // identification echoes nothing
}

}  // namespace
}  // namespace tb
