// Whole scripts through the job runner: statement cutting, comments, blocks,
// loops, Break, the braceless If, calls and the error policy.
#include <gtest/gtest.h>

#include "common/text.h"
#include "script/app_context.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "script/run_job.h"
#include <chrono>
#include "script/script_text.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

using namespace tb;
using tb::test::run;
using tb::test::run_script_text;
using tb::test::var;

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override { folder = test::fresh_slot(); }
    std::string folder;
    std::string out() const { return test::console_output(); }
    std::string log_text_all() const {
        std::string s;
        for (const auto& l : job_log_lines(0)) s += l.text + "\n";
        return s;
    }
};

TEST(ScriptText, StatementEndsAtFirstTerminatorEvenInsideQuotes) {
    std::string script = "Print(Output:\"a;b\");x=1;";
    std::string raw;
    size_t n = cut_statement(script, 0, raw);
    EXPECT_EQ(raw, "Print(Output:\"a;");
    cut_statement(script, n, raw);
    EXPECT_EQ(raw, "b\");");
}

TEST(ScriptText, CommentsEndOnlyAtCrLf) {
    EXPECT_EQ(clean_statement("x = 1 // note\r\n + 2;"), "x = 1           + 2;");
    // A lone LF does not end the comment: the rest of the statement is blanked.
    EXPECT_EQ(clean_statement("x = 1 // note\n + 2;"), "x = 1");
    EXPECT_EQ(clean_statement("a\r\nb\tc"), "a  b\tc");
}

TEST(ScriptText, CollapseKeepsQuotedBlanks) {
    EXPECT_EQ(collapse_blanks("  Print( Output:\"a   b\" ,\t x )  "), "Print( Output:\"a   b\" , x )");
}

TEST(ScriptText, ElseLookAhead) {
    EXPECT_TRUE(next_statement_is_else("}\r\n\r\n  else {", 0));
    EXPECT_TRUE(next_statement_is_else("} ELSE if (a) {", 0));
    EXPECT_FALSE(next_statement_is_else("}\r\n// c\r\nelse {", 0));
    EXPECT_FALSE(next_statement_is_else("} elsewhere = 1;", 0));
    EXPECT_FALSE(next_statement_is_else("no terminator", 0));
}

TEST(ScriptText, EncodedScriptsAreRestored) {
    std::string plain = "x = 1; // every byte value: \x01\x7F\xFE";
    std::string enc = plain;
    encode_script_buffer(enc);
    EXPECT_NE(enc, plain);
    decode_script_buffer(enc);
    EXPECT_EQ(enc, plain);
    // The table is a permutation.
    std::array<int, 256> seen{};
    for (uint8_t b : script_decode_table()) seen[b]++;
    for (int n : seen) EXPECT_EQ(n, 1);
}

TEST_F(Interpreter, LoadUsesScptAsIsAndDecodesOtherExtensions) {
    std::string text = "x = 5;";
    std::string enc = text;
    encode_script_buffer(enc);
    EXPECT_EQ(load_script(test::write_file(folder, "a.scpt", text)), text);
    EXPECT_EQ(load_script(test::write_file(folder, "a.scpx", enc)), text);
    EXPECT_EQ(load_script(test::write_file(folder, "b.SCPT", enc)), text);  // the comparison is case-sensitive
}

TEST_F(Interpreter, SemicolonInsideQuotesSplitsTheCall) {
    EXPECT_EQ(run_script_text("Print(Output:\"a;b\");"), -17);
    EXPECT_NE(out().find("[Error Code]:  0xFFFFFFEF"), std::string::npos);  // -17: no closing parenthesis
}

TEST_F(Interpreter, CommentWithSemicolonRunsItsTail) {
    // The tail of the comment after its semicolon is executed as code.
    int code = run_script_text("x = 1; // set; y = 2\r\n;");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(var("y"), "2");
}

TEST_F(Interpreter, IfElseIfElseTakesOneBranch) {
    run_script_text(
        "a = 2;\r\n"
        "If (a == 1) { r = \"one\"; }\r\n"
        "else if (a == 2) { r = \"two\"; }\r\n"
        "else { r = \"other\"; }\r\n"
        "done = 1;");
    EXPECT_EQ(var("r"), "two");
    EXPECT_EQ(var("done"), "1");
}

TEST_F(Interpreter, ElseIfIsNotEvaluatedAfterATakenBranch) {
    run_script_text(
        "a = 1; n = 0;\r\n"
        "If (a == 1) { r = 1; }\r\n"
        "else if (nosuch == 2) { r = 2; }\r\n"
        "else { r = 3; }");
    EXPECT_EQ(var("r"), "1");
    EXPECT_EQ(var("_ErrorCount"), "0");  // nosuch was never read
}

TEST_F(Interpreter, CommentBetweenBraceAndElseClosesTheChain) {
    int code = run_script_text(
        "If (0) { r = 1; }\r\n"
        "// comment\r\n"
        "else { r = 2; }");
    EXPECT_EQ(code, -15);  // the else had no open If chain: its '}' is surplus
    EXPECT_EQ(var("r"), "<undefined>");
}

TEST_F(Interpreter, NestedWhileWithBreakInsideIf) {
    run_script_text(
        "i = 0; total = 0;\r\n"
        "While (i < 3) {\r\n"
        "  i++; j = 0;\r\n"
        "  While (1) {\r\n"
        "    j++;\r\n"
        "    If (j == 2) { Break(); }\r\n"
        "    else { total += 100; }\r\n"
        "    total++;\r\n"
        "  }\r\n"
        "}\r\n"
        "after = 1;");
    EXPECT_EQ(var("i"), "3");
    // Each outer round: j=1 adds 100 and 1; j=2 breaks before total++.
    EXPECT_EQ(var("total"), "303");
    EXPECT_EQ(var("after"), "1");
}

TEST_F(Interpreter, FalseWhileSkipsItsBodyUnevaluated) {
    run_script_text("While (0) { x = nosuch; }\r\ny = 1;");
    EXPECT_EQ(var("x"), "<undefined>");
    EXPECT_EQ(var("y"), "1");
    EXPECT_EQ(var("_ErrorCount"), "0");
}

TEST_F(Interpreter, WhileAfterACommentLineLoopsCorrectly) {
    run_script_text("i = 0;\r\n// a while comment\r\nWhile (i < 4) { i++; }\r\n");
    EXPECT_EQ(var("i"), "4");
}

TEST_F(Interpreter, BracelessIf) {
    run_script_text("a = 1;\r\nIf (a == 1) x = 5;\r\nIf (a == 2) y = 5;");
    EXPECT_EQ(var("x"), "5");
    EXPECT_EQ(var("y"), "<undefined>");
}

TEST_F(Interpreter, NestedCallsAndGroups) {
    run_script_text("x = ((1 + 2) * (2 + 2));\r\ns = StrLen(String:\"abcd\") + 1;");
    EXPECT_EQ(var("x"), "12");
    EXPECT_EQ(var("s"), "5");
}

TEST_F(Interpreter, TwoCallsOfOneCommandKeepBothResults) {
    run_script_text("x = StrLen(String:\"ab\") * 10 + StrLen(String:\"abcde\");");
    EXPECT_EQ(var("x"), "25");
}

TEST_F(Interpreter, PositionalNestedCallIsMadeFirst) {
    run_script_text("x = StrLen(StrSub(\"abcdef\", 1, 4));");
    EXPECT_EQ(var("x"), "3");
}

TEST_F(Interpreter, KeyedParenthesisedExpressionsKeepTheirOwnValues) {
    run_script_text("x = StrSub(String:\"abcdef\", StartId:(0 + 1), EndId:(2 + 2));");
    EXPECT_EQ(var("x"), "bcd");
}

TEST_F(Interpreter, UndefinedCommand) {
    int code = run_script_text("NoSuchCommand(a:1);");
    EXPECT_EQ(code, -16);
    EXPECT_NE(out().find("[Error Code]:  0xFFFFFFF0"), std::string::npos);
    EXPECT_NE(out().find("[Error Desc]:  Undefine Command. NoSuchCommand(a:1);"), std::string::npos);
}

TEST_F(Interpreter, DeviceCommandOfAnotherProtocolIsUndefined) {
    // No disk: access protocol 0 accepts only rows of mask 255.
    EXPECT_EQ(run_script_text("Identify();"), -16);
}

TEST_F(Interpreter, UnimplementedRowRaisesNotSupported) {
    EXPECT_EQ(run_script_text("GetConfigType();"), -79);
    EXPECT_NE(out().find("Function Not Support. GetConfigType"), std::string::npos);
}

TEST_F(Interpreter, MissingClosingParenthesis) {
    EXPECT_EQ(run_script_text("x = StrLen(String:\"a\";"), -17);
    EXPECT_NE(out().find("Lose Block Command End. x = StrLen(String:\"a\";"), std::string::npos);
}

TEST_F(Interpreter, UnclosedBlockAtEndRaisesLoseBlockEnd) {
    EXPECT_EQ(run_script_text("If (1) {\r\n x = 1;\r\n"), -18);
    EXPECT_NE(out().find("[Error Desc]:  Lose Block End."), std::string::npos);
}

TEST_F(Interpreter, ExitInsideAnOpenBlockIsNoLoseBlockEnd) {
    EXPECT_EQ(run_script_text("If (1) {\r\n Exit(ErrCode:3, ErrDesc:\"bye\");\r\n"), 3);
    EXPECT_EQ(out().find("Lose Block End"), std::string::npos);
}

TEST_F(Interpreter, SurplusBraceStopsTheRunQuietly) {
    // No message, but the run fails with the code the next statement would raise.
    EXPECT_EQ(run_script_text("x = 1;\r\n}\r\ny = 2;"), -15);
    EXPECT_EQ(var("y"), "<undefined>");
}

TEST_F(Interpreter, ErrorSkipCountsThenStops) {
    int code = run_script_text(
        "SetErrorSkip(2);\r\n"
        "a = nosuch1;\r\n"
        "b = nosuch2;\r\n"
        "reached = 1;\r\n"
        "c = nosuch3;\r\n"
        "never = 1;");
    EXPECT_EQ(code, -25);
    EXPECT_NE(out().find("-- Error Count: 1 --"), std::string::npos);
    EXPECT_NE(out().find("-- Error Count: 2 --"), std::string::npos);
    EXPECT_EQ(var("reached"), "1");
    EXPECT_EQ(var("never"), "<undefined>");
}

TEST_F(Interpreter, ErrorDescReplacesTheStoppingText) {
    run_script_text("SetErrorDesc(\"Custom failure\");\r\nx = 1 / 0;");
    EXPECT_EQ(job_slot(0)->error_text, "Custom failure");
    EXPECT_NE(out().find("Custom failure"), std::string::npos);
}

TEST_F(Interpreter, ExitCodesAndTheLimit) {
    EXPECT_EQ(run_script_text("Exit(ErrCode:3, ErrDesc:\"\");\r\nx = 1;"), 3);
    EXPECT_EQ(var("x"), "<undefined>");
    test::fresh_slot();
    // Without its description Exit still ends the run with its code.
    EXPECT_EQ(run_script_text("Exit( ErrCode:7 );\r\nx = 1;"), 7);
    EXPECT_EQ(var("x"), "<undefined>");
    test::fresh_slot();
    EXPECT_EQ(run_script_text("Exit(ErrCode:0x10000, ErrDesc:\"\");"), -2);
    EXPECT_NE(out().find("ExitCode must < 0xFFFF"), std::string::npos);
    test::fresh_slot();
    // Skipped, the refused Exit lets the script go on.
    EXPECT_EQ(run_script_text("SetErrorSkip(5);\r\nExit(ErrCode:0x10000, ErrDesc:\"\");\r\ny = 1;"), 0);
    EXPECT_EQ(var("y"), "1");
}

TEST_F(Interpreter, ErrorCodeLineIsUnsigned32Bit) {
    run_script_text("x = nosuch;");
    EXPECT_NE(out().find("[Error Code]:  0xFFFFFFE7"), std::string::npos);
}

TEST_F(Interpreter, GetErrorCountReturnsTheCount) {
    run_script_text("SetErrorSkip(3);\r\nx = a1;\r\ny = a2;\r\nn = GetErrorCount(TRUE);");
    EXPECT_EQ(var("n"), "2");
    EXPECT_NE(out().find("ErrorCount: 2"), std::string::npos);
}

TEST_F(Interpreter, ArgumentNormalisationAndUndefinedArgument) {
    // An undefined argument raises -25 while normalising; the call is still made.
    int code = run_script_text("SetErrorSkip(1);\r\nDelay(sec:abc);\r\ndone = 1;");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(var("done"), "1");
    EXPECT_NE(out().find("Script Variable Not Initial. abc"), std::string::npos);
}

TEST_F(Interpreter, LongStatementIsRefused) {
    std::string s = "x = \"" + std::string(600, 'a') + "\";";
    EXPECT_EQ(run_script_text(s), -12);
}

TEST_F(Interpreter, EmptyScriptEndsAtOnceAndMissingScriptFails) {
    EXPECT_EQ(run_script_text(""), 0);
    job_slot(0)->script_path = folder + "/missing.scpt";
    EXPECT_EQ(run_job(0), -11);
}

TEST_F(Interpreter, DelayUnderTwoSecondsHasNoCountdown) {
    auto t0 = std::chrono::steady_clock::now();
    run_script_text("Delay(ms:300);");
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 300);
    EXPECT_EQ(out().find("remain"), std::string::npos);
}

TEST_F(Interpreter, InitParametersAreWrittenAndReadBack) {
    app().sub_params = "LOOP=5$--fast$plain$SCRIPT:x.scpt$";
    run_script_text(
        "n = InitParam_Data(KeyWord:\"LOOP\", ShowResult:FALSE);\r\n"
        "p = InitParam_Data(KeyWord:\"Init_Param0\", ShowResult:FALSE, CovertType:\"String\");\r\n"
        "c = InitParam_Data(KeyWord:\"Init_Command\", ShowResult:FALSE);\r\n"
        "m = InitParam_Data(\"Missing\", FALSE, \"Auto\", \"dflt\");\r\n"
        "l[] = InitParam_List(FALSE);\r\n"
        "len = ArrayLen(l[]);");
    EXPECT_EQ(var("n"), "5");
    EXPECT_EQ(var("p"), "plain");
    EXPECT_EQ(var("c"), "--fast");
    EXPECT_EQ(var("m"), "dflt");
    EXPECT_EQ(var("len"), "4");
    EXPECT_EQ(var("l[0]"), "LOOP:5");
}

TEST_F(Interpreter, AStopAskedRightAfterTheJobThreadStartsIsKept) {
    // The window's Stop may come before the job thread has run a single
    // statement; the thread must not clear it when it begins.
    JobSlot* js = job_slot(0);
    js->script_path = test::write_file(js->log_folder, "long.scpt", "Delay(sec:30);\r\nafter = 1;");
    const auto t0 = std::chrono::steady_clock::now();
    JobThread job;
    ASSERT_TRUE(job.start(0));
    set_cancel(0);
    job.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(var("after"), "<undefined>");
}
