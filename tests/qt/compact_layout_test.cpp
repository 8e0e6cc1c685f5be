// The compact layouts: run style 20 shows a status line, run style 10 a
// status history, both with the progress bar and without the job log; the
// job's SetStatusText reaches them.
#include <gtest/gtest.h>

#include "tests/qt/window_fixture.h"

namespace tb::qtui::test {
namespace {

class CompactLayout : public WindowFixture {};

const char kStatusScript[] =
    "SetStatusText( Status:\"STEP ONE\", Progress:20, 60 );\n"
    "Delay( sec:1 );\n"
    "SetStatusText( Status:\"STEP TWO\", Progress:60, 100 );\n"
    "Delay( sec:1 );\n"
    "Exit( ErrCode:0 );\n";

TEST_F(CompactLayout, TheStatusLineShowsTheLatestStatusAndTheBarItsStage) {
    app().run_style = kStyleStatusLine;
    MainWindow& w = open_window(kStatusScript);
    StatusPanel* panel = w.status_panel();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->status_line()->isVisible());
    EXPECT_FALSE(panel->status_history()->isVisible());
    EXPECT_TRUE(panel->progress_bar()->isVisible());
    EXPECT_FALSE(w.log_view()->isVisible());
    EXPECT_EQ(panel->progress_bar()->height(), kProgressBarHeight);

    ASSERT_TRUE(job_started());
    ASSERT_TRUE(wait_until([&] { return panel->status_line()->text() == "STEP ONE"; }, 5000));
    EXPECT_EQ(panel->progress_bar()->value(), 20);
    ASSERT_TRUE(wait_until([&] { return panel->status_line()->text() == "STEP TWO"; }, 5000));
    EXPECT_EQ(panel->progress_bar()->value(), 60);
    ASSERT_TRUE(job_done());
    // The lines are still written to the job log, which this layout does not show.
    wait_until([&] { return listed("STEP TWO"); }, 3000);
    EXPECT_TRUE(listed("STEP ONE"));
}

TEST_F(CompactLayout, TheStatusHistoryKeepsEveryStatus) {
    app().run_style = kStyleStatusHistory;
    MainWindow& w = open_window(kStatusScript);
    StatusPanel* panel = w.status_panel();
    EXPECT_TRUE(panel->status_history()->isVisible());
    EXPECT_FALSE(panel->status_line()->isVisible());
    EXPECT_FALSE(w.log_view()->isVisible());
    ASSERT_TRUE(job_done());
    ASSERT_TRUE(wait_until([&] { return panel->status_history()->count() == 2; }, 5000));
    EXPECT_EQ(panel->status_history()->item(0)->text().toStdString(), "STEP ONE");
    EXPECT_EQ(panel->status_history()->item(1)->text().toStdString(), "STEP TWO");
    EXPECT_EQ(panel->progress_bar()->value(), 60);

    // A new start clears the history.
    w.start_job();
    EXPECT_EQ(panel->status_history()->count(), 0);
    ASSERT_TRUE(job_done(2));
}

TEST_F(CompactLayout, TheFullLayoutShowsTheJobLogAndNoStatus) {
    MainWindow& w = open_window("Exit( ErrCode:0 );", "");
    EXPECT_TRUE(w.log_view()->isVisible());
    EXPECT_FALSE(w.status_panel()->isVisible());
}

}  // namespace
}  // namespace tb::qtui::test
