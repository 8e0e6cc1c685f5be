// Re-linking a disk and re-enumerating the devices on the simulated machine
// and through the disk platform's interface: what a re-link does to open
// handles and to the controller, the bridges' re-link requests, a board
// that never brings a controller back, and the rescan.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "disk/ata_transport.h"
#include "platform/disk_device.h"
#include "tests/sim_test_helpers.h"

namespace {

using tb::DataDir;
using tb::DeviceStatus;
using tb::NvmePassThrough;
using tb::sim::SimDisk;
using tb::sim::test::Bench;
using tb::sim::test::identify;
using tb::sim::test::nvme_request;

constexpr uint32_t kNvmeDisk = 1;    // the built-in machine's NVMe disk on the inbox driver
constexpr uint32_t kAsmediaDisk = 2;  // its NVMe disk behind an ASM2362 bridge

// Turns the volatile write cache off without saving it, so that a
// controller reset (the driver starting the controller afresh) turns it on again.
void write_cache_off_unsaved(Bench& b, uint32_t disk) {
    ASSERT_TRUE(b.machine().with_disk(disk, [](SimDisk& d) {
        tb::sim::NvmeCommand c;
        c.bytes[0] = 0x09;                 // Set Features
        tb::sim::put_le32(c.bytes, 40, 0x06);  // volatile write cache, not saved
        tb::sim::put_le32(c.bytes, 44, 0);     // WCE = 0
        d.nvme_controller()->execute(c, false, DataDir::None, {});
    }));
}

bool write_cache_on(Bench& b, uint32_t disk) {
    bool on = false;
    b.machine().with_disk(disk, [&on](SimDisk& d) { on = (d.nvme_controller()->feature_current(0x06) & 1) != 0; });
    return on;
}

bool discovered(Bench& b, uint32_t disk) {
    for (const auto& d : b.platform().discover())
        if (d.disk_number == disk) return true;
    return false;
}

TEST(RelinkSimMachine, APcieRelinkStartsTheControllerAfreshAndStalesOldHandles) {
    Bench b;
    auto before = b.drive(kNvmeDisk);
    ASSERT_TRUE(before);
    write_cache_off_unsaved(b, kNvmeDisk);
    ASSERT_FALSE(write_cache_on(b, kNvmeDisk));

    ASSERT_TRUE(b.platform().relink_device(kNvmeDisk));

    EXPECT_TRUE(write_cache_on(b, kNvmeDisk)) << "the controller was not reset";
    std::vector<uint8_t> buf(4096, 0);
    auto r = nvme_request(0x06, 0, {1}, DataDir::In, buf);
    EXPECT_EQ(before->nvme(r), DeviceStatus::Failed) << "a handle from before the re-link still works";
    auto after = b.drive(kNvmeDisk);
    ASSERT_TRUE(after);
    identify(*after, 1);
    EXPECT_TRUE(discovered(b, kNvmeDisk));
}

TEST(RelinkSimMachine, ARelinkNeedsADiskThatIsThere) {
    Bench b;
    EXPECT_FALSE(b.platform().relink_device(9));
    ASSERT_TRUE(b.platform().remove_device(kNvmeDisk));
    EXPECT_FALSE(b.platform().relink_device(kNvmeDisk));
    EXPECT_FALSE(discovered(b, kNvmeDisk)) << "a refused re-link must not bring a removed disk back";
}

TEST(RelinkSimMachine, ABoardWithoutReconnectTakesTheRequestButTheDiskStaysAway) {
    Bench b("[disk1]\ntype = nvme\ncapacity = 1GiB\nreconnect = 0\n");
    ASSERT_TRUE(discovered(b, 1));
    EXPECT_TRUE(b.platform().relink_device(1));
    EXPECT_FALSE(discovered(b, 1));
    EXPECT_FALSE(b.drive(1));
    EXPECT_TRUE(b.platform().rescan_devices());
    EXPECT_FALSE(discovered(b, 1)) << "a rescan brought back a controller the board lost";
    ASSERT_TRUE(b.machine().unplug(1));
    ASSERT_TRUE(b.machine().replug(1));
    EXPECT_TRUE(discovered(b, 1)) << "only a replug brings it back";
}

TEST(RelinkSimMachine, ReconnectIsAFlagOfTheMachineFile) {
    std::string error;
    auto cfg = tb::sim::parse_sim_config("[machine]\n[disk1]\ntype = nvme\nreconnect = 0\n", &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_FALSE(cfg->disks.at(0).reconnect);
    cfg = tb::sim::parse_sim_config("[machine]\n[disk1]\ntype = nvme\n", &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_TRUE(cfg->disks.at(0).reconnect);
    EXPECT_FALSE(tb::sim::parse_sim_config("[machine]\n[disk1]\ntype = nvme\nreconnect = maybe\n", &error));
}

TEST(RelinkSimMachine, ARescanBringsBackARemovedDiskThatIsStillAttached) {
    Bench b;
    ASSERT_TRUE(b.platform().remove_device(kNvmeDisk));
    ASSERT_FALSE(discovered(b, kNvmeDisk));
    EXPECT_TRUE(b.platform().rescan_devices());
    EXPECT_TRUE(discovered(b, kNvmeDisk));
    auto d = b.drive(kNvmeDisk);
    ASSERT_TRUE(d);
    identify(*d, 1);
}

TEST(RelinkSimMachine, ARescanDoesNotBringBackAnUnpluggedDisk) {
    Bench b;
    ASSERT_TRUE(b.machine().unplug(kNvmeDisk));
    EXPECT_TRUE(b.platform().rescan_devices());
    EXPECT_FALSE(discovered(b, kNvmeDisk));
}

// ---- bridge re-link requests ------------------------------------------------

TEST(RelinkSimBridges, TheAsmediaRelinkRequestResetsTheDiskBehindTheBridge) {
    Bench b;
    auto bridge = b.drive(kAsmediaDisk);
    ASSERT_TRUE(bridge);
    write_cache_off_unsaved(b, kAsmediaDisk);
    EXPECT_EQ(tb::asmedia_power_request(*bridge, tb::kAsmRelink), 1);
    EXPECT_TRUE(write_cache_on(b, kAsmediaDisk)) << "the bridge did not pass the re-link on";
    EXPECT_TRUE(discovered(b, kAsmediaDisk));
}

TEST(RelinkSimBridges, TheJmicronRelinkRequestResetsTheDiskBehindTheBridge) {
    Bench b("[disk1]\ntype = usb\nbridge = jmicron\ncapacity = 1GiB\n");
    auto bridge = b.drive(1);
    ASSERT_TRUE(bridge);
    write_cache_off_unsaved(b, 1);
    EXPECT_EQ(tb::jmicron_power_request(*bridge, tb::kJmiRelink), 1);
    EXPECT_TRUE(write_cache_on(b, 1)) << "the bridge did not pass the re-link on";
    EXPECT_TRUE(discovered(b, 1));
}

// ---- the interface's default re-link ---------------------------------------

// A machine that only records device state changes.
class StateChangeLog final : public tb::DiskPlatform {
  public:
    explicit StateChangeLog(bool disable_works) : disable_works_(disable_works) {}
    std::string name() const override { return "log"; }
    std::vector<tb::DiscoveredDisk> discover() override { return {}; }
    std::unique_ptr<tb::DiskDevice> open(const std::string&) override { return nullptr; }
    bool set_device_enabled(uint32_t disk, bool enable) override {
        calls.push_back({disk, enable});
        return enable || disable_works_;
    }
    std::vector<std::pair<uint32_t, bool>> calls;

  private:
    bool disable_works_;
};

TEST(RelinkPlatformDefault, DisablesThenEnablesTheSameDisk) {
    StateChangeLog m(true);
    EXPECT_TRUE(m.relink_device(4));
    EXPECT_EQ(m.calls, (std::vector<std::pair<uint32_t, bool>>{{4, false}, {4, true}}));
}

TEST(RelinkPlatformDefault, ARefusedDisableEndsTheRelink) {
    StateChangeLog m(false);
    EXPECT_FALSE(m.relink_device(4));
    EXPECT_EQ(m.calls, (std::vector<std::pair<uint32_t, bool>>{{4, false}}));
}

TEST(RelinkPlatformDefault, AMachineWithoutRescanSaysSo) {
    StateChangeLog m(true);
    EXPECT_FALSE(m.rescan_devices());
}

}  // namespace
