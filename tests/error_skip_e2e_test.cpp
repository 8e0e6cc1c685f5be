// End-to-end: with SetErrorSkip, errors of the call finder and of the
// evaluator are counted and the run goes on with the next statement; the
// statement that failed never acts on a value it could not compute.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/e2e_support.h"

namespace {

using ShellResult = tb::test::ProcessResult;

class ErrorSkipEndToEnd : public ::testing::Test {
protected:
    // Runs `body` after SetErrorSkip( 10 ) and before a closing marker line.
    ShellResult run_tolerant(const std::string& body) {
        std::ofstream(tmp_.dir() / "t.scpt", std::ios::binary)
            << "SetErrorSkip( 10 );\r\n" << body << "\r\nPrint(\"MARKER-END\");\r\n";
        return tb::test::run_tamblor(tmp_.dir(), {"SCRIPT:t.scpt"});
    }

    tb::test::TempFolder tmp_{"tamblor-skip"};

    static bool has(const ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    // The error was counted, and the run went on to the end and passed.
    static void expect_went_on(const ShellResult& r, const std::string& description) {
        EXPECT_TRUE(has(r, "[Error Desc]:  " + description)) << r.output;
        EXPECT_TRUE(has(r, "-- Error Count: 1 --")) << r.output;
        EXPECT_TRUE(has(r, "MARKER-END")) << r.output;
        EXPECT_EQ(r.exit_code, 0) << r.output;
    }
};

TEST_F(ErrorSkipEndToEnd, StatementCutInsideQuotesGoesOnAfterMissingParenthesis) {
    // The ';' in the text cuts the call; the first piece lacks its ')'.
    ShellResult r = run_tolerant("Print(\"first;second\");");
    expect_went_on(r, "Lose Block Command End. Print(\"first;");
}

TEST_F(ErrorSkipEndToEnd, UnknownCommandGoesOn) {
    ShellResult r = run_tolerant("NoSuchCommand( 1 );");
    expect_went_on(r, "Undefine Command. NoSuchCommand( 1 );");
}

TEST_F(ErrorSkipEndToEnd, OverlongStatementIsLeftOutAndTheRunGoesOn) {
    std::string text(600, 'x');
    ShellResult r = run_tolerant("Print(\"" + text + "\");");
    expect_went_on(r, "Script Command Too Long > 250. Print(\"xxx");
    EXPECT_FALSE(has(r, text)) << "the overlong statement must not be executed";
}

TEST_F(ErrorSkipEndToEnd, UnknownNameInAConditionDoesNotTakeTheBranch) {
    ShellResult r = run_tolerant("If ( 5 != NoSuchName ) { Print(\"BRANCH-TAKEN\"); }");
    expect_went_on(r, "Script Variable Not Initial. NoSuchName");
    EXPECT_FALSE(has(r, "BRANCH-TAKEN")) << r.output;
}

TEST_F(ErrorSkipEndToEnd, ArgumentOfWrongTypeDoesNotReachTheCommandAsAnOldValue) {
    // The argument of SetErrorSkip (10) was the last one evaluated before.
    ShellResult r = run_tolerant("Print( 1 - \"a\" );");
    expect_went_on(r, "Script Variable Type Error. \"a\"");
    EXPECT_FALSE(has(r, "        10\n")) << r.output;
}

TEST_F(ErrorSkipEndToEnd, ComparisonThatCannotBeMadeIsFalse) {
    ShellResult r = run_tolerant("If ( 1 < \"a\" ) { Print(\"BRANCH-TAKEN\"); }");
    expect_went_on(r, "Script Variable Cannot Compare.  1 < \"a\"");
    EXPECT_FALSE(has(r, "BRANCH-TAKEN")) << r.output;
}

TEST_F(ErrorSkipEndToEnd, MissingFileIsNamedAsTheSystemWritesPaths) {
    // The path as this system spells it: backslashes on Windows.
    const std::string path = (tmp_.dir() / "absent.ini").string();
    ShellResult r = run_tolerant("GetINIData( Item:\"x\", File:\"" + path + "\" );");
    expect_went_on(r, "File Open Fail or File Does Not Exist. " + path);
}

}  // namespace
