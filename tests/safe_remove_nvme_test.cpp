// SafeRemoveNVMe on a machine that numbers its disks by their place in the
// enumeration, as Linux does: once the target is removed the next disk takes
// its number and its path still opens. The command must remove the target
// only, however often the machine says the removal did not take, and must
// say so when the machine refuses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_discovery.h"
#include "disk/disk_presence.h"
#include "disk/disk_record.h"
#include "disk/target_select.h"
#include "platform/disk_device.h"
#include "script/job_slot.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb {
namespace {

constexpr const char* kRemoveLine = "Remove Disk & Parent Controller Driver";

struct PlacedDisk {
    std::string serial;  // names the disk in the test; the machine never shows it
    uint32_t pci_slot = 0;
    bool attached = true;
};

// The disks that are attached, numbered 0, 1, 2... in attach order.
struct PlacedMachine {
    std::vector<PlacedDisk> disks;
    std::vector<std::string> removed;  // serials, in removal order
    int removals_that_do_not_take = 0;  // removals answered true that leave the disk in place
    bool refuse_removal = false;

    PlacedDisk* at(uint32_t number) {
        uint32_t n = 0;
        for (PlacedDisk& d : disks) {
            if (!d.attached) continue;
            if (n++ == number) return &d;
        }
        return nullptr;
    }
};

class InertDevice final : public DiskDevice {};

class PlacedPlatform final : public DiskPlatform {
public:
    explicit PlacedPlatform(std::shared_ptr<PlacedMachine> m) : m_(std::move(m)) {}
    std::string name() const override { return "placed"; }

    std::vector<DiscoveredDisk> discover() override {
        std::vector<DiscoveredDisk> out;
        for (const PlacedDisk& d : m_->disks) {
            if (!d.attached) continue;
            DiscoveredDisk info;
            info.friendly_name = "PLACED NVME " + d.serial;
            info.disk_number = static_cast<uint32_t>(out.size());
            info.length_bytes = 1ull << 30;
            info.bus_type = kBusNvme;
            info.controller_service = "stornvme";
            info.controller_name = "Standard NVM Express Controller";
            info.controller_instance = fmt("0000:%02x:00.0", d.pci_slot);
            info.port_location = d.pci_slot * 256;
            info.interface_path = fmt("/sys/devices/pci0000:00/0000:%02x:00.0/nvme/nvme%d/nvme%dn1", d.pci_slot,
                                      d.pci_slot, d.pci_slot);
            out.push_back(info);
        }
        return out;
    }

    std::unique_ptr<DiskDevice> open(const std::string& path) override {
        for (uint32_t n = 0; n < m_->disks.size(); ++n)
            if (iequals(path, fmt("\\\\.\\PHYSICALDRIVE%d", n)) && m_->at(n)) return std::make_unique<InertDevice>();
        return nullptr;
    }

    bool remove_device(uint32_t number) override {
        PlacedDisk* d = m_->at(number);
        if (!d || m_->refuse_removal) return false;
        if (m_->removals_that_do_not_take > 0) {
            --m_->removals_that_do_not_take;
            return true;
        }
        d->attached = false;
        m_->removed.push_back(d->serial);
        return true;
    }

private:
    std::shared_ptr<PlacedMachine> m_;
};

class SafeRemoveOnPlacedDisks : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        machine_ = std::make_shared<PlacedMachine>();
        machine_->disks = {{"FIRST", 2}, {"SECOND", 3}, {"THIRD", 4}};
        set_disk_platform(std::make_unique<PlacedPlatform>(machine_));
        ASSERT_EQ(discover_disks(), 3);
    }
    void TearDown() override {
        clear_current_target();
        set_disk_platform(nullptr);
    }

    void target(uint32_t number) {
        const DiskTable& t = disk_table();
        for (int i = 0; i < t.count; ++i)
            if (t.records[i].disk_number == number && t.records[i].record_kind == kRecordDisk) {
                set_current_target(t.records[i]);
                return;
            }
        FAIL() << "no disk " << number;
    }
    int lines(const std::string& text) const {
        const std::vector<LogLine> l = job_log_lines(0);
        return static_cast<int>(std::count_if(l.begin(), l.end(), [&](const LogLine& x) { return x.text == text; }));
    }
    std::vector<std::string> attached() const {
        std::vector<std::string> out;
        for (const PlacedDisk& d : machine_->disks)
            if (d.attached) out.push_back(d.serial);
        return out;
    }

    std::shared_ptr<PlacedMachine> machine_;
};

using Serials = std::vector<std::string>;

TEST_F(SafeRemoveOnPlacedDisks, RemovingTheFirstDiskLeavesTheDisksThatTakeItsNumber) {
    target(0);
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(machine_->removed, Serials{"FIRST"});
    EXPECT_EQ(attached(), (Serials{"SECOND", "THIRD"}));
    EXPECT_EQ(lines(kRemoveLine), 1);
    EXPECT_EQ(lines("You can safely remove the device"), 1);
    EXPECT_EQ(lines("After replug device, find new device by command: ReScanDriver();"), 1);
}

TEST_F(SafeRemoveOnPlacedDisks, AMiddleDiskIsRemovedAloneAndTheLastOneKeepsPlace) {
    target(1);
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(machine_->removed, Serials{"SECOND"});
    EXPECT_EQ(attached(), (Serials{"FIRST", "THIRD"}));
}

TEST_F(SafeRemoveOnPlacedDisks, ATargetThatMovedToAnotherNumberIsStillTheOneRemoved) {
    target(2);
    machine_->disks[0].attached = false;  // taken away after the target was chosen: THIRD is now number 1
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(machine_->removed, Serials{"THIRD"});
    EXPECT_EQ(attached(), Serials{"SECOND"});
}

TEST_F(SafeRemoveOnPlacedDisks, RemovalsThatDoNotTakeAreRetriedOnTheTargetOnly) {
    target(0);
    machine_->removals_that_do_not_take = 2;
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(lines(kRemoveLine), 3);
    EXPECT_EQ(machine_->removed, Serials{"FIRST"});
    EXPECT_EQ(attached(), (Serials{"SECOND", "THIRD"}));
}

TEST_F(SafeRemoveOnPlacedDisks, ADiskThatNeverLeavesEndsAfterFiveAttempts) {
    target(0);
    machine_->removals_that_do_not_take = 100;
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(lines(kRemoveLine), 5);
    EXPECT_TRUE(machine_->removed.empty());
    EXPECT_EQ(attached(), (Serials{"FIRST", "SECOND", "THIRD"}));
}

TEST_F(SafeRemoveOnPlacedDisks, ARefusedRemovalIsAnErrorAndNothingIsRemoved) {
    target(1);
    machine_->refuse_removal = true;
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, -255);
    EXPECT_NE(job_slot(0)->error_text.find("Remove NVMe Fail"), std::string::npos) << job_slot(0)->error_text;
    EXPECT_EQ(lines("You can safely remove the device"), 0);
    EXPECT_EQ(attached(), (Serials{"FIRST", "SECOND", "THIRD"}));
}

TEST_F(SafeRemoveOnPlacedDisks, ATargetAlreadyGoneRemovesNothing) {
    target(0);
    machine_->disks[0].attached = false;  // SECOND now opens as number 0
    test::run("SafeRemoveNVMe();");
    EXPECT_EQ(job_slot(0)->error_code, 0) << job_slot(0)->error_text;
    EXPECT_EQ(lines(kRemoveLine), 0);
    EXPECT_TRUE(machine_->removed.empty());
    EXPECT_EQ(attached(), (Serials{"SECOND", "THIRD"}));
    EXPECT_EQ(lines("You can safely remove the device"), 1);
}

// The look-up itself: what identifies a disk is where it is attached and the
// instance names, never the number.
TEST_F(SafeRemoveOnPlacedDisks, TheTargetIsFoundByWhatStaysWithItNotByItsNumber) {
    target(1);
    const DiskRecord second = current_target();
    EXPECT_EQ(present_disk_number(second), 1u);
    machine_->disks[0].attached = false;
    EXPECT_EQ(present_disk_number(second), 0u);
    machine_->disks[1].attached = false;
    EXPECT_EQ(present_disk_number(second), std::nullopt) << "THIRD, now number 0, was taken for the target";

    DiscoveredDisk moved;
    moved.bus_type = second.bus_type;
    moved.port_location = second.port_location;
    moved.controller_instance = second.controller_instance;
    moved.interface_path = second.interface_path;
    moved.disk_number = 7;
    EXPECT_TRUE(is_same_disk(second, moved));
    DiscoveredDisk elsewhere = moved;
    elsewhere.port_location += 256;
    EXPECT_FALSE(is_same_disk(second, elsewhere));
    DiscoveredDisk other_controller = moved;
    other_controller.controller_instance = "0000:09:00.0";
    EXPECT_FALSE(is_same_disk(second, other_controller));
    DiscoveredDisk other_namespace = moved;
    other_namespace.interface_path.back() = '2';
    EXPECT_FALSE(is_same_disk(second, other_namespace));
}

}  // namespace
}  // namespace tb
