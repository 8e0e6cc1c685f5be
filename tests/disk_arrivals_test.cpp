// Disk arrivals and removals: the simulated machine's unplug, replug,
// removal and rescan reach a watcher; a watch that has ended reports
// nothing; a test's own facility replaces the machine's.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/disk_arrivals.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "tests/sim_test_helpers.h"
#include "tests/temp_dir.h"

namespace tb {
namespace {

const char kDisks[] =
    "[disk0]\ntype = sata\nmodel = ARRIVAL SYSTEM\nserial = AS1\nfirmware = A1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = ARRIVAL NVMe\nserial = AN1\nfirmware = A2\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

// The changes a watch reported, in order.
class Seen {
public:
    DiskChangeHandler handler() {
        return [this](DiskChange change, const std::string& device) {
            std::lock_guard hold(lock_);
            changes_.push_back({change, device});
            grew_.notify_all();
        };
    }
    // Waits until `count` changes were reported (at most `ms`).
    bool wait_for(size_t count, int ms = 5000) {
        std::unique_lock hold(lock_);
        return grew_.wait_for(hold, std::chrono::milliseconds(ms), [&] { return changes_.size() >= count; });
    }
    std::vector<std::pair<DiskChange, std::string>> changes() {
        std::lock_guard hold(lock_);
        return changes_;
    }

private:
    std::mutex lock_;
    std::condition_variable grew_;
    std::vector<std::pair<DiskChange, std::string>> changes_;
};

class DiskArrivalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::make_temp_dir("tamblor-arrivals");
        ASSERT_GT(sim::test::install_machine(folder_, kDisks), 0);
        machine_ = sim::current_sim_machine();
        ASSERT_NE(machine_, nullptr);
    }
    std::string folder_;
    sim::SimMachine* machine_ = nullptr;
};

TEST_F(DiskArrivalsTest, TheSimulatedMachinesPlugAndRemovalReachTheWatcher) {
    Seen seen;
    std::unique_ptr<DiskWatch> watch = disk_arrivals().watch(seen.handler());
    ASSERT_NE(watch, nullptr);

    ASSERT_TRUE(machine_->unplug(1));
    ASSERT_TRUE(seen.wait_for(1));
    ASSERT_TRUE(machine_->replug(1));
    ASSERT_TRUE(seen.wait_for(2));
    ASSERT_TRUE(machine_->remove(1));
    ASSERT_TRUE(seen.wait_for(3));
    machine_->rescan();
    ASSERT_TRUE(seen.wait_for(4));

    const auto changes = seen.changes();
    ASSERT_EQ(changes.size(), 4u);
    const std::string nvme = "\\\\.\\PHYSICALDRIVE1";
    EXPECT_EQ(changes[0], std::make_pair(DiskChange::Removed, nvme));
    EXPECT_EQ(changes[1], std::make_pair(DiskChange::Arrived, nvme));
    EXPECT_EQ(changes[2], std::make_pair(DiskChange::Removed, nvme));
    EXPECT_EQ(changes[3], std::make_pair(DiskChange::Arrived, nvme));
}

TEST_F(DiskArrivalsTest, AnEndedWatchReportsNothingAndQuietMachinesReportNothing) {
    Seen seen;
    std::unique_ptr<DiskWatch> watch = disk_arrivals().watch(seen.handler());
    ASSERT_NE(watch, nullptr);
    EXPECT_FALSE(seen.wait_for(1, 400)) << "nothing changed";
    watch.reset();
    ASSERT_TRUE(machine_->unplug(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(seen.changes().empty());
    machine_->replug(1);
}

TEST_F(DiskArrivalsTest, ATestsOwnFacilityReplacesTheMachinesUntilRemoved) {
    struct Silent final : DiskArrivals {
        std::unique_ptr<DiskWatch> watch(DiskChangeHandler) override { return nullptr; }
    };
    set_disk_arrivals(std::make_unique<Silent>());
    EXPECT_EQ(disk_arrivals().watch([](DiskChange, const std::string&) {}), nullptr);
    set_disk_arrivals(nullptr);
    EXPECT_NE(disk_arrivals().watch([](DiskChange, const std::string&) {}), nullptr);
}

TEST(NativeDiskArrivals, TheSystemsWatcherStopsPromptly) {
    // This machine's own watcher: udev events on Linux, a periodic look on
    // Windows. Whatever this machine does meanwhile, ending the watch must
    // not wait for it.
    std::unique_ptr<DiskArrivals> native = make_native_disk_arrivals();
    std::unique_ptr<DiskWatch> watch = native->watch([](DiskChange, const std::string&) {});
    if (!watch) GTEST_SKIP() << "this machine cannot be watched here";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    watch.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
}

}  // namespace
}  // namespace tb
