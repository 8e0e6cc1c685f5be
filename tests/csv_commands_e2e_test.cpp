// End to end: the CSV commands and FontList through the real binary on a
// simulated machine: the files they write, the chart picture and its image
// line, the table lines, their results and the exit codes of bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using tb::test::read_file;

constexpr const char* kMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n";

class CsvCommandsE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-csv-e2e", kMachine};
    const fs::path dir_ = machine_.dir();

    tb::test::ShellResult run(const std::string& script) {
        tb::test::ShellResult r =
            tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n" + script);
        log_ = tb::test::log_folder_of(r.output);
        return r;
    }
    // A path inside the test folder, as a script writes it.
    std::string script_path(const std::string& name) const { return (dir_ / name).string(); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    std::string log_;
};

TEST_F(CsvCommandsE2E, AddDataStartsAFileWithItsHeaderAndAppendsCheckedRows) {
    tb::test::ShellResult r = run("f = \"" + script_path("data.csv") + "\";\n"
                                  "a = CSV_AddData( File:f, Output:\"Time,KBPs,Note\" );\n"
                                  "b = CSV_AddData( File:f, Output:\"1,100,x y\" );\n"
                                  "c = CSV_AddData( File:f, Output:\"2,200,z\" );\n"
                                  "Print( Output:\"A=\" + a + \" B=\" + b + \" C=\" + c );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "A=0 B=1 C=2")) << r.output;
    EXPECT_EQ(read_file(dir_ / "data.csv"), "Time,KBPs,Note\r\n1,100,x y\r\n2,200,z\r\n");
}

TEST_F(CsvCommandsE2E, AddDataKeepsTheFilesLineEndsAndEndsAnOpenLastLine) {
    write("lf.csv", "a,b\n1,2");
    tb::test::ShellResult r = run("CSV_AddData( File:\"" + script_path("lf.csv") + "\", Output:\"3,4\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_file(dir_ / "lf.csv"), "a,b\n1,2\n3,4\n");
}

TEST_F(CsvCommandsE2E, AddDataRefusesARowOfAnotherWidthAndLeavesTheFile) {
    write("w.csv", "a,b,c\r\n1,2,3\r\n");
    tb::test::ShellResult r = run("CSV_AddData( File:\"" + script_path("w.csv") + "\", Output:\"4,5\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-90)) << r.output;
    EXPECT_TRUE(has(r, "the row has 2 fields, the header has 3")) << r.output;
    EXPECT_EQ(read_file(dir_ / "w.csv"), "a,b,c\r\n1,2,3\r\n");
}

TEST_F(CsvCommandsE2E, AddDataStartsABlankFileAfreshAndRefusesAUtf16File) {
    write("blank.csv", "\r\n");
    const std::string utf16("\xFF\xFE" "a\0,\0b\0\r\0\n\0", 12);
    write("wide.csv", utf16);
    tb::test::ShellResult r = run("CSV_AddData( File:\"" + script_path("blank.csv") + "\", Output:\"h1,h2\" );\n"
                                  "CSV_AddData( File:\"" + script_path("wide.csv") + "\", Output:\"1,2\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-90)) << r.output;
    EXPECT_TRUE(has(r, "a row is added only to a UTF-8 file")) << r.output;
    EXPECT_EQ(read_file(dir_ / "blank.csv"), "h1,h2\r\n");
    EXPECT_EQ(read_file(dir_ / "wide.csv"), utf16);
}

TEST_F(CsvCommandsE2E, AddDataRefusesAnEmptyRow) {
    tb::test::ShellResult r = run("CSV_AddData( File:\"" + script_path("e.csv") + "\", Output:\"\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "e.csv"));
}

TEST_F(CsvCommandsE2E, MergeJoinsTheFolderInNameOrderUnderOneHeader) {
    fs::create_directory(dir_ / "in");
    write("in/b.csv", "x,y\n3,4\n");
    write("in/a.CSV", "x,y\r\n1,2\r\n");
    write("in/c.csv", "x,y\r\n");
    write("in/notes.txt", "not a csv");
    tb::test::ShellResult r = run("n = MergeCSVs( Folder:\"" + script_path("in") + "\", SaveFile:\"" +
                                  script_path("in/all.csv") + "\" );\nPrint( Output:\"N=\" + n );\n"
                                  "m = MergeCSVs( Folder:\"" + script_path("in") + "\", SaveFile:\"" +
                                  script_path("in/all.csv") + "\" );\nPrint( Output:\"M=\" + m );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    // The second merge leaves its own earlier result out.
    EXPECT_EQ(tb::test::printed_values(r.output)["N"], 2);
    EXPECT_EQ(tb::test::printed_values(r.output)["M"], 2);
    EXPECT_EQ(read_file(dir_ / "in" / "all.csv"), "x,y\r\n1,2\r\n3,4\r\n");
    EXPECT_FALSE(fs::exists(dir_ / "in" / "all.csv.partial"));
}

TEST_F(CsvCommandsE2E, MergeRefusesADifferentHeaderNamingTheFileAndWritesNothing) {
    fs::create_directory(dir_ / "in");
    write("in/a.csv", "x,y\n1,2\n");
    write("in/b.csv", "x,z\n3,4\n");
    tb::test::ShellResult r = run("MergeCSVs( Folder:\"" + script_path("in") + "\", SaveFile:\"" +
                                  script_path("out.csv") + "\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-90)) << r.output;
    EXPECT_TRUE(has(r, "b.csv: its header \"x,z\" differs from \"x,y\"")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
}

TEST_F(CsvCommandsE2E, MergeOfAFolderWithoutCsvFilesOrOfNoFolderIsAFileError) {
    fs::create_directory(dir_ / "none");
    tb::test::ShellResult empty = run("MergeCSVs( Folder:\"" + script_path("none") + "\", SaveFile:\"" +
                                      script_path("out.csv") + "\" );\n");
    EXPECT_EQ(empty.exit_code, tb::test::script_exit(-11)) << empty.output;
    EXPECT_TRUE(has(empty, "no CSV file to merge")) << empty.output;
    tb::test::ShellResult missing = run("MergeCSVs( Folder:\"" + script_path("absent") + "\", SaveFile:\"" +
                                        script_path("out.csv") + "\" );\n");
    EXPECT_EQ(missing.exit_code, tb::test::script_exit(-11)) << missing.output;
    EXPECT_FALSE(fs::exists(dir_ / "out.csv"));
}

TEST_F(CsvCommandsE2E, ShowChartSavesAPictureInTheLogFolderAndShowsItAsAnImageLine) {
    write("perf.csv",
          "TotalMB,KBPs,IOPs\r\n10,1000,8\r\n20,1500,12\r\n30,1200,9\r\n");
    tb::test::ShellResult r = run("n = CSV_ShowChart( File:\"" + script_path("perf.csv") +
                                  "\", Title:\"Perf\", Column:1 );\nPrint( Output:\"N=\" + n );\n"
                                  "CSV_ShowChart( File:\"" + script_path("perf.csv") + "\", Column:0 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["N"], 3);
    ASSERT_FALSE(log_.empty()) << r.output;
    const std::vector<fs::path> pictures = tb::test::files_ending(log_, ".png");
    ASSERT_EQ(pictures.size(), 2u);
    for (const fs::path& p : pictures) EXPECT_EQ(read_file(p).substr(1, 3), "PNG");
    // The HTML log shows each picture, linked to the CSV file.
    const std::string html = read_file(fs::path(log_) / "TestLog.htm");
    for (const fs::path& p : pictures)
        EXPECT_NE(html.find("<a href=\"perf.csv\"><img border=0 src=\"" + p.filename().string() + "\">"),
                  std::string::npos)
            << html;
}

TEST_F(CsvCommandsE2E, ShowChartDrawsAgainstTheRowNumberWhenTheFirstColumnIsText) {
    write("times.csv", "Time,KBPs\n07:00,100\n07:01,120\n");
    tb::test::ShellResult r = run("n = CSV_ShowChart( File:\"" + script_path("times.csv") +
                                  "\" );\nPrint( Output:\"N=\" + n );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["N"], 2);
    EXPECT_EQ(tb::test::files_ending(log_, ".png").size(), 1u);
}

TEST_F(CsvCommandsE2E, ShowChartRefusesAColumnOutOfRangeAndCellsThatAreNoNumbers) {
    write("p.csv", "a,b\n1,2\n2,x\n");
    tb::test::ShellResult range = run("CSV_ShowChart( File:\"" + script_path("p.csv") + "\", Column:2 );\n");
    EXPECT_EQ(range.exit_code, tb::test::script_exit(-2)) << range.output;
    EXPECT_TRUE(has(range, "Column 2 is out of range")) << range.output;
    tb::test::ShellResult text = run("CSV_ShowChart( File:\"" + script_path("p.csv") + "\", Column:1 );\n");
    EXPECT_EQ(text.exit_code, tb::test::script_exit(-90)) << text.output;
    EXPECT_TRUE(has(text, "row 3, column 2 (b) is no number: \"x\"")) << text.output;
    EXPECT_TRUE(tb::test::files_ending(log_, ".png").empty());
}

TEST_F(CsvCommandsE2E, ShowChartAndShowTableReportMissingEmptyAndRaggedFiles) {
    write("empty.csv", "");
    write("ragged.csv", "a,b\n1,2\n3\n");
    for (const char* command : {"CSV_ShowChart", "CSV_ShowTable"}) {
        tb::test::ShellResult missing =
            run(std::string(command) + "( File:\"" + script_path("absent.csv") + "\" );\n");
        EXPECT_EQ(missing.exit_code, tb::test::script_exit(-11)) << command << missing.output;
        tb::test::ShellResult empty = run(std::string(command) + "( File:\"" + script_path("empty.csv") + "\" );\n");
        EXPECT_EQ(empty.exit_code, tb::test::script_exit(-90)) << command << empty.output;
        EXPECT_TRUE(has(empty, "the file is empty")) << empty.output;
        tb::test::ShellResult ragged =
            run(std::string(command) + "( File:\"" + script_path("ragged.csv") + "\" );\n");
        EXPECT_EQ(ragged.exit_code, tb::test::script_exit(-90)) << command << ragged.output;
        EXPECT_TRUE(has(ragged, "row 3 has 1 fields, the header has 2")) << ragged.output;
    }
}

TEST_F(CsvCommandsE2E, ShowTableWritesAlignedLinesAndNotesTheRowsLeftOut) {
    std::string text = "Step,KBPs\r\n";
    for (int i = 1; i <= 60; ++i) text += std::to_string(i) + "," + std::to_string(i * 100) + "\r\n";
    write("t.csv", text);
    tb::test::ShellResult r = run("n = CSV_ShowTable( File:\"" + script_path("t.csv") +
                                  "\", Title:\"Steps\" );\nPrint( Output:\"N=\" + n );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["N"], 60);
    EXPECT_TRUE(has(r, "Steps")) << r.output;
    EXPECT_TRUE(has(r, "Step  KBPs")) << r.output;
    EXPECT_TRUE(has(r, "\n        1      100\n")) << r.output;
    EXPECT_TRUE(has(r, "\n        50    5000\n")) << r.output;
    EXPECT_FALSE(has(r, "5100")) << r.output;
    EXPECT_TRUE(has(r, "    >> more... (10 more rows in ")) << r.output;
}

TEST_F(CsvCommandsE2E, FontListNamesTheLogsMonospaceFont) {
    tb::test::ShellResult r = run("f = FontList();\nPrint( Output:\"FONT[\" + f + \"]\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "FONT[Courier New]")) << r.output;
}

}  // namespace
