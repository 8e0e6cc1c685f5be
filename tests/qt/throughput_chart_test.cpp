// The live throughput chart: a workload's points reach the main window's
// chart from the job thread while the workload runs, a new workload starts a
// new chart, a long run keeps a bounded number of points, and the picture
// saved in window runs is the chart the window draws.
#include <gtest/gtest.h>

#include <algorithm>

#include <QImage>
#include <thread>

#include "tests/qt/chart_window_fixture.h"
#include "ui/qt/chart_painter.h"
#include "ui/qt/line_chart_widget.h"
#include "ui/qt/throughput_chart_view.h"
#include "workload/chart.h"

namespace tb::qtui {
namespace {

using test::ChartWindowFixture;
using test::pixels_of;
using test::wait_until;

ChartPoint point(uint32_t number, uint32_t kbps) {
    ChartPoint p;
    p.number = number;
    p.job_ms = number * 1000;
    p.kbps = kbps;
    p.scale_kbps = 200 * 1024;
    return p;
}

class ThroughputChartTest : public ChartWindowFixture {
protected:
    ThroughputChartView* chart_view() const { return window_->findChild<ThroughputChartView*>(); }
};

TEST_F(ThroughputChartTest, APerformanceRunDrawsItsPointsLiveInTheMainWindow) {
    MainWindow& w = run_window(
        "Performance_RandRead( LBA:0, RangeLenMB:0, AccessKB:4, QD:4, LimitTxSizeMB:0, LimitTimeSec:4, DotPerSec:4, "
        "GetTemperatureSec:1 );\nExit( ErrCode:0 );\n");
    ThroughputChartView* view = chart_view();
    ASSERT_NE(view, nullptr) << "the main window has no throughput chart";
    EXPECT_FALSE(view->isVisible()) << "the chart shows before any workload draws";
    ASSERT_TRUE(job_started());

    // Points arrive while the workload still runs, and the chart shows them.
    ASSERT_TRUE(wait_until([&] { return view->points_received() >= 6; }, 15000));
    EXPECT_TRUE(app().jobs[0].running.load()) << "no point arrived before the run ended";
    EXPECT_TRUE(view->isVisible());
    wait_until([] { return false; }, 2 * ThroughputChartView::kRedrawMs);
    const QImage shown = view->grab().toImage();
    EXPECT_GT(pixels_of(shown, chart_series_colour(0)), 50) << "no throughput line drawn";
    // A point that carries a temperature brings the temperature series
    // (the readings' own schedule is the engine's tests' concern).
    const bool any_temperature = std::any_of(view->points().begin(), view->points().end(),
                                             [](const ChartPoint& q) { return q.has_temperature; });
    ASSERT_EQ(view->chart().series.size(), any_temperature ? 2u : 1u);
    EXPECT_EQ(view->chart().left.name, "MB/s");
    if (any_temperature) EXPECT_EQ(view->chart().right.name, "Temperature (C)");
    EXPECT_EQ(view->chart().x_name, "Time (s)");

    // A screenshot of the window during the run, kept with the build.
    EXPECT_TRUE(w.grab().save(QString::fromStdString(artefact("main_window_performance.png"))));

    ASSERT_TRUE(job_done());
    wait_until([] { return false; }, 300);
    EXPECT_EQ(w.exit_code(), 0);
    // Every point taken is kept (how many a loaded machine takes in 4 s varies).
    EXPECT_GE(view->points().size(), view->points_received() < 4096 ? view->points_received() : 4096u);
    EXPECT_GE(view->points().size(), 6u);
    // The job log's chart line became the saved picture.
    bool image_line = false;
    for (const LogLine& l : listed())
        if (l.kind == LineKind::Image && l.text.size() > 4 && l.text.substr(l.text.size() - 4) == ".png") {
            image_line = true;
            QImage saved(QString::fromStdString(l.text));
            ASSERT_FALSE(saved.isNull()) << l.text;
            EXPECT_GT(pixels_of(saved, chart_series_colour(0)), 50);
        }
    EXPECT_TRUE(image_line);
}

TEST_F(ThroughputChartTest, PointsFromAnotherThreadArriveQueuedAndANewRunStartsAFreshChart) {
    ThroughputChartView view(events_.get());
    std::thread sampler([this] {
        for (uint32_t i = 0; i < 5; ++i) events_->chart_point(0, point(i, 100 * 1024));
        events_->chart_point(3, point(5, 1));  // another slot's chart is not this window's
    });
    sampler.join();
    EXPECT_EQ(view.points_received(), 0u) << "points must be queued onto the window's thread";
    ASSERT_TRUE(wait_until([&] { return view.points_received() == 5; }, 3000));
    EXPECT_FALSE(view.isHidden());
    // The next workload's first point starts its own chart.
    events_->chart_point(0, point(0, 50 * 1024));
    ASSERT_TRUE(wait_until([&] { return view.points_received() == 6; }, 3000));
    ASSERT_EQ(view.points().size(), 1u);
    EXPECT_EQ(view.points()[0].kbps, 50u * 1024);
}

TEST_F(ThroughputChartTest, ALongRunKeepsABoundedNumberOfPointsSpanningTheWholeRun) {
    ThroughputChartView view(events_.get());
    const uint32_t n = ThroughputChartView::kMaxShownPoints * 3;
    for (uint32_t i = 0; i < n; ++i) view.add_point(0, point(i, i));
    EXPECT_EQ(view.points_received(), n);
    EXPECT_LE(view.points().size(), ThroughputChartView::kMaxShownPoints);
    EXPECT_GE(view.points().size(), ThroughputChartView::kMaxShownPoints / 2);
    EXPECT_EQ(view.points().front().number, 0u);
    EXPECT_EQ(view.points().back().number, n - 1);
}

TEST_F(ThroughputChartTest, ThePictureSavedInWindowRunsIsTheChartTheWindowDraws) {
    std::vector<ChartPoint> points;
    for (uint32_t i = 0; i < 30; ++i) {
        ChartPoint p = point(i, (i % 7) * 20 * 1024);
        p.has_temperature = true;
        p.temperature = 40 + static_cast<int32_t>(i % 5);
        points.push_back(p);
    }
    const LineChart chart = throughput_line_chart(points, 200 * 1024);
    const std::string path = folder_ + "/saved.png";
    ASSERT_TRUE(display().save_chart(path, chart));
    LineChartWidget widget;
    widget.set_chart(chart);
    widget.resize(kChartPictureWidth, kChartPictureHeight);
    const QImage drawn = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage saved = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), drawn.size());
    EXPECT_TRUE(saved == drawn) << "the saved picture differs from the window's drawing";
    EXPECT_GT(pixels_of(saved, chart_series_colour(1)), 30) << "no temperature line";
}

}  // namespace
}  // namespace tb::qtui
