// The simulated machine numbering its disks by place (numbering = place), as
// Linux numbers them: the disks on the system are 0, 1, 2... in order, a
// disk that leaves gives its number to the disk after it, and every request
// by number (open, remove, enable, PCI configuration) reaches the disk that
// has the number now. A disable and enable by the same number brings back
// the disk that was disabled, not the one that took its place.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/host_path.h"
#include "platform/sim/sim_config.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "tests/temp_dir.h"

namespace tb::sim {
namespace {

const std::string kDisks =
    "[disk1]\ntype = nvme\ncapacity = 64MiB\nmodel = PLACE ALPHA\nvid = 0x1111\n"
    "[disk2]\ntype = nvme\ncapacity = 64MiB\nmodel = PLACE BRAVO\nvid = 0x2222\n"
    "[disk3]\ntype = nvme\ncapacity = 64MiB\nmodel = PLACE CHARLIE\nvid = 0x3333\n";

class PlaceNumbering : public ::testing::Test {
protected:
    void SetUp() override { folder_ = tb::test::make_temp_dir("tamblor-place-numbering"); }
    void TearDown() override {
        platform_.reset();
        std::error_code ec;
        std::filesystem::remove_all(host_path(folder_), ec);
    }

    std::optional<SimConfig> parse(const std::string& numbering, std::string* error) const {
        return parse_sim_config("[machine]\nfolder = " + folder_ + "\npersist = 0\nnumbering = " + numbering +
                                    "\n" + kDisks,
                                error);
    }
    void build(const std::string& numbering) {
        std::string error;
        auto cfg = parse(numbering, &error);
        ASSERT_TRUE(cfg) << error;
        platform_ = make_sim_platform_from_config(*cfg, &error);
        ASSERT_TRUE(platform_) << error;
    }

    // "number:model" of every disk on the system, in order.
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (const DiscoveredDisk& d : platform_->discover())
            out.push_back(std::to_string(d.disk_number) + ":" + d.friendly_name);
        return out;
    }
    bool opens(uint32_t number) { return platform_->open("\\\\.\\PHYSICALDRIVE" + std::to_string(number)) != nullptr; }
    uint16_t pci_vendor(uint32_t number) {
        std::vector<uint8_t> cfg;
        if (!platform_->read_pci_config(number, false, cfg) || cfg.size() < 2) return 0;
        return static_cast<uint16_t>(cfg[0] | (cfg[1] << 8));
    }

    std::string folder_;
    std::unique_ptr<SimPlatform> platform_;
};

using Shown = std::vector<std::string>;

TEST_F(PlaceNumbering, TheMachineFileChoosesTheNumberingAndRefusesAnythingElse) {
    std::string error;
    EXPECT_FALSE(parse("position", &error));
    EXPECT_NE(error.find("numbering must be fixed or place, not position"), std::string::npos) << error;
    auto fixed = parse("fixed", &error);
    ASSERT_TRUE(fixed) << error;
    EXPECT_FALSE(fixed->number_by_place);
    auto place = parse("place", &error);
    ASSERT_TRUE(place) << error;
    EXPECT_TRUE(place->number_by_place);
}

TEST_F(PlaceNumbering, FixedNumbersStayWithTheDisksWhenOneLeaves) {
    build("fixed");
    EXPECT_EQ(shown(), (Shown{"1:PLACE ALPHA", "2:PLACE BRAVO", "3:PLACE CHARLIE"}));
    ASSERT_TRUE(platform_->remove_device(1));
    EXPECT_EQ(shown(), (Shown{"2:PLACE BRAVO", "3:PLACE CHARLIE"}));
    EXPECT_FALSE(opens(1));
    EXPECT_FALSE(platform_->remove_device(1));
    EXPECT_EQ(pci_vendor(2), 0x2222);
}

TEST_F(PlaceNumbering, ARemovedDisksNumberGoesToTheDiskAfterIt) {
    build("place");
    EXPECT_EQ(shown(), (Shown{"0:PLACE ALPHA", "1:PLACE BRAVO", "2:PLACE CHARLIE"}));
    EXPECT_EQ(pci_vendor(0), 0x1111);
    ASSERT_TRUE(platform_->remove_device(0));
    EXPECT_EQ(shown(), (Shown{"0:PLACE BRAVO", "1:PLACE CHARLIE"}));
    EXPECT_TRUE(opens(0)) << "the next disk now answers to number 0";
    EXPECT_FALSE(opens(2));
    EXPECT_EQ(pci_vendor(0), 0x2222);
    EXPECT_EQ(pci_vendor(1), 0x3333);
    // A removal by number reaches the disk that has the number now.
    ASSERT_TRUE(platform_->remove_device(1));
    EXPECT_EQ(shown(), Shown{"0:PLACE BRAVO"});
    EXPECT_FALSE(platform_->remove_device(1));
    // A rescan brings the removed disks back to their places.
    ASSERT_TRUE(platform_->rescan_devices());
    EXPECT_EQ(shown(), (Shown{"0:PLACE ALPHA", "1:PLACE BRAVO", "2:PLACE CHARLIE"}));
}

TEST_F(PlaceNumbering, ADisableAndEnableByNumberBringBackTheDisabledDisk) {
    build("place");
    ASSERT_TRUE(platform_->set_device_enabled(0, false));
    EXPECT_EQ(shown(), (Shown{"0:PLACE BRAVO", "1:PLACE CHARLIE"}));
    ASSERT_TRUE(platform_->set_device_enabled(0, true));
    EXPECT_EQ(shown(), (Shown{"0:PLACE ALPHA", "1:PLACE BRAVO", "2:PLACE CHARLIE"}));
    ASSERT_TRUE(platform_->relink_device(1));
    EXPECT_EQ(shown(), (Shown{"0:PLACE ALPHA", "1:PLACE BRAVO", "2:PLACE CHARLIE"}));
}

}  // namespace
}  // namespace tb::sim
