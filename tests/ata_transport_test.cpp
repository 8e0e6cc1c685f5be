// Sending ATA commands through a scripted machine: path choice and fallback,
// the echoed form, IDENTIFY reading, bridge detection and bridge power.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/ata_identify.h"
#include "disk/ata_transport.h"
#include "script/app_context.h"
#include "tests/ata_fake_machine.h"

namespace tb {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ScopedFakeMachine;

DiskRecord sata_disk(uint8_t protocol = kProtoAta) {
    DiskRecord r;
    r.device_path = "\\\\.\\PHYSICALDRIVE1";
    r.physical_path = "\\\\.\\PHYSICALDRIVE1";
    r.access_protocol = protocol;
    r.bytes_per_sector = 512;
    return r;
}

class AtaTransport : public ::testing::Test {
protected:
    void SetUp() override { reset_app_context(); }
    void TearDown() override { reset_app_context(); }
    ScopedFakeMachine m;
};

TEST_F(AtaTransport, UsbAtaNeverTriesThePassThrough) {
    m->on_ata = [](AtaPassThrough&) { return DeviceStatus::Ok; };
    auto dev = disk_platform().open("x");
    std::vector<uint8_t> data(512);
    EXPECT_TRUE(send_ata(kProtoUsbAta, *dev, make_ata_command(0xEC, 0, kAtaPioIn, 0, data)));
    EXPECT_TRUE(m->ata.empty());
    ASSERT_EQ(m->scsi.size(), 1u);
    EXPECT_EQ(m->scsi[0].req.cdb[0], 0xA1);
}

TEST_F(AtaTransport, PassThroughFirstAndTranslationWhenItFails) {
    uint8_t status = 0x50;
    DeviceStatus answer = DeviceStatus::Ok;
    m->on_ata = [&](AtaPassThrough& r) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(r.data.data()) % 16, 0u);
        if (!r.data.empty()) std::memset(r.data.data(), 0xA5, r.data.size());
        r.current[kAtaStatus] = status;
        return answer;
    };
    auto dev = disk_platform().open("x");
    std::vector<uint8_t> data(512);

    // Accepted: the data comes back through the aligned buffer, no translation.
    EXPECT_TRUE(send_ata(kProtoAta, *dev, make_ata_command(0xEC, 0, kAtaPioIn, 0, data)));
    EXPECT_EQ(data[0], 0xA5);
    EXPECT_EQ(data[511], 0xA5);
    EXPECT_TRUE(m->scsi.empty());

    // Error bit in the status: translated instead.
    status = 0x51;
    EXPECT_TRUE(send_ata(kProtoAta, *dev, make_ata_command(0xE1, 0, kAtaNoData, 0)));
    EXPECT_EQ(m->translated_commands(), Bytes{0xE1});

    // Failed request (and a backend without the path): translated too.
    answer = DeviceStatus::Failed;
    EXPECT_TRUE(send_ata(kProtoAta, *dev, make_ata_command(0xE0, 0, kAtaNoData, 0)));
    m->on_ata = nullptr;
    EXPECT_TRUE(send_ata(kProtoNvm, *dev, make_ata_command(0xE1, 0, kAtaNoData, 0)));
    EXPECT_EQ(m->ata_commands(), (Bytes{0xEC, 0xE1, 0xE0, 0xE1}));
    EXPECT_EQ(m->translated_commands(), (Bytes{0xE1, 0xE0, 0xE1}));

    // Both paths failing fails.
    m->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
    EXPECT_FALSE(send_ata(kProtoAta, *dev, make_ata_command(0xE1, 0, kAtaNoData, 0)));
}

TEST_F(AtaTransport, EchoTextFollowsTheDebugLevel) {
    const AtaLbaBytes lba{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ata_echo_text(0xB0, 0xD4, kAtaNoData, lba, 0), "");
    app().debug_level = 1;
    EXPECT_EQ(ata_echo_text(0xB0, 0xD4, kAtaNoData, lba, 0),
              "ATA( IO:\"NODATA\", ATACmd:0xB0, Feature:212, SectorCount:0, Low:0x1, Mid:0x2, High:0x3, "
              "ExLow:0x4, ExMid:0x5, ExHigh:0x6 );");
    EXPECT_NE(ata_echo_text(0x35, 0, kAtaDmaOut, lba, 1).find("IO:\"OUT\""), std::string::npos);
    EXPECT_EQ(lba.lba(), 0x060504030201ULL);
    const AtaLbaBytes split = AtaLbaBytes::of(0x060504030201ULL);
    EXPECT_EQ(ata_echo_text(0xB0, 0xD4, kAtaNoData, split, 0), ata_echo_text(0xB0, 0xD4, kAtaNoData, lba, 0));
}

TEST_F(AtaTransport, EchoedCommandSendsIdleAfterAFailure) {
    m->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
    const DiskRecord disk = sata_disk(kProtoUsbAta);
    std::string echo = "stale";
    std::vector<uint8_t> data(2 * 512);
    EXPECT_EQ(ata_command_with_echo(disk, 0x20, 0, kAtaPioIn, {}, 2, data, echo), -3);
    EXPECT_EQ(echo, "");
    EXPECT_EQ(ata_command_with_echo(disk, 0x30, 0, kAtaPioOut, {}, 2, data, echo), -4);
    EXPECT_EQ(ata_command_with_echo(disk, 0xE0, 0, kAtaNoData, {}, 0, {}, echo), -1);
    EXPECT_EQ(m->translated_commands(), (Bytes{0x20, 0xE1, 0x30, 0xE1, 0xE0, 0xE1}));

    m->on_scsi = nullptr;
    m->scsi.clear();
    EXPECT_EQ(ata_command_with_echo(disk, 0xE0, 0, kAtaNoData, {}, 0, {}, echo), 1);
    EXPECT_EQ(m->translated_commands(), Bytes{0xE0});

    m->openable = {"\\\\.\\PHYSICALDRIVE9"};
    EXPECT_EQ(ata_command_with_echo(disk, 0xE0, 0, kAtaNoData, {}, 0, {}, echo), -1);
}

TEST_F(AtaTransport, IdentifyIsReadFromTheDevicePath) {
    m->on_scsi = [](ScsiPassThrough& r) {
        // model "AB" in words 27..: 'A' in the high byte of the word
        r.data[54] = 'B';
        r.data[55] = 'A';
        return DeviceStatus::Ok;
    };
    DiskRecord disk = sata_disk(kProtoUsbAta);
    disk.device_path = "\\\\.\\C:";
    AtaIdentifySummary s;
    ASSERT_EQ(read_identify_summary(disk, s), 1);
    EXPECT_EQ(s.model, "AB");
    EXPECT_EQ(m->opened, std::vector<std::string>{"\\\\.\\C:"});
    EXPECT_EQ(m->translated_commands(), Bytes{0xEC});

    m->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
    EXPECT_EQ(read_identify_summary(disk, s), -3);
    m->openable = {"none"};
    EXPECT_EQ(read_identify_summary(disk, s), -1);
}

// INQUIRY replies for bridge detection.
struct Inquiry {
    uint8_t b36, b37;
    const char* vendor;
    const char* product;
    uint8_t removable;
};

Bytes inquiry_reply(const Inquiry& q) {
    Bytes r(38, 0);
    r[1] = q.removable;
    std::memcpy(&r[8], q.vendor, std::min<size_t>(8, std::strlen(q.vendor)));
    std::memcpy(&r[16], q.product, std::min<size_t>(16, std::strlen(q.product)));
    r[36] = q.b36;
    r[37] = q.b37;
    return r;
}

TEST(AtaBridge, InquiryVerdicts) {
    struct Case {
        Inquiry q;
        uint8_t expected;
    };
    const Case cases[] = {
        {{0x30, 0x35, "JMicron", "Generic", 0}, kProtoJmi},
        {{0x35, 0x35, "JMicron", "Generic", 0}, kProtoJmi},
        {{0x60, 0x23, "ASMT", "ASM2364 NVMe", 0}, kProtoAsm2364},
        {{0x60, 0x23, "ASMT", "asm2364", 0}, kProtoAsm2364},
        {{0x60, 0x23, "ASMT", "ASM2362", 0}, kProtoAsm2362},
        {{0, 0, "Realtek", "RTL9210B NVME", 0}, kProtoRtl9210B},
        {{0, 0, "Realtek", "RTL9210 NVME", 0}, kProtoRtl9210},
        {{0x60, 0x23, "Realtek", "RTL9210B", 0}, kProtoRtl9210B},  // the product test comes later
        {{0x05, 0x21, "Realtek", "RTL9210", 0}, kProtoUsbAta},     // and 05 21 after it
        {{0x30, 0x35, "Sata", "Bridge", 0}, kProtoUsbAta},         // vendor "SATA" is final
        {{0, 0, "Kingston", "DataTraveler", 1}, kProtoFlashDrv},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bridge_from_inquiry(inquiry_reply(c.q)), c.expected) << c.q.product;
    }
}

TEST(AtaBridge, DetectionSendsInquiryOnThePhysicalPath) {
    ScopedFakeMachine m;
    const Bytes reply = inquiry_reply({0x30, 0x35, "JMicron", "Generic", 0});
    m->on_scsi = [&](ScsiPassThrough& r) {
        if (r.cdb[0] != 0x12) return DeviceStatus::Failed;
        std::copy(reply.begin(), reply.end(), r.data.begin());
        return DeviceStatus::Ok;
    };
    DiskRecord disk;
    disk.physical_path = "\\\\.\\PHYSICALDRIVE2";
    disk.device_path = "\\\\.\\F:";
    EXPECT_EQ(detect_bridge(disk), kProtoJmi);
    ASSERT_EQ(m->scsi.size(), 1u);
    EXPECT_EQ(m->opened.at(0), "\\\\.\\PHYSICALDRIVE2");
    const auto& q = m->scsi[0].req;
    EXPECT_EQ(q.cdb_length, 6);
    EXPECT_EQ(Bytes(q.cdb.begin(), q.cdb.begin() + 6), (Bytes{0x12, 0, 0, 0, 38, 0}));
    EXPECT_EQ(q.dir, DataDir::In);
    EXPECT_EQ(q.data.size(), 38u);
}

TEST(AtaBridge, RemovableUnknownDeviceIsAFlashDriveWithoutProbes) {
    ScopedFakeMachine m;
    const Bytes reply = inquiry_reply({0, 0, "Generic", "Flash Disk", 0x80});
    m->on_scsi = [&](ScsiPassThrough& r) {
        if (r.cdb[0] == 0x12) std::copy(reply.begin(), reply.end(), r.data.begin());
        return DeviceStatus::Ok;
    };
    DiskRecord disk;
    disk.physical_path = "\\\\.\\PHYSICALDRIVE3";
    EXPECT_EQ(detect_bridge(disk), kProtoFlashDrv);
    EXPECT_EQ(m->scsi.size(), 1u);  // the INQUIRY only

    m->openable = {"elsewhere"};
    EXPECT_EQ(detect_bridge(disk), kProtoFlashDrv);
}

// An unknown, fixed USB device: the NVMe probes decide. `fails` lists the CDB
// opcodes the bridge rejects; a 4096-byte read gets PCI vendor id 0x1E0F and
// `byte20` at byte 20.
uint8_t probe_verdict(std::vector<uint8_t> fails, uint8_t byte20 = 'S') {
    ScopedFakeMachine m;
    const Bytes reply = inquiry_reply({0, 0, "Generic", "External", 0});
    m->on_scsi = [&](ScsiPassThrough& r) {
        if (r.cdb[0] == 0x12) std::copy(reply.begin(), reply.end(), r.data.begin());
        if (std::find(fails.begin(), fails.end(), r.cdb[0]) != fails.end()) return DeviceStatus::Failed;
        if (r.dir == DataDir::In && r.data.size() == 4096) {
            r.data[0] = 0x0F;
            r.data[1] = 0x1E;
            r.data[20] = byte20;
        }
        return DeviceStatus::Ok;
    };
    DiskRecord disk;
    disk.physical_path = disk.device_path = "\\\\.\\PHYSICALDRIVE5";
    return detect_bridge(disk);
}

TEST(AtaBridge, NvmeProbesInOrder) {
    EXPECT_EQ(probe_verdict({}), kProtoAsm2362);                              // ASMedia answers first
    EXPECT_EQ(probe_verdict({0xEA, 0xEB, 0xE6}), kProtoJmi);                  // then JMicron
    EXPECT_EQ(probe_verdict({0xEA, 0xEB, 0xE6, 0xA1}), kProtoRtl9210B);       // then the RTL9210B
    EXPECT_EQ(probe_verdict({0xEA, 0xEB, 0xE6, 0xA1, 0xE5}), kProtoRtl9210);  // then the RTL9210
    EXPECT_EQ(probe_verdict({0xEA, 0xEB, 0xE6, 0xA1}, ' '), kProtoFlashDrv);  // unprintable byte 20
}

TEST(AtaBridge, PowerRequests) {
    ScopedFakeMachine m;
    auto dev = disk_platform().open("x");
    EXPECT_EQ(asmedia_power_request(*dev, kAsmRelink), 1);
    ASSERT_EQ(m->scsi.size(), 1u);
    EXPECT_EQ(Bytes(m->scsi[0].req.cdb.begin(), m->scsi[0].req.cdb.end()),
              (Bytes{0xEA, 0x5A, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(m->scsi[0].req.dir, DataDir::None);

    m->scsi.clear();
    EXPECT_EQ(jmicron_power_request(*dev, kJmiPowerCycle), 1);
    ASSERT_EQ(m->scsi.size(), 3u);
    const auto& first = m->scsi[0];
    EXPECT_EQ(Bytes(first.req.cdb.begin(), first.req.cdb.begin() + 6), (Bytes{0xA1, 0x80, 0, 0, 0x02, 0}));
    EXPECT_EQ(first.req.dir, DataDir::Out);
    ASSERT_EQ(first.data.size(), 512u);
    EXPECT_EQ(std::string(first.data.begin(), first.data.begin() + 4), "NVME");
    EXPECT_EQ(first.data[72], 5);
    EXPECT_EQ(m->scsi[1].req.cdb[1], 0x81);
    EXPECT_EQ(m->scsi[2].req.cdb[1], 0x8F);
    EXPECT_EQ(m->scsi[2].data.size(), 512u);

    // The completion read is not checked; the first two are, CHECK CONDITION included.
    m->on_scsi = [](ScsiPassThrough& r) {
        if (r.cdb[1] == 0x81) r.scsi_status = 2;
        return r.cdb[1] == 0x8F ? DeviceStatus::Failed : DeviceStatus::Ok;
    };
    EXPECT_EQ(jmicron_power_request(*dev, kJmiPowerOff), -74);
    m->on_scsi = [](ScsiPassThrough& r) { return r.cdb[1] == 0x8F ? DeviceStatus::Failed : DeviceStatus::Ok; };
    EXPECT_EQ(jmicron_power_request(*dev, kJmiPowerOn), 1);

    DiskRecord disk;
    disk.physical_path = "\\\\.\\PHYSICALDRIVE4";
    m->openable = {"other"};
    EXPECT_EQ(jmicron_power_request(disk, kJmiRelink), -1);
}

}  // namespace
}  // namespace tb
