// Disks arriving and leaving while the window is open: the tested disk
// unplugged during a job shows "- Disconnect" in the drop-down and is shown
// again when it comes back; without a job the drop-down follows the disks.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_platform.h"
#include "tests/qt/window_fixture.h"

namespace tb::qtui::test {
namespace {

class DiskArrivalWindow : public WindowFixture {
protected:
    sim::SimMachine& machine() { return *sim::current_sim_machine(); }
    bool entry_listed(const QString& text) { return window_->disk_list()->findText(text) >= 0; }
};

const QString kNvme = QStringLiteral("WINDOW TEST NVMe (RAW)");

TEST_F(DiskArrivalWindow, TheTestedDiskUnpluggedDuringTheJobShowsDisconnectAndComesBack) {
    app().ui_mode = 0;
    MainWindow& w = open_window("Delay( sec:30 );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(job_started());
    ASSERT_EQ(w.disk_list()->currentText(), kNvme);

    ASSERT_TRUE(machine().unplug(1));
    EXPECT_TRUE(wait_until([&] { return w.disk_list()->currentText() == kNvme + " - Disconnect"; }, 5000))
        << w.disk_list()->currentText().toStdString();
    EXPECT_TRUE(w.job_running());

    ASSERT_TRUE(machine().replug(1));
    EXPECT_TRUE(wait_until([&] { return w.disk_list()->currentText() == kNvme; }, 5000))
        << w.disk_list()->currentText().toStdString();

    set_cancel(0);
    ASSERT_TRUE(job_done());
}

TEST_F(DiskArrivalWindow, ADiskLostWhenTheJobEndsLeavesTheList) {
    app().ui_mode = 0;
    MainWindow& w = open_window("Delay( sec:30 );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(job_started());
    ASSERT_TRUE(machine().unplug(1));
    ASSERT_TRUE(wait_until([&] { return w.disk_list()->currentText().endsWith(" - Disconnect"); }, 5000));
    set_cancel(0);
    ASSERT_TRUE(job_done());
    EXPECT_TRUE(wait_until([&] { return !entry_listed(kNvme) && !entry_listed(kNvme + " - Disconnect"); }, 5000));
    machine().replug(1);
}

TEST_F(DiskArrivalWindow, WithoutAJobTheListFollowsRemovalAndArrival) {
    MainWindow& w = open_window("Exit( ErrCode:0 );", "");
    ASSERT_TRUE(entry_listed(kNvme));

    ASSERT_TRUE(machine().remove(1));
    ASSERT_TRUE(wait_until([&] { return !entry_listed(kNvme); }, 5000));
    EXPECT_FALSE(w.start_button()->isEnabled()) << "the system disk left is not chosen by itself";

    machine().rescan();
    ASSERT_TRUE(wait_until([&] { return entry_listed(kNvme); }, 5000));
    EXPECT_EQ(w.disk_list()->currentText(), kNvme);
    EXPECT_TRUE(w.start_button()->isEnabled());
}

}  // namespace
}  // namespace tb::qtui::test
