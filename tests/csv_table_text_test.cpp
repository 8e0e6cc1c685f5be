// A CSV table as aligned text lines: columns line up, numbers sit to the
// right, long cells are cut, and only the first rows are shown.
#include <gtest/gtest.h>

#include <string>

#include "ui/csv_table.h"
#include "ui/csv_table_text.h"

namespace {

tb::CsvTable table_of(const std::string& text) {
    tb::CsvTable t;
    EXPECT_FALSE(tb::parse_csv(text, "t.csv", t));
    return t;
}

TEST(CsvTableText, ColumnsLineUpWithNumbersToTheRight) {
    const std::vector<std::string> lines = tb::table_text_lines(table_of("Name,KBPs\nalpha,5\nb,12345\n"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Name   KBPs");
    EXPECT_EQ(lines[1], "-----  -----");
    EXPECT_EQ(lines[2], "alpha      5");
    EXPECT_EQ(lines[3], "b      12345");
}

TEST(CsvTableText, TheFirstColumnStaysLeftEvenForNumbers) {
    const std::vector<std::string> lines = tb::table_text_lines(table_of("Step,KBPs\n1,100\n200,5\n"));
    EXPECT_EQ(lines[2], "1      100");
    EXPECT_EQ(lines[3], "200      5");
}

TEST(CsvTableText, LongCellsAreCutWithAMarkAndLineBreaksBecomeBlanks) {
    const std::string long_cell(30, 'x');
    const std::vector<std::string> lines = tb::table_text_lines(table_of("h\n" + long_cell + "\n\"a\nb\"\n"));
    EXPECT_EQ(lines[2], std::string(tb::kCellChars - 1, 'x') + "~");
    EXPECT_EQ(lines[3], "a b");
}

TEST(CsvTableText, WidthsCountCharactersNotBytes) {
    const std::vector<std::string> lines = tb::table_text_lines(table_of("h,n\n\xC3\xA9\xC3\xA9,1\nabc,2\n"));
    EXPECT_EQ(lines[2], "\xC3\xA9\xC3\xA9   1");
    EXPECT_EQ(lines[3], "abc  2");
}

TEST(CsvTableText, OnlyTheFirstRowsAreShown) {
    std::string text = "n\n";
    for (int i = 0; i < 80; ++i) text += std::to_string(i) + "\n";
    const std::vector<std::string> lines = tb::table_text_lines(table_of(text));
    ASSERT_EQ(lines.size(), tb::kTableRowsShown + 2);
    EXPECT_EQ(lines.back(), "49");
    EXPECT_EQ(tb::table_text_lines(table_of("a,b\n")).size(), 2u);
}

}  // namespace
