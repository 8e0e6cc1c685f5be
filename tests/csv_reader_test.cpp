// The CSV reader: quoted fields, both line ends, and every kind of bad input
// (missing, empty, ragged, open quotes, cells that are no number, garbage)
// ends in a clear problem, never a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/temp_dir.h"
#include "ui/csv_numbers.h"
#include "ui/csv_table.h"

namespace {

using tb::CsvProblem;
using tb::CsvRow;
using tb::CsvTable;

CsvTable parsed(const std::string& text) {
    CsvTable t;
    const CsvProblem p = tb::parse_csv(text, "t.csv", t);
    EXPECT_FALSE(p) << p.text;
    return t;
}

CsvProblem problem_of(const std::string& text) {
    CsvTable t;
    return tb::parse_csv(text, "t.csv", t);
}

TEST(CsvReaderShape, QuotedFieldsKeepCommasQuotesAndLineBreaks) {
    const CsvTable t = parsed("name,note\r\n\"a,b\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",\"\"\r\n");
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.header, (CsvRow{"name", "note"}));
    EXPECT_EQ(t.rows[0], (CsvRow{"a,b", "say \"hi\""}));
    EXPECT_EQ(t.rows[1], (CsvRow{"two\nlines", ""}));
}

TEST(CsvReaderShape, CrLfAndLfFilesReadTheSameAndTheLastLineNeedsNoEnd) {
    const CsvTable crlf = parsed("a,b\r\n1,2\r\n3,4\r\n");
    const CsvTable lf = parsed("a,b\n1,2\n3,4");
    EXPECT_EQ(crlf.header, lf.header);
    EXPECT_EQ(crlf.rows, lf.rows);
    ASSERT_EQ(lf.rows.size(), 2u);
    EXPECT_EQ(lf.rows[1], (CsvRow{"3", "4"}));
}

TEST(CsvReaderShape, BlankLinesAreSkippedButEmptyFieldsAreKept) {
    const CsvTable t = parsed("a,b,c\n\n1,,3\r\n\r\n,,\n");
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0], (CsvRow{"1", "", "3"}));
    EXPECT_EQ(t.rows[1], (CsvRow{"", "", ""}));
}

TEST(CsvReaderShape, AWorkloadThroughputFileReadsWithItsFourteenColumns) {
    const CsvTable t = parsed(
        "TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,T1,T2,T3,T4,T5,T6,T7,T8\r\n"
        "10,102400,800,1000,1000,40,0,0,0,0,0,0,0,0\r\n");
    ASSERT_EQ(t.header.size(), 14u);
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0][1], "102400");
}

TEST(CsvReaderShape, SplittingAndJoiningARowRoundTrips) {
    const CsvRow row{"plain", "with,comma", "with \"quote\"", "", "line\nbreak"};
    CsvRow back;
    ASSERT_TRUE(tb::split_csv_line(tb::join_csv_row(row), back));
    EXPECT_EQ(back, row);
    EXPECT_EQ(tb::join_csv_row({"a", "b,c"}), "a,\"b,c\"");
    EXPECT_FALSE(tb::split_csv_line("a,\"open", back));
    ASSERT_TRUE(tb::split_csv_line("", back));
    EXPECT_EQ(back, CsvRow{""});
}

TEST(CsvReaderProblems, AnEmptyTextOrOneOfBlankLinesIsEmpty) {
    for (const char* text : {"", "\r\n", "\n\n\r\n"}) {
        const CsvProblem p = problem_of(text);
        EXPECT_EQ(p.code, -90) << text;
        EXPECT_NE(p.text.find("empty"), std::string::npos) << p.text;
    }
}

TEST(CsvReaderProblems, ARaggedRowNamesItsRowAndBothFieldCounts) {
    const CsvProblem short_row = problem_of("a,b,c\n1,2,3\n4,5\n");
    EXPECT_EQ(short_row.code, -90);
    EXPECT_EQ(short_row.text, "t.csv: row 3 has 2 fields, the header has 3");
    const CsvProblem long_row = problem_of("a,b\r\n1,2,3\r\n");
    EXPECT_EQ(long_row.text, "t.csv: row 2 has 3 fields, the header has 2");
}

TEST(CsvReaderProblems, AQuoteLeftOpenIsAProblem) {
    const CsvProblem p = problem_of("a,b\n1,\"2\n3,4\n");
    EXPECT_EQ(p.code, -90);
    EXPECT_NE(p.text.find("never closed"), std::string::npos) << p.text;
}

TEST(CsvReaderProblems, AMissingFileIsAFileOpenProblemNamingThePath) {
    const tb::test::TempFolder folder("tamblor-csv-reader");
    const std::string path = (folder.dir() / "absent.csv").string();
    CsvTable t;
    const CsvProblem p = tb::read_csv_file(path, t);
    EXPECT_EQ(p.code, -11);
    EXPECT_EQ(p.text, path);
}

TEST(CsvReaderProblems, AFileWithAByteOrderMarkReadsItsFirstHeadingClean) {
    const tb::test::TempFolder folder("tamblor-csv-reader");
    const std::filesystem::path path = folder.dir() / "bom.csv";
    std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBFx,y\r\n1,2\r\n";
    CsvTable t;
    EXPECT_FALSE(tb::read_csv_file(path.string(), t));
    EXPECT_EQ(t.header, (CsvRow{"x", "y"}));
}

TEST(CsvReaderProblems, GarbageBytesNeverCrashAndGiveATableOrAProblem) {
    std::mt19937 draw(1234);
    const std::string alphabet = std::string("ab1,\"\r\n \t.-") + '\0' + "\xFF\xC3";
    for (int round = 0; round < 3000; ++round) {
        std::string text(draw() % 64, ' ');
        for (char& c : text) c = alphabet[draw() % alphabet.size()];
        CsvTable t;
        const CsvProblem p = tb::parse_csv(text, "g.csv", t);
        if (p) {
            EXPECT_TRUE(p.code == -90) << p.code;
            EXPECT_FALSE(p.text.empty());
            continue;
        }
        for (const CsvRow& row : t.rows) ASSERT_EQ(row.size(), t.header.size());
    }
}

TEST(CsvNumbers, DecimalsSignsExponentsAndBlanksAreNumbers) {
    EXPECT_EQ(tb::csv_number("42"), 42.0);
    EXPECT_EQ(tb::csv_number(" -1.5 "), -1.5);
    EXPECT_EQ(tb::csv_number("+2e3"), 2000.0);
    EXPECT_EQ(tb::csv_number(".5"), 0.5);
    for (const char* bad : {"", " ", "abc", "12abc", "1,2", "0x10", "nan", "inf", "--1", "+", "1e999"})
        EXPECT_FALSE(tb::csv_number(bad).has_value()) << bad;
}

TEST(CsvNumbers, AColumnWithTextNamesRowColumnHeadingAndText) {
    const CsvTable t = parsed("Time,KBPs\n1,100\n2,fast\n3,300\n");
    std::vector<double> v;
    const CsvProblem p = tb::column_numbers(t, 1, "t.csv", v);
    EXPECT_EQ(p.code, -90);
    EXPECT_EQ(p.text, "t.csv: row 3, column 2 (KBPs) is no number: \"fast\"");
    EXPECT_FALSE(tb::column_numbers(t, 0, "t.csv", v));
    EXPECT_EQ(v, (std::vector<double>{1, 2, 3}));
}

TEST(CsvNumbers, AnEmptyCellIsNoNumber) {
    const CsvTable t = parsed("a,b\n1,\n");
    std::vector<double> v;
    const CsvProblem p = tb::column_numbers(t, 1, "t.csv", v);
    EXPECT_EQ(p.text, "t.csv: row 2, column 2 (b) is no number: \"\"");
}

}  // namespace
