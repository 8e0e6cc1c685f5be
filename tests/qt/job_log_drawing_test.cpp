// How the job-log list draws its lines, read back from a grab of the list.
#include <gtest/gtest.h>

#include <QImage>
#include <QListView>
#include <QPainter>
#include <memory>

#include "tests/qt/window_test_support.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/qt/job_log_view.h"
#include "ui/qt/log_line_model.h"
#include "ui/qt/log_line_painter.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui {
namespace {

using test::pixels_of;

LogLine text_line(const std::string& text, uint32_t colour, bool left = false, int font_size = 14) {
    LogLine l;
    l.text = text;
    l.colour = colour;
    l.left_aligned = left;
    l.font_size = font_size;
    return l;
}

// A list of its own with the lines given, laid out and grabbed.
class DrawnList {
public:
    explicit DrawnList(const std::vector<LogLine>& lines, size_t capacity = 100)
        : model_(capacity), view_(make_job_log_view(&model_, nullptr)) {
        view_->setFrameShape(QFrame::NoFrame);
        view_->resize(900, 400);
        for (size_t i = 0; i < lines.size(); ++i) model_.add_line(static_cast<int>(i), lines[i]);
        view_->show();
        test::wait_until([] { return false; }, 50);
    }
    QImage grab() { return view_->viewport()->grab().toImage(); }
    QRect row_rect(int row) { return view_->visualRect(model_.index(row)); }

private:
    LogLineModel model_;
    std::unique_ptr<QListView> view_;
};

TEST(JobLogDrawing, TextLinesAreDrawnInTheirColourOnBlack) {
    DrawnList list({text_line("RED LINE ####", colour::kRed), text_line("GREEN LINE ####", colour::kGreen)});
    const QImage image = list.grab();
    const QRect red_row = list.row_rect(0), green_row = list.row_rect(1);
    EXPECT_GT(pixels_of(image, QColor(255, 0, 0), red_row), 20);
    EXPECT_EQ(pixels_of(image, QColor(0, 255, 0), red_row), 0);
    EXPECT_GT(pixels_of(image, QColor(0, 255, 0), green_row), 20);
    // The background of the list is black, below the lines too.
    EXPECT_EQ(image.pixelColor(image.width() - 5, image.height() - 5), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(red_row.right() - 2, red_row.center().y()), QColor(Qt::black));
}

TEST(JobLogDrawing, AChartLineWaitingForItsPictureKeepsThePicturesRoomAndNamesItSmall) {
    // A workload's chart line is the picture's path at the picture's height
    // until the picture is saved.
    DrawnList list({text_line("/tmp/run/R0000000001.png", colour::kWhite, false, 150),
                    text_line("AFTER ####", colour::kGreen)});
    const QImage image = list.grab();
    const QRect chart_row = list.row_rect(0);
    EXPECT_EQ(chart_row.height(), 150);
    // No letters the picture's height: the lower part of the row stays black.
    const QRect lower(chart_row.left(), chart_row.top() + 40, chart_row.width(), chart_row.height() - 40);
    EXPECT_EQ(pixels_of(image, QColor(Qt::white), lower), 0);
    EXPECT_EQ(pixels_of(image, QColor(0x80, 0x80, 0x80), lower), 0);
    EXPECT_GT(pixels_of(image, QColor(0x80, 0x80, 0x80), chart_row), 10) << "the file is not named";
    EXPECT_GT(pixels_of(image, QColor(0, 255, 0), list.row_rect(1)), 20);
}

TEST(JobLogDrawing, ColourValuesAreBlueGreenRed) {
    // 0x00BBGGRR: the low byte is red.
    EXPECT_EQ(line_colour(colour::kRed), QColor(255, 0, 0));
    EXPECT_EQ(line_colour(colour::kOrange), QColor(0xFF, 0x7F, 0x27));
    EXPECT_EQ(line_colour(colour::kBlue), QColor(0x32, 0x96, 0xFF));
}

TEST(JobLogDrawing, LinesThatAreNotLeftAlignedStartNinetyPixelsIn) {
    DrawnList list({text_line("####", colour::kYellow, false), text_line("####", colour::kCyan, true)});
    const QImage image = list.grab();
    const QRect indented = list.row_rect(0), left = list.row_rect(1);
    const int indented_x = test::first_column_of(image.copy(indented), QColor(255, 255, 0));
    const int left_x = test::first_column_of(image.copy(left), QColor(0, 255, 255));
    ASSERT_GE(indented_x, 0);
    ASSERT_GE(left_x, 0);
    EXPECT_GE(indented_x, kIndent);
    EXPECT_LT(left_x, 20);
}

TEST(JobLogDrawing, RowHeightsFollowTheLineKind) {
    LogLine text = text_line("x", colour::kWhite, false, 10);
    EXPECT_EQ(line_height(text), 16);  // font size * 3 / 2 + 1
    LogLine image = text;
    image.kind = LineKind::Image;
    image.font_size = 150;
    EXPECT_EQ(line_height(image), 150);
    LogLine hex = text;
    hex.kind = LineKind::HexFile;
    EXPECT_EQ(line_height(hex), kHexItemHeight);
}

TEST(JobLogDrawing, ImageLinesAreScaledToTheLineHeight) {
    const std::string folder = tb::test::make_temp_dir("tamblor-window");
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    const std::string path = folder + "/picture.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(path)));
    LogLine line;
    line.kind = LineKind::Image;
    line.font_size = 50;
    line.text = path;
    DrawnList list({line});
    const QImage image = list.grab();
    const QRect row = list.row_rect(0);
    EXPECT_EQ(row.height(), 50);
    // 200 x 100 shown 50 high keeps its shape: 100 x 50 pixels, from x 90.
    const int blue = pixels_of(image, QColor(0, 0, 255), row);
    EXPECT_NEAR(blue, 100 * 50, 300);
    EXPECT_EQ(test::first_column_of(image.copy(row), QColor(0, 0, 255)), kIndent);
}

TEST(JobLogDrawing, AMissingImageSaysSoInRed) {
    LogLine line;
    line.kind = LineKind::Image;
    line.font_size = 40;
    line.text = "/nonexistent/picture.png";
    DrawnList list({line});
    EXPECT_GT(pixels_of(list.grab(), QColor(255, 0, 0), list.row_rect(0)), 20);
}

TEST(JobLogDrawing, HexLinesDumpTheFirstBytesOfTheirFile) {
    const std::string folder = tb::test::make_temp_dir("tamblor-window");
    const std::string path = tb::test::write_file(folder, "data.bin", std::string(300, '\x5A'));
    LogLine line;
    line.kind = LineKind::HexFile;
    line.colour = colour::kGreen;
    line.text = path;
    line.value = path;
    DrawnList list({line});
    const QImage image = list.grab();
    const QRect row = list.row_rect(0);
    EXPECT_EQ(row.height(), kHexItemHeight);
    // 128 bytes: eight rows of text, the last one in the lower part of the line.
    const int row_height = kHexFontSize * 3 / 2;
    EXPECT_GT(pixels_of(image, QColor(0, 255, 0), QRect(row.left(), row.top(), row.width(), row_height)), 10);
    EXPECT_GT(pixels_of(image, QColor(0, 255, 0), QRect(row.left(), row.top() + 7 * row_height, row.width(), row_height)), 10);
    // Nothing drawn below the eighth row.
    EXPECT_EQ(pixels_of(image, QColor(0, 255, 0), QRect(row.left(), row.top() + 8 * row_height, row.width(), row.height() - 8 * row_height)), 0);
}

TEST(JobLogList, KeepsOnlyItsCapacityOfNewestLines) {
    LogLineModel model(3);
    for (int i = 0; i < 5; ++i) model.add_line(i, text_line("line " + std::to_string(i), colour::kWhite));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.line(0)->text, "line 2");
    EXPECT_EQ(model.line(2)->text, "line 4");
    // Rewriting a line follows the writer's index, not the row.
    model.change_line(3, text_line("changed", colour::kWhite));
    EXPECT_EQ(model.line(1)->text, "changed");
    model.change_line(0, text_line("gone", colour::kWhite));  // no longer kept: ignored
    EXPECT_EQ(model.line(0)->text, "line 2");
}

TEST(JobLogList, StartsOverWhenTheWriterDoes) {
    LogLineModel model(100);
    for (int i = 0; i < 4; ++i) model.add_line(i, text_line("old", colour::kWhite));
    model.add_line(0, text_line("new", colour::kWhite));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.line(0)->text, "new");
    model.clear_lines();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(JobProgress, BarPositionWithinTheStage) {
    EXPECT_EQ(progress_position({20, 60}, 0), 20);
    EXPECT_EQ(progress_position({20, 60}, 50), 40);
    EXPECT_EQ(progress_position({20, 0}, 100), 100);  // end 0 stands for 100
    EXPECT_EQ(progress_position({0, 0}, 250), 100);   // never beyond the bar
}

}  // namespace
}  // namespace tb::qtui
