// CSV_ShowTable in window runs: the file opens in a table window that sorts
// by the column whose title is clicked, numbers by their value.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>

#include "tests/qt/chart_window_fixture.h"
#include "ui/qt/csv_table_window.h"

namespace tb::qtui {
namespace {

using test::ChartWindowFixture;
using test::wait_until;

// Clicks the title of column `column` as a person would: press and release on it.
void click_title(QTableView* view, int column) {
    QHeaderView* header = view->horizontalHeader();
    const QPointF at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2.0, header->height() / 2.0);
    const QPointF global = header->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &release);
}

std::vector<std::string> column_shown(const CsvTableWindow& w, int column) {
    std::vector<std::string> out;
    for (int row = 0; row < w.view()->model()->rowCount(); ++row) out.push_back(w.shown(row, column).toStdString());
    return out;
}

CsvTable table_of(std::vector<CsvRow> rows) {
    CsvTable t;
    t.header = {"Name", "Size", "Note"};
    t.rows = std::move(rows);
    return t;
}

using Column = std::vector<std::string>;

TEST(CsvTableWindow, ClickingAColumnTitleSortsByItNumbersByValueAndAgainReversesIt) {
    CsvTableWindow w("Sizes", table_of({{"b", "10", "x"}, {"a", "9", "y"}, {"c", "100", "z"}, {"d", "-2.5", "w"}}));
    w.show();
    ASSERT_TRUE(wait_until([&] { return w.isVisible(); }, 2000));
    EXPECT_EQ(w.windowTitle().toStdString(), "Sizes");
    // The file's order until a title is clicked.
    EXPECT_EQ(column_shown(w, 1), (Column{"10", "9", "100", "-2.5"}));

    click_title(w.view(), 1);
    EXPECT_EQ(column_shown(w, 1), (Column{"-2.5", "9", "10", "100"}));
    EXPECT_EQ(column_shown(w, 0), (Column{"d", "a", "b", "c"})) << "the rows move whole";
    click_title(w.view(), 1);
    EXPECT_EQ(column_shown(w, 1), (Column{"100", "10", "9", "-2.5"}));

    click_title(w.view(), 0);
    EXPECT_EQ(column_shown(w, 0), (Column{"a", "b", "c", "d"}));
}

TEST(CsvTableWindow, NumbersSortBeforeTextInAMixedColumn) {
    CsvTableWindow w("Mixed", table_of({{"a", "n/a", ""}, {"b", "7", ""}, {"c", "", ""}, {"d", "3", ""}}));
    w.show();
    ASSERT_TRUE(wait_until([&] { return w.isVisible(); }, 2000));
    click_title(w.view(), 1);
    EXPECT_EQ(column_shown(w, 1), (Column{"3", "7", "", "n/a"}));
}

class CsvTableWindowRun : public ChartWindowFixture {};

TEST_F(CsvTableWindowRun, ShowTableOpensTheFileInATableWindowAndNotesItInTheLog) {
    std::string text = "Index,Value\r\n";
    for (int i = 0; i < 120; ++i) text += std::to_string(i) + "," + std::to_string((i * 37) % 101) + "\r\n";
    const std::string csv = file("table.csv", text);
    ASSERT_TRUE(run_to_end("CSV_ShowTable( File:\"" + csv + "\", Title:\"Window Table\" );\n"));
    EXPECT_EQ(window_->exit_code(), 0);
    CsvTableWindow* table = nullptr;
    ASSERT_TRUE(wait_until(
        [&] {
            for (QWidget* w : display().windows())
                if ((table = qobject_cast<CsvTableWindow*>(w))) return true;
            return false;
        },
        3000));
    EXPECT_EQ(table->windowTitle().toStdString(), "Window Table");
    // Every row is there (the console lines stop at 50), in the file's order.
    ASSERT_EQ(table->view()->model()->rowCount(), 120);
    EXPECT_EQ(table->view()->model()->columnCount(), 2);
    EXPECT_EQ(table->shown(119, 0).toStdString(), "119");
    EXPECT_TRUE(listed_text("Window Table"));
    EXPECT_TRUE(listed_text("120 rows of 2 columns"));
    EXPECT_FALSE(listed_text("    >> more...")) << "the table's text lines are the console's form";
}

}  // namespace
}  // namespace tb::qtui
