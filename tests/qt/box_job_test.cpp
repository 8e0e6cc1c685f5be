// A script's boxes in a windowed job: the box is owned by the main window
// (disabled while it is open), the operator's answer becomes the command's
// result, and Escape stops the job.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "app/wiring.h"
#include "disk/target_select.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/qt/window_test_support.h"
#include "tests/sim_test_helpers.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui {
namespace {

using test::wait_until;

// A system disk with a volume and one NVMe disk to test.
const char kDisks[] =
    "[disk0]\ntype = sata\nmodel = BOX SYSTEM SATA\nserial = BSYS0001\nfirmware = BS1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = BOX TEST NVMe\nserial = BOX0001\nfirmware = B1\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

class BoxJob : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = tb::test::fresh_slot();
        app().run_style = kStyleWindow;
        app().ui_mode = 0;
        app().caption = "Box Job";
        machine_folder_ = tb::test::make_temp_dir("tamblor-box-job");
        ASSERT_GT(sim::test::install_machine(machine_folder_, kDisks), 0);
        install_storage(false);
        events_ = std::make_shared<QtJobEvents>();
        previous_ = install_job_events(events_);
    }
    void TearDown() override {
        boxes_.reset();
        window_.reset();
        install_job_events(previous_);
        clear_current_target();
    }

    MainWindow& start(const std::string& script) {
        job_slot(0)->script_path = tb::test::write_file(folder_, "box.scpt", script);
        app().target = "\\\\.\\PHYSICALDRIVE1";
        window_ = std::make_unique<MainWindow>(events_);
        boxes_ = std::make_unique<InstalledQtDialogs>(window_.get());
        window_->show();
        window_->apply_target();
        return *window_;
    }
    QWidget* open_box() {
        QWidget* found = nullptr;
        wait_until([&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->objectName() == "myBox") found = w;
            return found != nullptr;
        }, 10000);
        return found;
    }
    bool listed(const std::string& text) {
        for (int i = 0; i < window_->log_model()->rowCount(); ++i)
            if (window_->log_model()->line(i)->text.find(text) != std::string::npos) return true;
        return false;
    }

    std::string folder_;
    std::string machine_folder_;
    std::shared_ptr<QtJobEvents> events_;
    std::shared_ptr<JobEvents> previous_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<InstalledQtDialogs> boxes_;
};

TEST_F(BoxJob, TheAnswerBecomesTheResult) {
    MainWindow& w = start("a = MessageBox( Output:\"Go on?\", Button:\"YESNO\" );\nPrint( Output:\"ANSWER=\" + a );\n");
    QWidget* box = open_box();
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(w.isEnabled()) << "the main window is disabled while the box is open";
    QPushButton* no = nullptr;
    for (QPushButton* b : box->findChildren<QPushButton*>())
        if (b->text() == "No") no = b;
    ASSERT_NE(no, nullptr);
    QTest::mouseClick(no, Qt::LeftButton);
    ASSERT_TRUE(wait_until([] { return !app().jobs[0].running.load(); }, 10000));
    ASSERT_TRUE(wait_until([&] { return listed("ANSWER=0"); }, 5000));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.exit_code(), 0);
}

TEST_F(BoxJob, EscapeStopsTheJob) {
    start("a = MessageBox( Output:\"Go on?\" );\nPrint( Output:\"AFTER THE BOX\" );\n");
    QWidget* box = open_box();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    ASSERT_TRUE(wait_until([] { return !app().jobs[0].running.load(); }, 10000));
    ASSERT_TRUE(wait_until([&] { return listed("---- Cancel Job ----"); }, 5000));
    EXPECT_FALSE(listed("AFTER THE BOX"));
}

}  // namespace
}  // namespace tb::qtui
