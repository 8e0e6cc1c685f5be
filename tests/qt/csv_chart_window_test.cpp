// CSV_ShowChart in window runs: the chosen columns open in a chart window,
// the same chart is saved into the job's log folder and shown as an image
// line, and a missing, empty, ragged or non-numeric file is a clear error
// that opens nothing (in the real program too).
#include <gtest/gtest.h>

#include <QImage>

#include "tests/e2e_support.h"
#include "tests/qt/chart_window_fixture.h"
#include "ui/qt/chart_painter.h"
#include "ui/qt/csv_chart_window.h"

namespace tb::qtui {
namespace {

using test::ChartWindowFixture;
using test::pixels_of;
using test::wait_until;

const char kSeries[] = "Time,Read,Write\r\n0,10,100\r\n1,40,80\r\n2,20,90\r\n3,60,50\r\n4,30,70\r\n";

class CsvChartWindowTest : public ChartWindowFixture {
protected:
    CsvChartWindow* chart_window() const {
        for (QWidget* w : display().windows())
            if (auto* chart = qobject_cast<CsvChartWindow*>(w)) return chart;
        return nullptr;
    }
    const LogLine* image_line() {
        lines_ = listed();
        for (const LogLine& l : lines_)
            if (l.kind == LineKind::Image) return &l;
        return nullptr;
    }
    std::vector<LogLine> lines_;
};

TEST_F(CsvChartWindowTest, TheChosenColumnsOpenInAChartWindowAndAreSavedAsAnImageLine) {
    const std::string csv = file("series.csv", kSeries);
    ASSERT_TRUE(run_to_end("CSV_ShowChart( File:\"" + csv + "\", Title:\"Window Chart\", Column:0 );\n"));
    EXPECT_EQ(window_->exit_code(), 0);
    ASSERT_TRUE(wait_until([&] { return chart_window() != nullptr; }, 3000)) << "no chart window opened";
    CsvChartWindow* w = chart_window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle().toStdString(), "Window Chart");
    ASSERT_EQ(w->chart_widget()->chart().series.size(), 2u);
    EXPECT_EQ(w->chart_widget()->chart().series[1].name, "Write");

    // Both columns are drawn in their colours; no third series is.
    const QImage shown = w->chart_widget()->grab().toImage();
    EXPECT_GT(pixels_of(shown, chart_series_colour(0)), 100);
    EXPECT_GT(pixels_of(shown, chart_series_colour(1)), 100);
    EXPECT_EQ(pixels_of(shown, chart_series_colour(2)), 0);
    EXPECT_TRUE(w->grab().save(QString::fromStdString(artefact("csv_chart_window.png"))));

    // The image line shows the saved chart and links the CSV file.
    const LogLine* line = image_line();
    ASSERT_NE(line, nullptr) << "no image line";
    EXPECT_EQ(line->value, csv);
    const QImage saved(QString::fromStdString(line->text));
    ASSERT_FALSE(saved.isNull()) << line->text;
    EXPECT_EQ(saved.size(), QSize(kChartPictureWidth, kChartPictureHeight));
    EXPECT_GT(pixels_of(saved, chart_series_colour(0)), 100);
    EXPECT_GT(pixels_of(saved, chart_series_colour(1)), 100);
}

TEST_F(CsvChartWindowTest, OneChosenColumnIsTheOnlySeriesDrawn) {
    const std::string csv = file("series.csv", kSeries);
    ASSERT_TRUE(run_to_end("CSV_ShowChart( File:\"" + csv + "\", Column:2 );\n"));
    ASSERT_TRUE(wait_until([&] { return chart_window() != nullptr; }, 3000));
    CsvChartWindow* w = chart_window();
    ASSERT_EQ(w->chart_widget()->chart().series.size(), 1u);
    EXPECT_EQ(w->chart_widget()->chart().series[0].name, "Write");
    EXPECT_EQ(w->windowTitle().toStdString(), "series.csv");
    const QImage shown = w->chart_widget()->grab().toImage();
    EXPECT_GT(pixels_of(shown, chart_series_colour(0)), 100);
    EXPECT_EQ(pixels_of(shown, chart_series_colour(1)), 0);
}

TEST_F(CsvChartWindowTest, BadFilesAreClearErrorsAndOpenNoWindow) {
    struct Case {
        const char* name;
        const char* text;  // nullptr: no file at all
        const char* says;
        int code;
    };
    const Case cases[] = {
        {"missing.csv", nullptr, "missing.csv", -11},
        {"empty.csv", "", "empty.csv", -90},
        {"ragged.csv", "a,b\r\n1,2\r\n3\r\n", "ragged.csv", -90},
        {"words.csv", "a,b\r\n1,2\r\n3,many\r\n", "many", -90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.text ? file(c.name, c.text) : folder_ + "/" + c.name;
        ASSERT_TRUE(run_to_end("CSV_ShowChart( File:\"" + path + "\", Column:1 );\n"));
        EXPECT_EQ(window_->exit_code(), c.code);
        bool told = false;
        for (const LogLine& l : listed())
            if (l.colour == colour::kRed && l.text.find(c.says) != std::string::npos) told = true;
        EXPECT_TRUE(told) << "no red line naming " << c.says;
        wait_until([] { return false; }, 100);
        EXPECT_EQ(chart_window(), nullptr);
        EXPECT_EQ(image_line(), nullptr);
        for (QWidget* w : display().windows()) w->close();
        // The window answers "Job Fail." with a box: it stays and is not hurt.
        for (QMessageBox* box : window_->findChildren<QMessageBox*>()) box->close();
        EXPECT_TRUE(window_->start_button()->isEnabled());
    }
}

// The real program: a window run opens its CSV windows on Qt's offscreen
// platform, saves the chart into the job's log and reports bad input as
// the console run does.
class CsvWindowRunE2e : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = tb::test::make_temp_dir("tamblor-csv-window-e2e");
        std::ofstream(std::filesystem::path(dir_) / "machine.ini")
            << "[machine]\nfolder = " << dir_ << "/sim\npersist = 0\n" << test::kChartTestDisks;
        std::ofstream(std::filesystem::path(dir_) / "series.csv", std::ios::binary) << kSeries;
    }
    tb::test::ProcessResult run(const std::string& script) {
        std::ofstream(std::filesystem::path(dir_) / "t.scpt", std::ios::binary | std::ios::trunc) << script;
        auto environment = tb::test::settings_store_environment(dir_);
        environment["QT_QPA_PLATFORM"] = "offscreen";
        // UI:2 is UI mode 3: the window closes by itself and shows no message box.
        return tb::test::run_tamblor(dir_, {"--sim=machine.ini", "SCRIPT:t.scpt", "\\\\.\\PHYSICALDRIVE1", "UI:2"},
                                     environment);
    }
    std::string html_logs() {
        std::string all;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_))
            if (entry.path().filename() == "TestLog.htm") all += tb::test::read_file(entry.path());
        return all;
    }
    std::string dir_;
};

TEST_F(CsvWindowRunE2e, AChartAndATableOfAGoodFileAndAClearErrorForAMissingOne) {
    const std::string csv = dir_ + "/series.csv";
    tb::test::ProcessResult r = run("CSV_ShowChart( File:\"" + csv + "\", Column:0 );\nCSV_ShowTable( File:\"" + csv +
                                    "\", Title:\"E2E TABLE\" );\nCSV_ShowChart( File:\"" + dir_ + "/none.csv\" );\n");
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-11)) << r.output;
    const std::string html = html_logs();
    EXPECT_NE(html.find("<img border=0 src="), std::string::npos) << "no chart image line";
    EXPECT_NE(html.find("E2E&nbsp;TABLE"), std::string::npos);
    EXPECT_NE(html.find("none.csv"), std::string::npos) << "the error does not name the file";
    bool picture = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_))
        if (entry.path().extension() == ".png" && !QImage(QString::fromStdString(entry.path().string())).isNull())
            picture = true;
    EXPECT_TRUE(picture) << "no chart picture saved";
}

}  // namespace
}  // namespace tb::qtui
