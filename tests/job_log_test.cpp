// The job-log writer: result file bytes and restarts, the HTML log, console
// forms, the pool, the forward log and the keyword lookup.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/test_support.h"
#include "ui/hex_dump.h"
#include "ui/html_log.h"
#include "ui/image_size.h"
#include "ui/job_log.h"
#include "ui/text_file.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes of an ASCII text, built by hand so the test does not lean on the encoder.
std::string ascii16(std::string_view s) {
    std::string out;
    for (char c : s) {
        out += c;
        out += '\0';
    }
    return out;
}

class JobLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        app().run_style = kStyleWindow;  // console cases switch it on themselves
        JobLog* log = job_log_state(0);
        log->forward_log_path.clear();
        log->forward_image_count = 0;
        log->console_pending = false;
    }
    void TearDown() override {
        close_job_logs(0);
        job_log_state(0)->forward_log_path.clear();
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    std::string result_bytes() const { return slurp(path_join(folder_, "_Result.txt")); }
    std::string header_text(int index) const { return job_log_lines(0).at(static_cast<size_t>(index)).text; }

    std::string folder_;
};

// ---- Result file -----------------------------------------------------------

TEST_F(JobLogTest, ResultFileIsUtf16LeWithoutBomAndRestartsAtEveryHeader) {
    int h1 = write_line(0, "First();", LineFormat::CommandHeader);
    write_line(0, "Alpha : 1");
    std::string first = ascii16(header_text(h1) + "\n") + ascii16("Alpha : 1\n");
    EXPECT_EQ(result_bytes(), first);  // flushed after every line, no byte-order mark

    int h2 = write_line(0, "Second();", LineFormat::CommandHeader);
    write_line(0, "Gr\xC3\xB6\xC3\x9F" "e : \xE2\x82\xAC");  // "Größe : €"
    std::string expected = ascii16(header_text(h2) + "\n") + std::string("G\0r\0\xF6\0\xDF\0" "e\0 \0:\0 \0\xAC\x20\n\0", 20);
    EXPECT_EQ(result_bytes(), expected);
}

TEST_F(JobLogTest, CommandEndClosesTheResultFileUntilTheNextHeader) {
    int h = write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "kept");
    write_line(0, "end", LineFormat::CommandEnd);
    write_line(0, "after the end");
    EXPECT_EQ(result_bytes(), ascii16(header_text(h) + "\nkept\n"));
    EXPECT_EQ(job_log_state(0)->result_file, nullptr);
}

TEST_F(JobLogTest, ImageAndDataAttachmentsAreRecordedInTheResultFile) {
    int h = write_line(0, "Shot();", LineFormat::CommandHeader);
    int line = write_line(0, "Screen saved");
    attach_image_line(0, line, "/tmp/shot.png", "/tmp/shot.ini");
    attach_data_file(0, colour::kOlive, "/tmp/data.hex", false);
    EXPECT_EQ(result_bytes(), ascii16(header_text(h) + "\nScreen saved\nFINDIMAGE:/tmp/shot.png\n"
                                                       "FINDHEX:/tmp/shot.ini\nFINDHEX:/tmp/data.hex\n"));
    LogLine img = job_log_lines(0).at(static_cast<size_t>(line));
    EXPECT_EQ(img.kind, LineKind::Image);
    EXPECT_EQ(img.font_size, 150);
    EXPECT_EQ(img.colour, colour::kWhite);
    EXPECT_EQ(img.text, "/tmp/shot.png");
    EXPECT_EQ(img.value, "/tmp/shot.ini");
    EXPECT_EQ(job_log_lines(0).size(), 2u);  // no line for an unshown data file
}

// ---- Lines and the pool ------------------------------------------------------

TEST_F(JobLogTest, HeaderFormCountsEveryWrittenLine) {
    write_line(0, "one");
    write_line(0, "two", LineFormat::LeftAligned);
    int h = write_line(0, "Identify();", LineFormat::CommandHeader);
    EXPECT_EQ(h, 2);
    // "<hh:mm:ss-3> Identify();"
    std::string head = header_text(h);
    ASSERT_EQ(head.size(), 24u) << head;
    EXPECT_EQ(head.substr(0, 1) + head.substr(3, 1) + head.substr(6, 1) + head.substr(9), "<::-3> Identify();");
    for (size_t d : {1, 2, 4, 5, 7, 8}) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(head[d]))) << head;
    std::vector<LogLine> lines = job_log_lines(0);
    EXPECT_FALSE(lines[0].left_aligned);
    EXPECT_TRUE(lines[1].left_aligned);
    EXPECT_TRUE(lines[2].left_aligned);
    EXPECT_EQ(job_log_state(0)->line_counter, 3u);
}

TEST_F(JobLogTest, DroppedLines) {
    EXPECT_EQ(write_line(kNoSlot, "nobody"), -1);
    EXPECT_EQ(write_line(7, "no such slot"), -1);
    EXPECT_EQ(write_line(0, ""), -1);
    EXPECT_TRUE(job_log_lines(0).empty());
    EXPECT_EQ(job_log_state(0)->line_counter, 0u);

    // A hidden command echo is not shown, but the result file still restarts.
    write_line(0, "Old();", LineFormat::CommandHeader);
    write_line(0, "old : 1");
    job_slot(0)->hide_command_echo = true;
    EXPECT_EQ(write_line(0, "Hidden();", LineFormat::CommandHeader), -1);
    write_line(0, "new : 2");
    EXPECT_EQ(result_bytes(), ascii16("new : 2\n"));
    // At a debug level the echo is shown anyway.
    app().debug_level = 1;
    EXPECT_GE(write_line(0, "Shown();", LineFormat::CommandHeader), 0);
    job_slot(0)->hide_command_echo = false;
}

TEST_F(JobLogTest, LongTextsAreCutAt250Utf16Units) {
    write_line(0, std::string(300, 'x'));
    EXPECT_EQ(job_log_lines(0).back().text, std::string(250, 'x'));
    std::string emoji;  // U+1F600 takes two UTF-16 units
    for (int i = 0; i < 130; ++i) emoji += "\xF0\x9F\x98\x80";
    write_line(0, emoji, LineFormat::Normal, 10, colour::kWhite, LineKind::Text, emoji);
    EXPECT_EQ(utf16_length(job_log_lines(0).back().text), 250u);
    EXPECT_EQ(utf16_length(job_log_lines(0).back().value), 250u);
}

TEST_F(JobLogTest, TrailingLineEndIsStrippedFromTheStoredText) {
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "text\r\n");
    EXPECT_EQ(job_log_lines(0).back().text, "text");
}

TEST_F(JobLogTest, FullPoolStartsOver) {
    for (size_t i = 0; i < kLogPoolSize; ++i) write_line(0, "line");
    EXPECT_EQ(job_log_lines(0).size(), kLogPoolSize);
    int h = write_line(0, "Next();", LineFormat::CommandHeader);
    EXPECT_EQ(h, 0);
    std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.front(), '<');
    EXPECT_EQ(job_log_state(0)->line_counter, kLogPoolSize + 1);
}

TEST_F(JobLogTest, RewriteReplacesTextAndIgnoresUnknownIndex) {
    int i = write_line(0, "Delay remain 3 sec...", LineFormat::LeftAligned);
    rewrite_line(0, i, "Delay remain 2 sec...");
    rewrite_line(0, 99, "ignored");
    std::vector<LogLine> lines = job_log_lines(0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "Delay remain 2 sec...");
    EXPECT_FALSE(lines[0].left_aligned);
}

TEST_F(JobLogTest, ConcurrentWritersLoseNoLine) {
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([] {
            for (int n = 0; n < 500; ++n) write_line(0, "worker");
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(job_log_lines(0).size(), 2000u);
    EXPECT_EQ(job_log_state(0)->line_counter, 2000u);
}

// ---- Console forms -----------------------------------------------------------

TEST_F(JobLogTest, ConsoleFormsByLineFormat) {
    app().run_style = kStyleConsole;
    write_line(0, "normal");
    write_line(0, "left", LineFormat::LeftAligned);
    int h = write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "  padded  ");
    write_line(0, "done", LineFormat::CommandEnd);
    EXPECT_EQ(test::console_output(), "        normal\nleft\n" + header_text(h) + "\n        padded\n        done\n");
    EXPECT_EQ(job_log_lines(0)[3].text, "padded");  // console runs keep the trimmed text
}

TEST_F(JobLogTest, ConsoleShowsOnlyEchoedKindsOutsideUiModeZero) {
    app().run_style = kStyleRemoteConsole;
    app().ui_mode = 1;
    write_line(0, "quiet");
    write_line(0, "loud", LineFormat::Normal, 10, colour::kWhite, LineKind::ConsoleText);
    write_line(0, "screen only", LineFormat::Normal, 10, colour::kWhite, LineKind::ScreenOnly);
    EXPECT_EQ(test::console_output(), "        loud\n");
}

TEST_F(JobLogTest, ConsoleRewriteOverwritesTheLineAndEndsItBeforeTheNext) {
    app().run_style = kStyleConsole;
    int i = write_line(0, "Delay remain 2 sec...");
    rewrite_line(0, i, "Delay remain 1 sec...");
    rewrite_line(0, i, "Delay 2 sec   ");
    write_line(0, "next");
    std::string pad = " " + std::string(30, ' ');
    EXPECT_EQ(test::console_output(), "        Delay remain 2 sec...\n"
                                      "\r        Delay remain 1 sec..." + pad +
                                          "\r        Delay 2 sec   " + pad + "\n        next\n");
}

TEST_F(JobLogTest, ConsoleDumpsTheStartOfAShownDataFile) {
    app().run_style = kStyleConsole;
    std::string data;
    for (int b = 0; b < 80; ++b) data += static_cast<char>(b + 0x30);
    data[1] = '\x01';
    std::string path = test::write_file(folder_, "cmd.Hex", data);
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    std::string before = test::console_output();
    attach_data_file(0, colour::kOlive, path, true);
    std::string out = test::console_output().substr(before.size());
    EXPECT_EQ(out, "        00000000h: 30 01 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0.23456789:;<=>?\n"
                   "        00000010h: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO\n"
                   "        00000020h: 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F PQRSTUVWXYZ[\\]^_\n"
                   "        00000030h: 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F `abcdefghijklmno\n"
                   "        Hex File : " + path + "\n");
    LogLine hex = job_log_lines(0).back();
    EXPECT_EQ(hex.kind, LineKind::HexFile);
    EXPECT_EQ(hex.font_size, 150);
    EXPECT_EQ(hex.colour, colour::kOlive);
    EXPECT_EQ(hex.value, path);
}

TEST(JobLogHexDump, ShortRowPadsMissingBytes) {
    EXPECT_EQ(hex_dump_row(std::string("\x41\x00\xFF", 3), 0),
              "00000000h: 41 00 FF " + std::string(13 * 3, ' ') + "A.\xC3\xBF");
    EXPECT_EQ(hex_dump_rows(std::string(40, 'a'), 64).size(), 3u);
    EXPECT_EQ(hex_dump_row(std::string(40, 'a'), 32).substr(0, 11), "00000020h: ");
}

TEST_F(JobLogTest, DebugLevelTwoSendsLinesToTheDebugger) {
    app().debug_level = 2;
    ::testing::internal::CaptureStderr();
    write_line(0, "traced");
    write_line(0, "left", LineFormat::LeftAligned);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "        traced\nleft\n");
}

// ---- HTML log ------------------------------------------------------------------

TEST_F(JobLogTest, HtmlLogHeaderAndLineForms) {
    open_job_logs(0);
    write_line(0, "a <b> c");
    write_line(0, "Cmd();", LineFormat::CommandHeader, 10, colour::kGreen);
    write_line(0, "big", LineFormat::LeftAligned, 25, 0x123456);
    write_line(0, "more", LineFormat::Normal, 10, colour::kRed, LineKind::Text, "/x/y/data.bin");
    write_line(0, "/x/pic.png", LineFormat::Normal, 120, colour::kBlue, LineKind::Image);
    write_line(0, "/x/pic.png", LineFormat::Normal, 120, colour::kBlue, LineKind::Image, "/x/info.ini");
    write_line(0, "/x/d.hex", LineFormat::Normal, 150, colour::kOlive, LineKind::HexFile);
    write_line(0, "/x/d.hex", LineFormat::Normal, 150, colour::kOlive, LineKind::HexFile, "/x/d.hex");
    write_line(0, "not in html", LineFormat::Normal, 10, colour::kWhite, LineKind::ScreenOnly);
    write_line(0, "echo", LineFormat::Normal, 10, colour::kYellow, LineKind::ConsoleText);

    const std::string ind = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
    std::string header = job_log_lines(0)[1].text;
    std::string html_header = html_escape(header);
    std::string expected =
        "<html><head><meta http-equiv='Content-Type' content='text/html; charset=utf-8'><title>Tamblor</title>"
        "<style type=\"text/css\">\r\nbody{\r\nbackground-color:#000000;\r\nfont-family:\"Courier New\";\r\n"
        "}</style></head><body>\r\n" +
        ind + "<font color=\"#FFFFFF\" style=\"font-size:12px\">a&nbsp;&lt;b&gt;&nbsp;c</font><br>\r\n" +
        "<font color=\"#00FF00\" style=\"font-size:12px\">" + html_header + "</font><br>\r\n" +
        "<font color=\"#563412\" style=\"font-size:30px\">big</font><br>\r\n" + ind +
        "<font color=\"#FF0000\" style=\"font-size:12px\"><a href=\"data.bin\">more</a></font><br>\r\n" + ind +
        "<img border=0 src=\"pic.png\"><br>\r\n" + ind +
        "<a href=\"info.ini\"><img border=0 src=\"pic.png\"></a><br>\r\n" + ind +
        "<font color=\"#FFFFFF\" style=\"font-size:12px\">/x/d.hex</font><br>\r\n" + ind +
        "<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"d.hex\">/x/d.hex</a></font><br>\r\n" + ind +
        "<font color=\"#FFFF00\" style=\"font-size:12px\">echo</font><br>\r\n";
    EXPECT_EQ(slurp(path_join(folder_, "TestLog.htm")), expected);
    EXPECT_NE(html_header.find("&lt;"), std::string::npos);
}

TEST_F(JobLogTest, HtmlLinksNameFilesGivenWithBackslashes) {
    LogLine l;
    l.text = "shot";
    l.value = "C:\\logs\\R0000000001.Hex";
    l.left_aligned = true;
    EXPECT_EQ(html_line(l),
              "<font color=\"#FFFFFF\" style=\"font-size:12px\"><a href=\"R0000000001.Hex\">shot</a></font><br>\r\n");
}

TEST_F(JobLogTest, HtmlLogIsReopenedWhenItsHandleWasClosed) {
    open_job_logs(0);
    write_line(0, "before");
    std::fclose(job_log_state(0)->html);
    job_log_state(0)->html = nullptr;
    write_line(0, "after");
    std::string html = slurp(path_join(folder_, "TestLog.htm"));
    EXPECT_NE(html.find(">before<"), std::string::npos);
    EXPECT_NE(html.find(">after<"), std::string::npos);
}

TEST_F(JobLogTest, UnopenableHtmlLogSwitchesHtmlOff) {
    job_slot(0)->log_folder = path_join(folder_, "missing/deeper");
    open_job_logs(0);
    EXPECT_FALSE(job_log_state(0)->html_enabled);
    EXPECT_GE(write_line(0, "still logged"), 0);
    job_slot(0)->log_folder = folder_;
}

// ---- Forward log -----------------------------------------------------------------

TEST_F(JobLogTest, ForwardLogOfAFunctionScriptChild) {
    std::string base = path_join(folder_, "child");
    job_log_state(0)->forward_log_path = base;
    std::string png = test::write_file(folder_, "pic.png", "PNGDATA");
    write_line(0, "##### SCRIPT START x", LineFormat::LeftAligned);
    write_line(0, "pre ##### SCRIPT END", LineFormat::LeftAligned);
    int h = write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "plain");
    write_line(0, png, LineFormat::Normal, 100, colour::kBlue, LineKind::Image, "/x/link.ini");
    std::string copy = base + "_1.PNG";
    EXPECT_EQ(slurp(base + ".TXT"), "##### SCRIPT START x\r\n##### SCRIPT END\r\n" + header_text(h) +
                                        "\r\n      plain\r\n      [PNG]" + copy + ",/x/link.ini\r\n");
    EXPECT_EQ(slurp(copy), "PNGDATA");
}

// ---- Keyword lookup ----------------------------------------------------------------

TEST_F(JobLogTest, KeywordMatchesTheKeyAndTheKeyBeforeItsParenthesis) {
    write_line(0, "Identify();", LineFormat::CommandHeader);
    write_line(0, "Model Number (MN) : ABC ");
    write_line(0, "SN : 123");
    std::string v, matched;
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "Model Number", v, &matched));
    EXPECT_EQ(v, "ABC");
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "model number (mn)", v, &matched));
    EXPECT_EQ(v, "ABC");
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "Serial|SN", v, &matched));
    EXPECT_EQ(v, "123");
    EXPECT_EQ(matched, "SN");
    EXPECT_FALSE(keyword_lookup(0, "_Result.txt", "Model", v));
    EXPECT_FALSE(keyword_lookup(0, "_Result.txt", "(MN)", v));
}

TEST_F(JobLogTest, KeywordSeesOnlyTheNewestCommand) {
    write_line(0, "First();", LineFormat::CommandHeader);
    write_line(0, "Value : 1");
    write_line(0, "Only First : yes");
    write_line(0, "Second();", LineFormat::CommandHeader);
    write_line(0, "Value : 2");
    std::string v;
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "Value", v));
    EXPECT_EQ(v, "2");
    EXPECT_FALSE(keyword_lookup(0, "_Result.txt", "Only First", v));
}

TEST_F(JobLogTest, KeywordNewestLineWinsInTheLog) {
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "Temp : 30");
    write_line(0, "Temp : 31");
    std::string v;
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "Temp", v));
    EXPECT_EQ(v, "31");
}

TEST_F(JobLogTest, KeywordTakesAtMostTenAlternatives) {
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "k10 : ten");
    write_line(0, "k9 : nine");
    std::string v;
    EXPECT_FALSE(keyword_lookup(0, "_Result.txt", "a|b|c|d|e|f|g|h|i|j|k10", v));
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "a|b|c|d|e|f|g|h|i|k9", v));
    EXPECT_EQ(v, "nine");
}

TEST_F(JobLogTest, KeywordFallsBackToTheFileAndClosesItFirst) {
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "Serial Number : S1234\xC3\xA9");
    write_line(0, "Long : " + std::string(1200, 'z'));
    clear_job_log(0);  // the log no longer has the lines; the file still does
    EXPECT_NE(job_log_state(0)->result_file, nullptr);
    std::string v;
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "serial number", v));
    EXPECT_EQ(v, "S1234\xC3\xA9");
    EXPECT_EQ(job_log_state(0)->result_file, nullptr);
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "Long", v));
    EXPECT_EQ(v, std::string(250 - 7, 'z'));  // the stored line was cut at 250
}

TEST_F(JobLogTest, KeywordFileLinesAreCutAt1000) {
    std::string text = "Big : " + std::string(1500, 'q') + "\r\nNext : 1\r\n";
    test::write_file(folder_, "_InitParam.txt", utf16le_bytes(text));
    std::string v;
    ASSERT_TRUE(keyword_lookup(0, "_InitParam.txt", "Big", v));
    EXPECT_EQ(v, std::string(1000 - 6, 'q'));
    ASSERT_TRUE(keyword_lookup(0, "_InitParam.txt", "Next", v));
    EXPECT_EQ(v, "1");
}

TEST_F(JobLogTest, KeywordOfAnotherFileDoesNotSearchTheLog) {
    write_line(0, "Cmd();", LineFormat::CommandHeader);
    write_line(0, "Param : from log");
    std::string v;
    EXPECT_FALSE(keyword_lookup(0, "_InitParam.txt", "Param", v));
}

TEST_F(JobLogTest, FindImageReturnsTheNewestImageLine) {
    write_line(0, "Shot();", LineFormat::CommandHeader);
    write_line(0, "/x/a.png", LineFormat::Normal, 100, colour::kBlue, LineKind::Image);
    write_line(0, "/x/b.png", LineFormat::Normal, 100, colour::kBlue, LineKind::Image);
    std::string v;
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "FINDIMAGE", v));
    EXPECT_EQ(v, "/x/b.png");
    ASSERT_TRUE(keyword_lookup(0, "_Result.txt", "FINDIMAGE", v));  // still there after the file closed
}

// ---- Helpers -------------------------------------------------------------------

TEST(JobLogTextFile, DecodesUtf16AndUtf8) {
    EXPECT_EQ(decode_text_bytes(std::string("a\0b\0", 4)), "ab");
    EXPECT_EQ(decode_text_bytes(std::string("\xFF\xFE" "a\0", 4)), "a");
    EXPECT_EQ(decode_text_bytes("\xEF\xBB\xBFh\xC3\xA9"), "h\xC3\xA9");
    EXPECT_EQ(split_text_lines("x\r\ny\n\nz", 10), (std::vector<std::string>{"x", "y", "", "z"}));
}

TEST(JobLogImageSize, HeightsFromHeaders) {
    std::string png("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x01\0\0\0\x01\x2C", 24);
    EXPECT_EQ(image_height_of(png), 300);
    std::string bmp(26, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[14] = 40;
    bmp[22] = static_cast<char>(0xF6);  // -10: a top-down bitmap
    bmp[23] = bmp[24] = bmp[25] = static_cast<char>(0xFF);
    EXPECT_EQ(image_height_of(bmp), 10);
    std::string jpg("\xFF\xD8\xFF\xE0\0\x04\0\0\xFF\xC0\0\x11\x08\x01\xE0\x02\x80", 17);
    EXPECT_EQ(image_height_of(jpg), 480);
    EXPECT_EQ(image_height_of(std::string("GIF89a\x10\0\x20\0", 10)), 32);
    EXPECT_EQ(image_height_of("not an image"), -1);
    EXPECT_EQ(image_height_of(std::string("\xFF\xD8\xFF\xD9", 4)), -1);
}

TEST_F(JobLogTest, OutputStemUsesTheLineCounter) {
    write_line(0, "a");
    write_line(0, "b");
    EXPECT_EQ(output_stem(0), path_join(folder_, "R0000000002"));
    job_slot(0)->sub_base = "/x";
    EXPECT_EQ(output_stem(0), path_join(folder_, "S0000000002"));
    job_slot(0)->sub_base.clear();
}

}  // namespace
}  // namespace tb
