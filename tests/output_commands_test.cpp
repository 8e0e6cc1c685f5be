// The print, result-reading and folder commands, called as the interpreter
// calls them: with a normalised ArgList text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/job_slot.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "ui/job_log.h"
#include "ui/output_commands.h"
#include "ui/status.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class OutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        app().run_style = kStyleWindow;
        reset_status(0);
    }
    void TearDown() override {
        close_job_logs(0);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    JobSlot& slot() { return *job_slot(0); }
    LogLine last() { return job_log_lines(0).back(); }
    size_t line_count() { return job_log_lines(0).size(); }

    // A device command's output: its header, its lines, optionally its data file.
    void command_output(const std::vector<std::string>& lines, const std::string& data = {}) {
        write_line(0, "Cmd();", LineFormat::CommandHeader);
        for (const auto& l : lines) write_line(0, l);
        if (!data.empty()) attach_data_file(0, colour::kOlive, test::write_file(folder_, "cmd.Hex", data), false);
    }

    std::string folder_;
    test::ScopedFakeDialogs dialogs_;  // every file dialog is cancelled
};

// ---- Print and PrintEx -------------------------------------------------------------

TEST_F(OutputTest, PrintWritesYellowWithOrWithoutIndent) {
    cmd_Print(0, "LeftAlign:0, Output:\"Test\"", "Print");
    EXPECT_EQ(last().text, "Test");
    EXPECT_EQ(last().colour, colour::kYellow);
    EXPECT_EQ(last().kind, LineKind::Text);
    EXPECT_FALSE(last().left_aligned);
    cmd_Print(0, "LeftAlign:1, Output:\"Left\"", "Print");
    EXPECT_TRUE(last().left_aligned);
    cmd_Print(0, "Output:5", "Print");
    EXPECT_EQ(last().text, "5");
    cmd_Print(0, "\"lone\"", "Print");
    EXPECT_EQ(last().text, "lone");
    EXPECT_FALSE(last().left_aligned);
}

TEST_F(OutputTest, PrintExKeysBySubstringInAnyOrder) {
    cmd_PrintEx(0, "Output:\"Hi\", Color:\"maroon\", FontSize:14, LeftAlign:1", "PrintEx");
    LogLine l = last();
    EXPECT_EQ(l.text, "Hi");
    EXPECT_EQ(l.colour, 0x4C3E85u);
    EXPECT_EQ(l.font_size, 14);
    EXPECT_TRUE(l.left_aligned);
    EXPECT_EQ(l.kind, LineKind::ConsoleText);
    EXPECT_EQ(status_text(0), "Hi");

    cmd_PrintEx(0, "Color:\"NoSuchColour\", Output:\"plain\"", "PrintEx");
    EXPECT_EQ(last().colour, colour::kWhite);
    EXPECT_EQ(last().font_size, 10);
    cmd_PrintEx(0, "Color:\"BlueGreen\", Output:\"x\"", "PrintEx");
    EXPECT_EQ(last().colour, 0xFFFF00u);
}

TEST_F(OutputTest, PrintExIsEchoedOnTheConsoleInEveryUiMode) {
    app().run_style = kStyleConsole;
    app().ui_mode = 1;
    cmd_Print(0, "Output:\"hidden\"", "Print");
    cmd_PrintEx(0, "Output:\"shown\"", "PrintEx");
    EXPECT_EQ(test::console_output(), "        shown\n");
}

TEST_F(OutputTest, PrintExImageLineTakesThePictureHeight) {
    std::string png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x40\0\0\0\x30", 24);
    std::string path = test::write_file(folder_, "small.png", png);
    cmd_PrintEx(0, "Color:\"IMAGE\", Output:\"small.png\"", "PrintEx");
    LogLine l = last();
    EXPECT_EQ(l.kind, LineKind::Image);
    EXPECT_EQ(l.font_size, 48);
    EXPECT_EQ(l.colour, colour::kBlue);
    EXPECT_EQ(fs::path(l.text), fs::path(path));
    EXPECT_EQ(l.value, l.text);

    std::string tall("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x40\0\0\x04\0", 24);
    test::write_file(folder_, "tall.png", tall);
    cmd_PrintEx(0, "Color:\"image\", Output:\"tall.png\"", "PrintEx");
    EXPECT_EQ(last().font_size, 255);

    size_t before = line_count();
    cmd_PrintEx(0, "Color:\"IMAGE\", Output:\"missing.png\"", "PrintEx");
    EXPECT_EQ(slot().error_code, kErrFileOpen);
    EXPECT_NE(slot().error_text.find("missing.png"), std::string::npos);
    EXPECT_EQ(job_log_lines(0)[before].text, "[Error Code]:  0xFFFFFFF5");
}

TEST_F(OutputTest, PrintExTextFileWritesEveryLineWhite) {
    test::write_file(folder_, "notes.txt", "first\r\nsecond\n" + std::string(600, 'w') + "\n");
    cmd_PrintEx(0, "Color:\"TXTFILE\", Output:\"notes.txt\", Size:12", "PrintEx");
    std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "first");
    EXPECT_EQ(lines[1].text, "second");
    EXPECT_EQ(lines[2].text.size(), 250u);  // cut at 512 when read, at 250 when stored
    for (const auto& l : lines) {
        EXPECT_EQ(l.colour, colour::kWhite);
        EXPECT_EQ(l.kind, LineKind::ConsoleText);
    }
}

// ---- Result ------------------------------------------------------------------------

TEST_F(OutputTest, ResultReadsTheValueAndEchoesItGrey) {
    command_output({"Model Number (MN) : ABC ", "Serial : 0x1F", "Count : 42"});
    cmd_Result(0, "KeyWord:\"Model Number\", ShowResult:1", "Result");
    EXPECT_EQ(test::var("Result"), "ABC");
    EXPECT_EQ(last().text, "Model Number" + std::string(30, ' ') + " = ABC");
    EXPECT_EQ(last().colour, colour::kGrey);

    cmd_Result(0, "KeyWord:\"Serial\", ShowResult:0", "Result");
    EXPECT_EQ(test::var("Result"), "0x1F");
    EXPECT_EQ(slot().vars.find("Result")->type, ValueType::Hex);
    cmd_Result(0, "KeyWord:\"Count\", ShowResult:0", "n");
    EXPECT_EQ(slot().vars.find("n")->type, ValueType::Decimal);
    EXPECT_EQ(test::var("n"), "42");
}

TEST_F(OutputTest, ResultConversionTypes) {
    command_output({"Capacity : 512 GB", "Mask : 1f", "Id : 0x10", "Text : hello"});
    cmd_Result(0, "KeyWord:\"Capacity\", ShowResult:0, CovertType:\"Integer\"", "a");
    EXPECT_EQ(test::var("a"), "512");
    cmd_Result(0, "KeyWord:\"Capacity\", ShowResult:0", "b");
    EXPECT_EQ(test::var("b"), "512 GB");
    EXPECT_TRUE(slot().vars.find("b")->is_string());
    cmd_Result(0, "KeyWord:\"Mask\", ShowResult:0, CovertType:\"hex\"", "c");
    EXPECT_EQ(test::var("c"), "0x1F");
    cmd_Result(0, "KeyWord:\"Id\", ShowResult:0, CovertType:\"String\"", "d");
    EXPECT_TRUE(slot().vars.find("d")->is_string());
    EXPECT_EQ(test::var("d"), "0x10");
    cmd_Result(0, "KeyWord:\"Text\", ShowResult:1, CovertType:\"Auto\"", "e");
    EXPECT_EQ(test::var("e"), "hello");
}

TEST_F(OutputTest, ResultMissingKeywordFallsBackToDefault) {
    command_output({"Other : 1"});
    cmd_Result(0, "KeyWord:\"Firmware\", ShowResult:1, CovertType:\"AUTO\", Default:\"7\"", "Result");
    std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text, "No KeyWord [Firmware], Return DefaultStr");
    EXPECT_EQ(lines[lines.size() - 2].colour, colour::kRed);
    EXPECT_EQ(test::var("Result"), "7");
    EXPECT_EQ(slot().error_code, 0);  // a notice, not an error
}

TEST_F(OutputTest, ResultAfterTwoCommandsSeesOnlyTheSecond) {
    command_output({"Temperature : 40"});
    command_output({"Power : 3"});
    cmd_Result(0, "KeyWord:\"Temperature\", ShowResult:0, CovertType:\"AUTO\", Default:\"none\"", "Result");
    EXPECT_EQ(test::var("Result"), "none");
    cmd_Result(0, "KeyWord:\"Serial|Power\", ShowResult:1", "Result");
    EXPECT_EQ(test::var("Result"), "3");
    EXPECT_EQ(last().text.substr(0, 6), "Power ");
}

// ---- ResultColumn ------------------------------------------------------------------

TEST_F(OutputTest, ResultColumnSplitsAtBars) {
    command_output({"01 : Critical Warning | 0x00 | 5 "});
    cmd_ResultColumn(0, "KeyWord:\"01\", Colume:2, ShowResult:1, CovertType:\"AUTO\"", "ResultColumn");
    EXPECT_EQ(test::var("ResultColumn"), "5");
    EXPECT_EQ(last().text, "01[2] = 5");
    EXPECT_EQ(last().colour, colour::kGrey);
    cmd_ResultColumn(0, "KeyWord:\"01\", Colume:1, ShowResult:1", "c");
    EXPECT_EQ(test::var("c"), "0x0");
    EXPECT_EQ(last().text, "01[1] = 0x0");
    cmd_ResultColumn(0, "KeyWord:\"01\", Colume:0, ShowResult:0, CovertType:\"String\"", "s");
    EXPECT_EQ(test::var("s"), "Critical Warning");
}

TEST_F(OutputTest, ResultColumnErrors) {
    command_output({"01 : a | b"});
    cmd_ResultColumn(0, "KeyWord:\"02\", Colume:0, ShowResult:1", "ResultColumn");
    EXPECT_EQ(slot().error_code, kErrKeywordNotFound);
    EXPECT_EQ(slot().error_text, "Cannot find KeyWord. 02");
    EXPECT_EQ(test::var("ResultColumn"), "<undefined>");

    command_output({"01 : a | b"});
    cmd_ResultColumn(0, "KeyWord:\"01\", Colume:5, ShowResult:1", "ResultColumn");
    EXPECT_EQ(slot().error_code, kErrColumnNotFound);
    EXPECT_EQ(slot().error_text, "Cannot find ColumeId. ColumeId: 5");
}

// ---- ResultHex ------------------------------------------------------------------

const std::string kEightBytes("\x01\x02\x03\x04\x05\x06\x07\x08", 8);

TEST_F(OutputTest, ResultHexNumericForms) {
    command_output({}, kEightBytes);
    cmd_ResultHex(0, "ByteStart:0, Len:8, HexParse:\"ULONGLONG\", ShowResult:1", "ResultHex");
    EXPECT_EQ(test::var("ResultHex"), "0x807060504030201");  // a hex number, printed without leading zeros
    EXPECT_EQ(last().text, "ResultHex        : 0x0807060504030201");
    EXPECT_EQ(last().colour, colour::kGrey);

    cmd_ResultHex(0, "ByteStart:0, Len:8, HexParse:\"Num\", ShowResult:1", "n");
    EXPECT_EQ(last().text, "n                : 578437695752307201");
    EXPECT_EQ(slot().vars.find("n")->type, ValueType::Decimal);
    EXPECT_EQ(slot().vars.find("n")->num, 578437695752307201LL);

    struct Case {
        const char* args;
        const char* shown;
    } cases[] = {
        {"ByteStart:1, Len:1, HexParse:\"BYTE\", ShowResult:1", "0x02"},
        {"ByteStart:1, Len:4, HexParse:\"word\", ShowResult:1", "0x0302"},
        {"ByteStart:0, Len:4, HexParse:\"DWORD\", ShowResult:1", "0x04030201"},
        {"ByteStart:6, Len:2, HexParse:\"NumX\", ShowResult:1", "0x0807"},
        {"ByteStart:0, Len:2, HexParse:\"Num\", ShowResult:1", "513"},
        {"ByteStart:0, Len:4, ReturnType:\"UNumber\", ShowResult:1", "67305985"},
        {"ByteStart:0, Len:4, ShowResult:1", "67305985"},  // Num by default
    };
    for (const Case& c : cases) {
        cmd_ResultHex(0, c.args, "x");
        EXPECT_EQ(last().text, std::string("x                : ") + c.shown) << c.args;
    }
}

TEST_F(OutputTest, ResultHexTextForms) {
    command_output({}, std::string("AB\0cd\x7F\x1F", 7));
    struct Case {
        const char* parse;
        const char* out;
    } cases[] = {
        {"Hex", "41420063647F1F"},
        {"HexDump", "41 42 00 63 64 7F 1F "},
        {"Str", "AB"},
        {"HexASCII", "AB.cd.."},
    };
    for (const Case& c : cases) {
        cmd_ResultHex(0, "ByteStart:0, Len:7, HexParse:\"" + std::string(c.parse) + "\", ShowResult:0", "t");
        EXPECT_EQ(test::var("t"), c.out) << c.parse;
        EXPECT_TRUE(slot().vars.find("t")->is_string()) << c.parse;
    }
}

TEST_F(OutputTest, ResultHexLengthErrors) {
    command_output({}, kEightBytes);
    cmd_ResultHex(0, "ByteStart:0, Len:3, HexParse:\"NumX\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_code, kErrVariableType);
    EXPECT_EQ(slot().error_text, "Script Variable Type Error. NumX only support Len 1,2,4,8");
    cmd_ResultHex(0, "ByteStart:0, Len:3, HexParse:\"Num\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_text, "Script Variable Type Error. Num only support Len 1,2,4,8");
    cmd_ResultHex(0, "ByteStart:0, Len:4, HexParse:\"Float\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_text, "Script Variable Type Error. ReturnType Error");
    cmd_ResultHex(0, "ByteStart:6, Len:4, HexParse:\"Hex\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_code, kErrFileOpen);
    EXPECT_EQ(test::var("ResultHex"), "<undefined>");
}

TEST_F(OutputTest, ResultHexWithoutDataFileFails) {
    command_output({"no data"});
    cmd_ResultHex(0, "ByteStart:0, Len:4, HexParse:\"Num\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_code, kErrFileOpen);

    command_output({}, " ");
    fs::remove(path_join(folder_, "cmd.Hex"));
    slot().error_code = 0;
    cmd_ResultHex(0, "ByteStart:0, Len:1, HexParse:\"BYTE\", ShowResult:1", "ResultHex");
    EXPECT_EQ(slot().error_code, kErrFileOpen);
}

TEST_F(OutputTest, ResultHexLenIsCappedAt256) {
    command_output({}, std::string(300, '\x11'));
    cmd_ResultHex(0, "ByteStart:0, Len:300, HexParse:\"Hex\", ShowResult:0", "h");
    EXPECT_EQ(test::var("h"), std::string(512, '1'));
}

TEST_F(OutputTest, ResultHexRawBinaryWritesTheBytes) {
    command_output({}, kEightBytes);
    cmd_ResultHex(0, "ByteStart:2, Len:0, HexParse:\"RawBinary\", ShowResult:0", "raw");
    std::string path = test::var("raw");
    EXPECT_EQ(path_extension(path), ".raw");
    EXPECT_EQ(path_folder(path), native_path(folder_));
    EXPECT_EQ(slurp(path), kEightBytes.substr(2));

    std::string named = path_join(folder_, "part.bin");
    cmd_ResultHex(0, "ByteStart:1, Len:3, HexParse:\"RawBinary\", ShowResult:0, SaveFile:\"" + named + "\"", "raw");
    EXPECT_EQ(test::var("raw"), named);
    EXPECT_EQ(slurp(named), kEightBytes.substr(1, 3));
}

// ---- Report_Print, SetStatusText, Cls ---------------------------------------------

TEST_F(OutputTest, ReportPrintAppendsOrReplaces) {
    std::string file = path_join(folder_, "report.csv");
    cmd_Report_Print(0, "File:\"" + file + "\", Output:\"a,b\\n\", Append:1", "Report_Print");
    cmd_Report_Print(0, "File:\"" + file + "\", Output:\"c,\xC3\xA9\\n\", Append:1", "Report_Print");
    EXPECT_EQ(slurp(file), "a,b\nc,\xC3\xA9\n");
    cmd_Report_Print(0, "File:\"" + file + "\", Output:\"new\", Append:0", "Report_Print");
    EXPECT_EQ(slurp(file), "new");
    std::string bare = path_join(folder_, "noext");
    cmd_Report_Print(0, "File:\"" + bare + "\", Output:\"x\"", "Report_Print");
    EXPECT_EQ(slurp(bare + ".csv"), "x");
}

TEST_F(OutputTest, ReportPrintWithoutFileCancelsTheJob) {
    app().run_style = kStyleRemoteConsole;
    cmd_Report_Print(0, "File:\"\", Output:\"x\", Append:1", "Report_Print");
    EXPECT_TRUE(cancel_requested(0));
    EXPECT_EQ(slot().error_code, 0);
}

TEST_F(OutputTest, SetStatusTextLogsAndStoresStatusAndProgress) {
    cmd_SetStatusText(0, "Status:\"Step 1\", Progress:10, 0x50", "SetStatusText");
    EXPECT_EQ(last().text, "Step 1");
    EXPECT_EQ(last().colour, colour::kYellow);
    EXPECT_EQ(status_text(0), "Step 1");
    EXPECT_EQ(progress_stage(0).start, 10);
    EXPECT_EQ(progress_stage(0).end, 0x50);
    cmd_SetStatusText(0, "Status:\"Step 2\"", "SetStatusText");
    EXPECT_EQ(status_text(0), "Step 2");
    EXPECT_EQ(progress_stage(0).start, 10);  // not given: kept
}

TEST_F(OutputTest, ClsEmptiesTheLogAndDeletesHexFiles) {
    write_line(0, "something");
    std::string a = test::write_file(folder_, "R0000000001.Hex", "x");
    std::string b = test::write_file(folder_, "other.hex", "x");
    std::string keep = test::write_file(folder_, "keep.txt", "x");
    cmd_Cls(0, "", "Cls");
    EXPECT_TRUE(job_log_lines(0).empty());
    EXPECT_FALSE(file_exists(a));
    EXPECT_FALSE(file_exists(b));
    EXPECT_TRUE(file_exists(keep));
}

// ---- Folders ------------------------------------------------------------------------

TEST_F(OutputTest, GetLogFolderPrefersTheJobFolder) {
    app().work_folder = "/work/folder";
    cmd_GetLogFolder(0, "JobPath:1, ShowResult:1", "GetLogFolder");
    EXPECT_EQ(test::var("GetLogFolder"), folder_);
    EXPECT_EQ(last().text, folder_);
    EXPECT_EQ(last().colour, colour::kYellow);
    size_t n = line_count();
    cmd_GetLogFolder(0, "JobPath:0, ShowResult:0", "LogFolder");
    EXPECT_EQ(test::var("LogFolder"), "/work/folder");
    EXPECT_EQ(line_count(), n);
    slot().log_folder = path_join(folder_, "gone");
    cmd_GetLogFolder(0, "JobPath:1, ShowResult:0", "LogFolder");
    EXPECT_EQ(test::var("LogFolder"), "/work/folder");
    slot().log_folder = folder_;
}

TEST_F(OutputTest, ScpxFolderIsTheProgramFolderAlwaysShown) {
    app().program_path = "/opt/tamblor/bin/tamblor";
    cmd_ScpxFolder(0, "ShowResult:0", "ScpxFolder");
    EXPECT_EQ(test::var("ScpxFolder"), "/opt/tamblor/bin");
    EXPECT_EQ(last().text, "/opt/tamblor/bin");
    EXPECT_EQ(last().colour, colour::kYellow);
}

TEST_F(OutputTest, SetLogFolderResolvesAndCreatesTheCopyFolder) {
    slot().script_path = path_join(folder_, "scripts/test.scpt");
    cmd_SetLogFolder(0, "Output:\"copies/run1\"", "SetLogFolder");
    std::string expected = path_join(folder_, "scripts/copies/run1");
    EXPECT_EQ(slot().log_copy_folder, expected);
    EXPECT_TRUE(folder_exists(expected));
    EXPECT_EQ(last().text, "SetLogFolder To " + expected);
    EXPECT_EQ(last().colour, colour::kCyan);

    app().program_path = path_join(folder_, "prog/tamblor");
    cmd_SetLogFolder(0, "Output:\".\\logs\"", "SetLogFolder");
    EXPECT_EQ(slot().log_copy_folder, path_join(folder_, "prog/logs"));
    EXPECT_TRUE(folder_exists(path_join(folder_, "prog/logs")));

    std::string absolute = path_join(folder_, "abs\\dir");
    cmd_SetLogFolder(0, "Output:\"" + absolute + "\"", "SetLogFolder");
    EXPECT_EQ(slot().log_copy_folder, path_join(folder_, "abs/dir"));
}

}  // namespace
}  // namespace tb
