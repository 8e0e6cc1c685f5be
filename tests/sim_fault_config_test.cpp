// Medium faults set in the machine file: the reader takes the documented
// forms and refuses every mistake with its line, and the faults reach the
// disk on every path: NVMe and ATA commands and the bridges.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <functional>
#include <numeric>

#include "tests/sim_test_helpers.h"

namespace tb::sim::test {
namespace {

std::string refusal(const std::string& text) {
    std::string error;
    return parse_sim_config(text, &error, "m.ini") ? "accepted" : error;
}

TEST(SimFaultConfig, RulesCountsChancesRangesAndPowerLossAreRead) {
    std::string error;
    auto cfg = parse_sim_config(
        "[disk1]\ntype = nvme\ncapacity = 1GiB\n"
        "corrupt_writes = 3 @ 0-20479, 1.5% @ 0x100-0x1FF\n"
        "read_errors = 2\nfault_seed = 7\n"
        "power_loss_after_writes = 500\npower_loss_at_ms = 1500\npower_loss_unflushed = random\n",
        &error);
    ASSERT_TRUE(cfg) << error;
    const DiskConfig& d = cfg->disks[0];
    ASSERT_EQ(d.fault_rules.size(), 3u);
    EXPECT_EQ(d.fault_rules[0].kind, FaultKind::CorruptWrite);
    EXPECT_EQ(d.fault_rules[0].count, 3u);
    EXPECT_EQ(d.fault_rules[0].last_lba, 20479u);
    EXPECT_DOUBLE_EQ(d.fault_rules[1].chance, 0.015);
    EXPECT_EQ(d.fault_rules[1].count, 0u);
    EXPECT_EQ(d.fault_rules[1].first_lba, 0x100u);
    EXPECT_EQ(d.fault_rules[1].last_lba, 0x1FFu);
    EXPECT_EQ(d.fault_rules[2].kind, FaultKind::ReadError);
    EXPECT_EQ(d.fault_rules[2].first_lba, 0u);
    EXPECT_EQ(d.fault_rules[2].last_lba, (1ull << 30) / 512 - 1);  // the whole disk
    EXPECT_EQ(d.fault_seed, 7u);
    EXPECT_EQ(d.power_loss.after_writes, 500u);
    EXPECT_EQ(d.power_loss.at_ms, 1500u);
    EXPECT_TRUE(d.power_loss.random_subset);
}

TEST(SimFaultConfig, MistakesAreRefusedWithTheirLine) {
    struct Bad {
        const char* lines;  // on line 3, after "[disk1]" and "capacity = 1GiB"
        const char* reason;
    } cases[] = {
        {"corrupt_writes = 0", "a count is a number from 1"},
        {"drop_writes = many", "a count is a number from 1"},
        {"misdirect_writes = 3 @ 5", "a range is first-last"},
        {"stale_reads = 3 @ 9-1", "ends before it starts"},
        {"read_errors = 150%", "a chance is a percentage"},
        {"read_errors = 0%", "a chance is a percentage"},
        {"read_errors = 1, x", "read_errors: a count"},
        {"corrupt_writes = 1 @ 0-2097152", "goes past the last LBA of disk 1 (2097151)"},
        {"power_loss_unflushed = maybe", "lost or random"},
        {"power_loss_after_writes = 0", "power_loss_after_writes must be a number from 1"},
        {"fault_seed = -1", "fault_seed must be a number"},
    };
    for (const auto& b : cases) {
        std::string error = refusal(std::string("[disk1]\ncapacity = 1GiB\n") + b.lines + "\n");
        EXPECT_EQ(error.rfind("m.ini:3: ", 0), 0u) << b.lines << " -> " << error;
        EXPECT_NE(error.find(b.reason), std::string::npos) << b.lines << " -> " << error;
    }
    // The LBAs are of the disk's sector size, and the range is checked
    // whatever the order of the keys.
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\ncorrupt_writes = 1 @ 0-262144\nsector_size = 4096\ncapacity = 1GiB\n")
                  .rfind("m.ini:3: ", 0),
              0u);
    EXPECT_EQ(refusal("[disk1]\ntype = nvme\nsector_size = 4096\ncapacity = 1GiB\ncorrupt_writes = 1 @ 0-262143\n"),
              "accepted");
}

constexpr uint16_t kDmaIn = kAtaDriveReady | kAtaDataIn | kAtaDma | kAtaExt;
constexpr uint16_t kDmaOut = kAtaDriveReady | kAtaDataOut | kAtaDma | kAtaExt;

TEST(SimFaultConfig, FaultsReachNvmeAtaAndBridgedDisks) {
    Bench b(
        "[disk1]\ntype = nvme\ncapacity = 1GiB\nread_errors = 1 @ 10-10\n"
        "[disk2]\ntype = sata\ncapacity = 1GiB\ncorrupt_writes = 1 @ 10-10\n"
        "[disk3]\ntype = usb\nbridge = asm2362\ncapacity = 1GiB\ndrop_writes = 1 @ 10-10\n"
        "[disk4]\ntype = usb\nbridge = usb-sata\ncapacity = 1GiB\nmisdirect_writes = 1 @ 10-11\n");
    std::vector<uint8_t> data = pattern(512, 3), back(512, 0);
    // NVMe: a media error on the range, once.
    auto nvme = b.drive(1);
    EXPECT_EQ(nvme_io(*nvme, 0x02, 9, 1, back), 0);
    EXPECT_EQ(nvme_io(*nvme, 0x02, 10, 1, back), 0x281);
    EXPECT_EQ(nvme_io(*nvme, 0x02, 10, 1, back), 0);
    // ATA: WRITE DMA EXT stores one changed byte.
    auto ata = b.drive(2);
    auto w = ata_request(0x35, kDmaOut, 0, 1, 10, data);
    ASSERT_EQ(ata->ata(w), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(w));
    auto r = ata_request(0x25, kDmaIn, 0, 1, 10, back);
    ASSERT_EQ(ata->ata(r), DeviceStatus::Ok);
    EXPECT_EQ(std::inner_product(back.begin(), back.end(), data.begin(), 0, std::plus<>(),
                                 [](uint8_t x, uint8_t y) { return x != y ? 1 : 0; }),
              1);
    // Behind a bridge: the write is acknowledged and never stored.
    auto usb = b.drive(3);
    auto w16 = rw16(true, 10, 1, data);
    ASSERT_EQ(usb->scsi(w16), DeviceStatus::Ok);
    EXPECT_EQ(w16.scsi_status, 0);
    auto r16 = rw16(false, 10, 1, back);
    ASSERT_EQ(usb->scsi(r16), DeviceStatus::Ok);
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
    // Behind a USB-SATA bridge: the data lands on the other LBA of the range.
    auto usata = b.drive(4);
    auto m16 = rw16(true, 10, 1, data);
    ASSERT_EQ(usata->scsi(m16), DeviceStatus::Ok);
    auto other = rw16(false, 11, 1, back);
    ASSERT_EQ(usata->scsi(other), DeviceStatus::Ok);
    EXPECT_EQ(back, data);
}

TEST(SimFaultConfig, APowerLossTakesTheDiskAwayAndTheNextMachineFindsTheDurableWrites) {
    const std::string disk = "[disk1]\ntype = nvme\ncapacity = 1GiB\npower_loss_after_writes = 3\n";
    Bench b(disk, true);
    auto d = b.drive(1);
    auto one = pattern(512, 1), two = pattern(512, 2), three = pattern(512, 3);
    ASSERT_EQ(nvme_io(*d, 0x01, 1, 1, one), 0);
    std::vector<uint8_t> none;
    auto flush = nvme_request(0x00, 1, {}, DataDir::None, none, true);
    ASSERT_EQ(d->nvme(flush), DeviceStatus::Ok);
    ASSERT_EQ(nvme_io(*d, 0x01, 2, 1, two, 1u << 30), 0);  // FUA
    ASSERT_EQ(nvme_io(*d, 0x01, 3, 1, three), 0);          // the last write: acknowledged, then the power goes
    std::vector<uint8_t> back(512, 0);
    auto after = nvme_request(0x02, 1, {3, 0, 0}, DataDir::In, back, true);
    EXPECT_EQ(d->nvme(after), DeviceStatus::Failed);
    auto disks = b.platform().discover();
    EXPECT_TRUE(std::none_of(disks.begin(), disks.end(), [](const DiscoveredDisk& x) { return x.disk_number == 1; }));
    EXPECT_FALSE(b.machine().power_on(1) && b.drive(1) && b.machine().disk(1)->discovered());  // gone for good

    b.rebuild("[disk1]\ntype = nvme\ncapacity = 1GiB\n");
    auto again = b.drive(1);
    ASSERT_TRUE(again);
    ASSERT_EQ(nvme_io(*again, 0x02, 1, 1, back), 0);
    EXPECT_EQ(back, one);
    ASSERT_EQ(nvme_io(*again, 0x02, 2, 1, back), 0);
    EXPECT_EQ(back, two);
    ASSERT_EQ(nvme_io(*again, 0x02, 3, 1, back), 0);
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
    EXPECT_EQ(get_le64(get_log(*again, 0x02), 144), 1u);  // one unsafe shutdown
}

TEST(SimFaultConfig, AProgramThatEndsAfterThePowerLossTimeLeavesOnlyTheDurableWrites) {
    Bench b("[disk1]\ntype = nvme\ncapacity = 1GiB\npower_loss_at_ms = 20\n", true);
    auto d = b.drive(1);
    auto data = pattern(512, 1);
    ASSERT_EQ(nvme_io(*d, 0x01, 1, 1, data), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    d.reset();
    b.rebuild("[disk1]\ntype = nvme\ncapacity = 1GiB\n");  // nothing asked the disk after the time
    auto again = b.drive(1);
    std::vector<uint8_t> back(512, 0xEE);
    ASSERT_EQ(nvme_io(*again, 0x02, 1, 1, back), 0);
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
    EXPECT_EQ(get_le64(get_log(*again, 0x02), 144), 1u);  // counted as an unsafe shutdown
}

}  // namespace
}  // namespace tb::sim::test
