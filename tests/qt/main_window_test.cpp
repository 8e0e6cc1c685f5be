// The main window on the simulated machine: a command-line target starts the
// job by itself, the job's lines reach the list, Stop asks before it cancels,
// and the job's end closes the window or keeps it by the UI mode.
#include <gtest/gtest.h>

#include <QDir>
#include <QMessageBox>
#include <QPushButton>

#include "script/app_context.h"
#include "tests/qt/window_fixture.h"
#include "tests/qt/window_test_support.h"
#include "ui/qt/main_window.h"

namespace tb::qtui {
namespace {

using test::wait_until;

class MainWindowTest : public test::WindowFixture {
protected:
    // Waits only until slot 0's job is no longer running (the cases of one
    // test each run a job in the same fixture).
    bool job_done() { return wait_until([] { return !app().jobs[0].running.load(); }, 20000); }
};

TEST_F(MainWindowTest, ListsTheAllowedDisksWithTheChosenOnesIdentity) {
    MainWindow& w = open_window("Exit( ErrCode:0 );", "");
    ASSERT_GE(w.disk_list()->count(), 2);
    bool raw_nvme = false;
    for (int i = 0; i < w.disk_list()->count(); ++i)
        if (w.disk_list()->itemText(i) == "WINDOW TEST NVMe (RAW)") raw_nvme = true;
    EXPECT_TRUE(raw_nvme);
    // With nothing chosen yet, the disk to test is not the system disk.
    EXPECT_EQ(w.disk_list()->currentText().toStdString(), "WINDOW TEST NVMe (RAW)");
    EXPECT_TRUE(w.start_button()->isEnabled());
    // Without a target nothing starts by itself.
    wait_until([] { return false; }, 300);
    EXPECT_FALSE(w.job_running());
    EXPECT_EQ(w.log_model()->rowCount(), 0);
}

TEST_F(MainWindowTest, ACommandLineTargetStartsTheJobAndItsColouredLinesAreDrawn) {
    app().ui_mode = 0;
    MainWindow& w = open_window(
        "PrintEx( LeftAlign:TRUE, FontSize:16, Color:\"RED\", Output:\"WINDOW RED ########\" );\n"
        "Delay( sec:1 );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(wait_until([] { return app().jobs[0].running.load(); }, 5000)) << "the job did not start";
    EXPECT_FALSE(w.start_button()->isEnabled());
    EXPECT_FALSE(w.disk_list()->isEnabled());
    EXPECT_EQ(w.disk_list()->currentText().toStdString(), "WINDOW TEST NVMe (RAW)");
    ASSERT_TRUE(job_done());
    ASSERT_TRUE(wait_until([&] { return listed("WINDOW RED"); }, 5000));
    EXPECT_EQ(w.exit_code(), 0);

    // The red line is drawn in red on the list.
    int row = -1;
    for (int i = 0; i < w.log_model()->rowCount(); ++i)
        if (w.log_model()->line(i)->text.find("WINDOW RED") != std::string::npos) row = i;
    ASSERT_GE(row, 0);
    w.log_view()->scrollTo(w.log_model()->index(row));
    wait_until([] { return false; }, 100);
    const QImage image = w.log_view()->viewport()->grab().toImage();
    EXPECT_GT(test::pixels_of(image, QColor(255, 0, 0), w.log_view()->visualRect(w.log_model()->index(row))), 30);

    // UI mode 0 and success: the window stays, ready for the next start.
    wait_until([] { return false; }, 200);
    EXPECT_FALSE(finished_);
    EXPECT_TRUE(w.start_button()->isEnabled());
    EXPECT_EQ(open_box(), nullptr);

    // A screenshot of the window after the run, kept with the build.
    QDir().mkpath(TAMBLOR_ARTEFACT_DIR);
    EXPECT_TRUE(w.grab().save(QString(TAMBLOR_ARTEFACT_DIR) + "/main_window.png"));
}

TEST_F(MainWindowTest, ATargetThatMatchesNothingEndsTheWindowWithAFailure) {
    app().ui_mode = 3;  // no message boxes
    MainWindow& w = open_window("Exit( ErrCode:0 );", "\\\\.\\PHYSICALDRIVE9");
    ASSERT_TRUE(wait_until([&] { return finished_; }, 3000));
    EXPECT_FALSE(w.job_running());
    EXPECT_NE(w.exit_code(), 0);
}

TEST_F(MainWindowTest, ATargetThatMatchesNothingIsReportedInUiModeZero) {
    app().ui_mode = 0;
    open_window("Exit( ErrCode:0 );", "\\\\.\\PHYSICALDRIVE9");
    QMessageBox* box = nullptr;
    ASSERT_TRUE(wait_until([&] { return (box = open_box()) != nullptr; }, 3000));
    EXPECT_EQ(box->text().toStdString(), "NO FOUND \\\\.\\PHYSICALDRIVE9");
    EXPECT_FALSE(finished_);  // closes once the operator has read it
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(wait_until([&] { return finished_; }, 3000));
}

TEST_F(MainWindowTest, StopAsksAndCancelsOnlyOnOk) {
    app().ui_mode = 0;
    MainWindow& w = open_window("Delay( sec:30 );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(wait_until([] { return app().jobs[0].running.load(); }, 5000));

    // Cancel: the job goes on.
    w.stop_button()->click();
    ASSERT_NE(w.stop_question(), nullptr);
    EXPECT_EQ(w.stop_question()->text().toStdString(), "Do you want to stop program?");
    EXPECT_EQ(w.stop_question()->windowTitle().toStdString(), "Window Test");
    w.stop_question()->button(QMessageBox::Cancel)->click();
    wait_until([] { return false; }, 300);
    EXPECT_TRUE(w.job_running());
    EXPECT_FALSE(app().jobs[0].cancel.load());

    // OK: the cancel flag is set and the job ends well before its 30 seconds.
    w.stop_button()->click();
    ASSERT_NE(w.stop_question(), nullptr);
    w.stop_question()->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(app().jobs[0].cancel.load());
    ASSERT_TRUE(wait_until([] { return !app().jobs[0].running.load(); }, 8000));
    EXPECT_FALSE(finished_);  // Stop ends the job, not the window
}

TEST_F(MainWindowTest, StopWithoutAJobClosesTheWindowAtOnce) {
    MainWindow& w = open_window("Exit( ErrCode:0 );", "");
    w.stop_button()->click();
    EXPECT_TRUE(finished_);
    EXPECT_EQ(w.stop_question(), nullptr);
}

TEST_F(MainWindowTest, JobEndClosesOrStaysByUiMode) {
    struct Case {
        int ui_mode;
        int exit_code;
        bool closes;
        bool says_why;
    };
    const Case cases[] = {
        {0, 0, false, false}, {0, 5, false, true}, {2, 0, true, false},
        {2, 5, false, true},  {1, 5, true, false}, {3, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("UI mode " + std::to_string(c.ui_mode) + ", exit code " + std::to_string(c.exit_code));
        window_.reset();
        finished_ = false;
        app().ui_mode = c.ui_mode;
        MainWindow& w = open_window("Exit( ErrCode:" + std::to_string(c.exit_code) + " );\n");
        ASSERT_TRUE(wait_until([] { return app().jobs[0].running.load(); }, 5000) || w.exit_code() == c.exit_code);
        ASSERT_TRUE(job_done());
        wait_until([&] { return finished_ || open_box() != nullptr; }, 3000);
        wait_until([] { return false; }, 100);
        EXPECT_EQ(w.exit_code(), c.exit_code);
        EXPECT_EQ(finished_, c.closes);
        EXPECT_EQ(open_box() != nullptr, c.says_why);
        if (QMessageBox* box = open_box()) box->button(QMessageBox::Ok)->click();
    }
}

}  // namespace
}  // namespace tb::qtui
