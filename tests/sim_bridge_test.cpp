// The simulated USB bridges: INQUIRY marks, each chip's NVMe protocol and
// nothing else, and the bridge power requests.
#include <gtest/gtest.h>

#include <cstring>

#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

// One disk behind every kind of bridge: disk N has the bridge of kBridges[N].
const char* const kBridges[] = {"jmicron", "asm2362", "asm2364", "rtl9210b", "rtl9210", "usb-sata", "flash"};

std::string all_bridges() {
    std::string s;
    for (int i = 0; i < 7; ++i) {
        s += "[disk" + std::to_string(i) + "]\ntype = usb\nbridge = " + kBridges[i] + "\nmodel = BRIDGED DISK " +
             std::to_string(i) + "\ncapacity = 2GB\nusb = 2." + std::to_string(i + 1) + "\n";
    }
    return s;
}

std::vector<uint8_t> inquiry(DiskDevice& d) {
    std::vector<uint8_t> buf(38, 0);
    auto r = cdb({0x12, 0, 0, 0, 38, 0}, DataDir::In, buf);
    EXPECT_EQ(d.scsi(r), DeviceStatus::Ok);
    EXPECT_EQ(r.scsi_status, 0);
    EXPECT_EQ(r.transferred, 38u);
    return buf;
}

std::array<uint8_t, 64> identify_command(uint8_t cns, uint32_t nsid = 0) {
    std::array<uint8_t, 64> c{};
    c[0] = 0x06;
    put_le32(c, 4, nsid);
    put_le32(c, 40, cns);
    return c;
}

// Get Log Page 02h, 512 bytes.
std::array<uint8_t, 64> smart_command() {
    std::array<uint8_t, 64> c{};
    c[0] = 0x02;
    put_le32(c, 4, 0xFFFFFFFF);
    put_le32(c, 40, 0x02 | (127u << 16));
    return c;
}

// ---- the chips' protocols, as a host sends them ---------------------------

struct Outcome {
    bool ok = true;
    uint32_t dw0 = 0;
};

Outcome step(DiskDevice& d, ScsiPassThrough r) {
    EXPECT_EQ(d.scsi(r), DeviceStatus::Ok);
    return {r.scsi_status == 0, 0};
}

Outcome jmicron(DiskDevice& d, const std::array<uint8_t, 64>& cmd, DataDir dir, std::span<uint8_t> data,
                uint8_t power = 0) {
    std::vector<uint8_t> block(512, 0);
    std::memcpy(block.data(), "NVME", 4);
    if (power) block[72] = power;
    else std::memcpy(block.data() + 8, cmd.data(), 64);
    if (!step(d, cdb({0xA1, 0x80, 0, 0, 0x02, 0x00, 0, 0, 0, 0, 0, 0}, DataDir::Out, block)).ok) return {false};
    uint8_t phase = dir == DataDir::None ? 1 : dir == DataDir::In ? 2 : 3;
    uint32_t n = static_cast<uint32_t>(data.size());
    Outcome o = step(d, cdb({0xA1, static_cast<uint8_t>(0x80 + phase), 0, static_cast<uint8_t>(n >> 16),
                             static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), 0, 0, 0, 0, 0, 0},
                            dir, data));
    std::vector<uint8_t> done(512, 0);
    step(d, cdb({0xA1, 0x8F, 0, 0, 0x02, 0x00, 0, 0, 0, 0, 0, 0}, DataDir::In, done));
    o.dw0 = get_le32(done, 8);
    return o;
}

Outcome asmedia(DiskDevice& d, std::array<uint8_t, 64> cmd, DataDir dir, std::span<uint8_t> data) {
    uint8_t dd = dir == DataDir::None ? 0 : dir == DataDir::In ? 1 : 2;
    std::vector<uint8_t> c(cmd.begin(), cmd.end());
    if (!step(d, cdb({0xEA, 0x5A, 0x80, 0, dd, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0}, DataDir::Out, c)).ok) return {false};
    uint32_t n = static_cast<uint32_t>(data.size());
    Outcome o = step(d, cdb({static_cast<uint8_t>(dd == 2 ? 0xEA : 0xEB), 0x5A, 0x81, 0, dd, 0, 0, 0, 0, 0,
                             static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                             static_cast<uint8_t>(n), 0, 0},
                            dir, data));
    std::vector<uint8_t> cq(16, 0);
    step(d, cdb({0xEB, 0x5A, 0x82, 0, dd, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0}, DataDir::In, cq));
    o.dw0 = get_le32(cq, 0);
    return o;
}

Outcome asmedia_e6_identify(DiskDevice& d, uint8_t cns, std::span<uint8_t> data) {
    return step(d, cdb({0xE6, 0x06, 0, cns, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, data));
}

Outcome rtl9210b(DiskDevice& d, std::array<uint8_t, 64> cmd, DataDir dir, std::span<uint8_t> data) {
    std::vector<uint8_t> c(cmd.begin(), cmd.end());
    if (!step(d, cdb({0xE5, 0x40, 0x00, 0xF7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::Out, c)).ok) return {false};
    uint32_t n = static_cast<uint32_t>(data.size());
    uint8_t dd = dir == DataDir::None ? 0 : dir == DataDir::In ? 1 : 2;
    Outcome o = step(d, cdb({static_cast<uint8_t>(dd == 1 ? 0xE4 : 0xE5), static_cast<uint8_t>(n),
                             static_cast<uint8_t>(n >> 8), 0xF8, 0, 0, dd, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                            dir, data));
    std::vector<uint8_t> cq(16, 0);
    step(d, cdb({0xE4, 0x10, 0x00, 0xF9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, cq));
    o.dw0 = get_le32(cq, 0);
    return o;
}

Outcome rtl9210(DiskDevice& d, uint8_t opcode, uint8_t cdw10, std::span<uint8_t> data) {
    uint32_t n = static_cast<uint32_t>(data.size());
    return step(d, cdb({0xE4, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), opcode, cdw10, 0, 0, 0, 0, 0, 0,
                        0, 0, 0, 0, 0},
                       DataDir::In, data));
}

enum Proto { kJmi, kAsm, kAsmE6, kRtlB, kRtl, kProtoCount };

// Identify Controller through one protocol; true when the model came back.
bool identify_via(DiskDevice& d, Proto p, int disk) {
    std::vector<uint8_t> buf(4096, 0);
    Outcome o;
    switch (p) {
        case kJmi: o = jmicron(d, identify_command(1), DataDir::In, buf); break;
        case kAsm: o = asmedia(d, identify_command(1), DataDir::In, buf); break;
        case kAsmE6: o = asmedia_e6_identify(d, 1, buf); break;
        case kRtlB: o = rtl9210b(d, identify_command(1), DataDir::In, buf); break;
        case kRtl: o = rtl9210(d, 0x06, 1, buf); break;
        default: return false;
    }
    bool model = text_at(buf, 24, 14) == "BRIDGED DISK " + std::to_string(disk);
    EXPECT_EQ(o.ok, model) << "protocol " << p << " on disk " << disk;
    return o.ok && model;
}

TEST(SimBridge, InquiryCarriesEachChipsMarks) {
    Bench b(all_bridges());
    struct Want {
        uint8_t b36, b37;
        const char* vendor;
        const char* product;
    } want[] = {{0x30, 0x35, "JMicron ", "JMS583 NVMe"}, {0x60, 0x23, "ASMT    ", "ASM2362 NVMe"},
                {0x60, 0x23, "ASMT    ", "ASM2364 NVMe"}, {0x00, 0x00, "Realtek ", "RTL9210B NVME"},
                {0x00, 0x00, "Realtek ", "RTL9210 NVME"},  {0x05, 0x21, "USB-SATA", "SATA Bridge"},
                {0x00, 0x00, "TAMBLOR ", "USB Flash Disk"}};
    for (int i = 0; i < 7; ++i) {
        auto d = b.drive(static_cast<uint32_t>(i));
        ASSERT_TRUE(d) << i;
        auto q = inquiry(*d);
        EXPECT_EQ(q[36], want[i].b36) << kBridges[i];
        EXPECT_EQ(q[37], want[i].b37) << kBridges[i];
        EXPECT_EQ(text_at(q, 8, 8), want[i].vendor);
        EXPECT_EQ(text_at(q, 16, 16).substr(0, std::strlen(want[i].product)), want[i].product);
        EXPECT_EQ(q[1], i == 6 ? 0x80 : 0x00) << "removable bit";
        EXPECT_EQ(q[0], 0x00);
    }
    auto disks = b.platform().discover();
    ASSERT_EQ(disks.size(), 7u);
    EXPECT_EQ(disks[1].friendly_name, "ASMT ASM2362 NVMe USB Device");
    EXPECT_EQ(disks[1].bus_type, uint32_t(kBusUsb));
    EXPECT_EQ(disks[1].port_location, 202u);
    EXPECT_TRUE(disks[6].removable);
    // A JMicron bridge may also carry 0x35 0x35.
    Bench alt("[disk0]\ntype = usb\nbridge = jmicron\nsignature = 0x3535\n");
    auto q = inquiry(*alt.drive(0));
    EXPECT_EQ(q[36], 0x35);
    EXPECT_EQ(q[37], 0x35);
}

TEST(SimBridge, EachChipTakesOnlyItsOwnProtocol) {
    Bench b(all_bridges());
    // Which protocols each NVMe bridge accepts.
    const bool accepts[5][kProtoCount] = {
        {true, false, false, false, false},  // JMicron
        {false, true, true, false, false},   // ASM2362
        {false, true, true, false, false},   // ASM2364
        {false, false, false, true, false},  // RTL9210B
        {false, false, false, false, true},  // RTL9210
    };
    for (int disk = 0; disk < 5; ++disk) {
        auto d = b.drive(static_cast<uint32_t>(disk));
        for (int p = 0; p < kProtoCount; ++p)
            EXPECT_EQ(identify_via(*d, static_cast<Proto>(p), disk), accepts[disk][p])
                << kBridges[disk] << " protocol " << p;
    }
    // The USB-SATA bridge and the flash drive take none of them.
    for (int disk = 5; disk < 7; ++disk) {
        auto d = b.drive(static_cast<uint32_t>(disk));
        std::vector<uint8_t> buf(4096, 0);
        EXPECT_FALSE(asmedia_e6_identify(*d, 1, buf).ok);
        EXPECT_FALSE(rtl9210(*d, 0x06, 1, buf).ok);
        EXPECT_FALSE(jmicron(*d, identify_command(1), DataDir::In, buf).ok);
    }
}

TEST(SimBridge, ThreePhaseCommandsCarryDataBothWaysAndTheCompletion) {
    Bench b(all_bridges());
    using Fn = Outcome (*)(DiskDevice&, std::array<uint8_t, 64>, DataDir, std::span<uint8_t>);
    Fn jmi = [](DiskDevice& d, std::array<uint8_t, 64> c, DataDir dir, std::span<uint8_t> data) {
        return jmicron(d, c, dir, data);
    };
    const std::pair<int, Fn> chips[] = {{0, jmi}, {1, asmedia}, {3, rtl9210b}};
    for (auto [disk, send] : chips) {
        auto d = b.drive(static_cast<uint32_t>(disk));
        // Get Features 0x07 returns its value in DW0 of the completion.
        std::array<uint8_t, 64> gf{};
        gf[0] = 0x0A;
        put_le32(gf, 40, 0x07);
        Outcome o = send(*d, gf, DataDir::None, {});
        EXPECT_TRUE(o.ok) << disk;
        EXPECT_EQ(o.dw0, 0x003F003Fu) << disk;
        // An NVM write on the I/O queue is not possible through these admin
        // phases, but a firmware download is: data out.
        std::vector<uint8_t> image(4096, 0x11);
        std::memcpy(image.data(), "FWREV:BRFW0001", 14);
        std::array<uint8_t, 64> dl{};
        dl[0] = 0x11;
        put_le32(dl, 40, 1023);
        EXPECT_TRUE(send(*d, dl, DataDir::Out, image).ok) << disk;
        std::array<uint8_t, 64> commit{};
        commit[0] = 0x10;
        put_le32(commit, 40, 2 | (3 << 3));
        EXPECT_TRUE(send(*d, commit, DataDir::None, {}).ok) << disk;
        std::vector<uint8_t> id(4096, 0);
        EXPECT_TRUE(send(*d, identify_command(1), DataDir::In, id).ok);
        EXPECT_EQ(text_at(id, 64, 8), "BRFW0001") << disk;
        // A command the controller fails: CHECK CONDITION in the data phase.
        std::array<uint8_t, 64> bad = identify_command(0x77);
        EXPECT_FALSE(send(*d, bad, DataDir::In, id).ok) << disk;
    }
    // A data phase with no command before it is a sequence error.
    auto d = b.drive(1);
    std::vector<uint8_t> buf(512, 0);
    auto orphan = cdb({0xEB, 0x5A, 0x81, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x02, 0, 0, 0}, DataDir::In, buf);
    ASSERT_EQ(d->scsi(orphan), DeviceStatus::Ok);
    EXPECT_EQ(orphan.scsi_status, 2);
    EXPECT_EQ(sense_key(orphan), 0x05);
    EXPECT_EQ(orphan.sense[12], 0x2C);
}

TEST(SimBridge, SingleCommandChipsReadIdentifyAndLogsOnly) {
    Bench b(all_bridges());
    auto rtl = b.drive(4);
    std::vector<uint8_t> smart(512, 0);
    EXPECT_TRUE(rtl9210(*rtl, 0x02, 0x02, smart).ok);
    EXPECT_GT(get_le16(smart, 1), 273);
    std::vector<uint8_t> ns(4096, 0);
    EXPECT_TRUE(rtl9210(*rtl, 0x06, 0x00, ns).ok);
    EXPECT_EQ(get_le64(ns, 0), 3928176ull);  // 2 GB
    std::vector<uint8_t> none(4, 0);
    EXPECT_FALSE(rtl9210(*rtl, 0x0A, 0x07, none).ok);  // Get Features does not pass
    EXPECT_FALSE(rtl9210(*rtl, 0x10, 0x09, none).ok);  // nor Firmware Commit
    auto asmd = b.drive(2);
    std::vector<uint8_t> log(512, 0);
    auto e6 = cdb({0xE6, 0x02, 0, 0x02, 0, 0, 0x00, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, log);
    ASSERT_EQ(asmd->scsi(e6), DeviceStatus::Ok);
    EXPECT_EQ(e6.scsi_status, 0);
    EXPECT_EQ(e6.transferred, 512u);
    EXPECT_GT(get_le16(log, 1), 273);
    auto e6_other = cdb({0xE6, 0x0A, 0, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, log);
    ASSERT_EQ(asmd->scsi(e6_other), DeviceStatus::Ok);
    EXPECT_EQ(e6_other.scsi_status, 2);
}

TEST(SimBridge, BlockCommandsReachTheInnerDisk) {
    Bench b(all_bridges());
    for (uint32_t disk : {0u, 1u, 3u, 4u, 5u, 6u}) {
        auto d = b.drive(disk);
        std::vector<uint8_t> cap(32, 0);
        auto rc = cdb({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, DataDir::In, cap);
        ASSERT_EQ(d->scsi(rc), DeviceStatus::Ok);
        EXPECT_EQ(get_be64(cap, 0), 3928176ull - 1) << disk;
        EXPECT_EQ(get_be32(cap, 8), 512u);
        auto data = pattern(3 * 512, static_cast<uint8_t>(disk));
        auto w = rw16(true, 12345, 3, data);
        ASSERT_EQ(d->scsi(w), DeviceStatus::Ok);
        ASSERT_EQ(w.scsi_status, 0) << disk;
        EXPECT_EQ(b.file_bytes(disk, 12345 * 512, data.size()), data) << disk;
        std::vector<uint8_t> back(3 * 512, 0);
        auto r10 = cdb({0x28, 0, 0, 0, 0x30, 0x39, 0, 0, 3, 0}, DataDir::In, back);
        ASSERT_EQ(d->scsi(r10), DeviceStatus::Ok);
        EXPECT_EQ(back, data) << disk;
        auto past = rw16(false, 3928176, 1, back);
        ASSERT_EQ(d->scsi(past), DeviceStatus::Ok);
        EXPECT_EQ(past.scsi_status, 2);
        EXPECT_EQ(past.sense[12], 0x21);
    }
    // The NVMe data of a bridged disk counts in its SMART log.
    auto d = b.drive(4);
    std::vector<uint8_t> smart(512, 0);
    ASSERT_TRUE(rtl9210(*d, 0x02, 0x02, smart).ok);
    EXPECT_EQ(get_le64(smart, 80), 1u);  // one host write command
}

TEST(SimBridge, PowerRequestsSwitchTheInnerDisk) {
    Bench b(all_bridges());
    // ASMedia: EA 5A 00 off, 01 on, 04 re-link.
    auto d = b.drive(1);
    std::vector<uint8_t> smart(512, 0);
    ASSERT_TRUE(asmedia(*d, smart_command(), DataDir::In, smart).ok);
    uint64_t cycles = get_le64(smart, 112);
    ASSERT_TRUE(step(*d, cdb({0xEA, 0x5A, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).ok);
    EXPECT_EQ(b.platform().discover()[1].length_bytes, 0u);  // no medium
    std::vector<uint8_t> id(4096, 0);
    EXPECT_FALSE(identify_via(*d, kAsm, 1));
    auto tur = cdb({0x00, 0, 0, 0, 0, 0});
    ASSERT_EQ(d->scsi(tur), DeviceStatus::Ok);
    EXPECT_EQ(tur.scsi_status, 2);
    EXPECT_EQ(sense_key(tur), 0x02);
    EXPECT_EQ(inquiry(*d)[36], 0x60);  // the bridge itself still answers
    ASSERT_TRUE(step(*d, cdb({0xEA, 0x5A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).ok);
    EXPECT_TRUE(identify_via(*d, kAsm, 1));
    EXPECT_GT(b.platform().discover()[1].length_bytes, 0u);
    ASSERT_TRUE(asmedia(*d, smart_command(), DataDir::In, smart).ok);
    EXPECT_EQ(get_le64(smart, 112), cycles + 1);
    EXPECT_EQ(get_le64(smart, 144), 1u);  // unsafe shutdown
    ASSERT_TRUE(step(*d, cdb({0xEA, 0x5A, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).ok);
    EXPECT_TRUE(identify_via(*d, kAsm, 1));

    // JMicron: v at byte 72 of the block: 6 off, 2 on, 5 cycle.
    auto j = b.drive(0);
    EXPECT_TRUE(jmicron(*j, {}, DataDir::None, {}, 6).ok);
    EXPECT_FALSE(b.machine().disk(0)->inner_powered());
    EXPECT_FALSE(identify_via(*j, kJmi, 0));
    EXPECT_TRUE(jmicron(*j, {}, DataDir::None, {}, 2).ok);
    EXPECT_TRUE(b.machine().disk(0)->inner_powered());
    EXPECT_TRUE(jmicron(*j, {}, DataDir::None, {}, 5).ok);
    EXPECT_TRUE(identify_via(*j, kJmi, 0));
    EXPECT_FALSE(jmicron(*j, {}, DataDir::None, {}, 9).ok);  // no such request
    // Realtek chips have no power requests.
    auto r = b.drive(3);
    EXPECT_FALSE(step(*r, cdb({0xEA, 0x5A, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).ok);
    EXPECT_TRUE(b.machine().disk(3)->inner_powered());
}

TEST(SimBridge, WithoutMarksTheChipIsFoundOnlyByProbing) {
    Bench b("[disk0]\ntype = usb\nbridge = rtl9210b\nbridge_signature = 0\nmodel = BRIDGED DISK 0\n");
    auto d = b.drive(0);
    auto q = inquiry(*d);
    EXPECT_EQ(q[36], 0);
    EXPECT_EQ(text_at(q, 16, 12), "External SSD");
    EXPECT_FALSE(identify_via(*d, kAsm, 0));
    EXPECT_FALSE(identify_via(*d, kJmi, 0));
    EXPECT_TRUE(identify_via(*d, kRtlB, 0));
}

}  // namespace
}  // namespace tb::sim::test
