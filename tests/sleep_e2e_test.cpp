// End to end: scripts that sleep the simulated machine, run by the real
// binary. The job log (console and TestLog.htm, with the lines' colours) and
// the exit code are checked. The simulated machine's awake waits are sped up
// through TAMBLOR_SIM_TIME_SCALE where the test would otherwise wait.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "tests/e2e_support.h"

namespace {

using tb::test::ProcessResult;

class SleepEndToEnd : public ::testing::Test {
protected:
    SleepEndToEnd() : folder_("tamblor-sleep-e2e") {}

    ProcessResult run(const std::string& script, std::map<std::string, std::string> environment = {}) {
        tb::test::write_crlf(folder_.dir() / "s.scpt", script);
        const auto start = std::chrono::steady_clock::now();
        ProcessResult r = tb::test::run_tamblor(folder_.dir(), {"SCRIPT:s.scpt"}, environment);
        seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string log = tb::test::log_folder_of(r.output);
        html_ = log.empty() ? std::string() : tb::test::read_file(std::filesystem::path(log) / "TestLog.htm");
        return r;
    }

    // The HTML form of a job-log line: its colour ("#RRGGBB") and its text
    // with blanks as &nbsp;.
    bool html_line(const std::string& colour, const std::string& text) const {
        std::string shown;
        for (char c : text) shown += c == ' ' ? std::string("&nbsp;") : std::string(1, c);
        return html_.find("<font color=\"" + colour + "\" style=\"font-size:12px\">" + shown + "</font>") !=
               std::string::npos;
    }
    static size_t position(const std::string& output, const std::string& text) { return output.find(text); }

    tb::test::TempFolder folder_;
    std::string html_;
    double seconds_ = 0;
};

const std::map<std::string, std::string> kFast = {{"TAMBLOR_SIM_TIME_SCALE", "100"}};

TEST_F(SleepEndToEnd, CyclesS3AndS4InTurnUntilTheCycleLimit) {
    ProcessResult r = run(
        "PowerState_S3S4( PowerState:\"S3+S4\", PowerSleepSec:120, PowerIntervalSec:3, DelayRunSec:2, LimitCycle:4 );\n"
        "r = IsS3S4Running();\n"
        "Print( Output:\"RUNNING_AT_START=\" + r );\n"
        "While( r == 1 ){\n"
        "  r = IsS3S4Running();\n"
        "}\n"
        "Print( Output:\"RUNNING_AT_END=\" + r );\n",
        kFast);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const auto values = tb::test::printed_values(r.output);
    EXPECT_EQ(values.at("RUNNING_AT_START"), 1);
    EXPECT_EQ(values.at("RUNNING_AT_END"), 0);
    size_t at = 0;
    for (const char* line : {"[PowerState] Sleep to S3, Cycle:1", "[PowerState] Weakup from S3, Cycle:1, Elapsed Time: 2 min",
                             "[PowerState] Sleep to S4, Cycle:2", "[PowerState] Sleep to S3, Cycle:3",
                             "[PowerState] Sleep to S4, Cycle:4", "[PowerState] Weakup from S4, Cycle:4",
                             "[PowerState] Stop by Cycle Limit"}) {
        const size_t found = r.output.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << r.output;
        at = found;
    }
    EXPECT_EQ(position(r.output, "Cycle:5"), std::string::npos);
    EXPECT_TRUE(html_line("#00FF00", "[PowerState] Sleep to S4, Cycle:2")) << html_;
    // The script's own waits (IsS3S4Running) let the simulated clock run on
    // beside the sleep, by a second or two.
    EXPECT_NE(html_.find("<font color=\"#FFFFFF\" style=\"font-size:12px\">[PowerState]&nbsp;Elapsed&nbsp;Time(sec):&nbsp;12"),
              std::string::npos) << html_;
    EXPECT_TRUE(html_line("#3296FF", "[PowerState] Stop by Cycle Limit")) << html_;
    EXPECT_TRUE(html_line("#969696", "Wait")) << html_;
}

TEST_F(SleepEndToEnd, ARefusedSleepIsReportedInRedAndTheCycleCounts) {
    auto environment = kFast;
    environment["TAMBLOR_SIM_SLEEP_REFUSE"] = "Sleep is blocked by the test";
    ProcessResult r = run(
        "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:20, PowerIntervalSec:0, DelayRunSec:0, LimitCycle:2 );\n"
        "r = 1;\n"
        "While( r == 1 ){\n"
        "  r = IsS3S4Running();\n"
        "}\n",
        environment);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(html_line("#FF0000", "[PowerState] The system refused to sleep to S3: Sleep is blocked by the test"))
        << html_;
    EXPECT_NE(position(r.output, "[PowerState] Weakup from S3, Cycle:2"), std::string::npos) << r.output;
    EXPECT_NE(position(r.output, "[PowerState] Stop by Cycle Limit"), std::string::npos) << r.output;
}

TEST_F(SleepEndToEnd, OneShotSleepsAnHourOfSimulatedTimeAndTheScriptGoesOn) {
    ProcessResult r = run(
        "OneShot_S3S4( PowerState:\"S4\", PowerSleepSec:3600 );\n"
        "Print( Output:\"AFTER_SLEEP=1\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(html_line("#FFFF00", "[PowerState] Sleep to S4")) << html_;
    EXPECT_EQ(tb::test::printed_values(r.output).count("AFTER_SLEEP"), 1u) << r.output;
    EXPECT_LT(seconds_, 60.0);
}

TEST_F(SleepEndToEnd, TheJobsEndStopsTheCyclerOrTheProgramsEndDoes) {
    ProcessResult stopped = run(
        "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:1, PowerIntervalSec:600, DelayRunSec:0, LimitCycle:0, "
        "StopByJobEnd:TRUE );\n"
        "Delay( sec:1 );\n");
    ASSERT_EQ(stopped.exit_code, 0) << stopped.output;
    EXPECT_NE(position(stopped.output, "[PowerState] Sleep to S3, Cycle:1"), std::string::npos) << stopped.output;
    EXPECT_TRUE(html_line("#3296FF", "[PowerState] Stop by Job End")) << html_;
    EXPECT_LT(seconds_, 60.0);

    // Outliving its job, the cycler is stopped by the program's end, which
    // neither waits for its sleep or interval nor crashes.
    ProcessResult outlived = run(
        "PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:600, PowerIntervalSec:600, DelayRunSec:0, LimitCycle:0, "
        "StopByJobEnd:FALSE );\n"
        "Delay( sec:1 );\n");
    ASSERT_EQ(outlived.exit_code, 0) << outlived.output;
    EXPECT_EQ(position(outlived.output, "Stop by Job End"), std::string::npos) << outlived.output;
    EXPECT_LT(seconds_, 60.0);
}

TEST_F(SleepEndToEnd, BadArgumentsEndTheRunWithParamError) {
    for (const char* call : {"PowerState_S3S4( PowerState:\"S5\" );", "OneShot_S3S4( PowerState:\"S3+S4\" );"}) {
        ProcessResult r = run(std::string(call) + "\nPrint( Output:\"NOT_REACHED=1\" );\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << call << "\n" << r.output;
        EXPECT_NE(position(r.output, "(PowerState Error)"), std::string::npos) << r.output;
        EXPECT_EQ(position(r.output, "NOT_REACHED"), std::string::npos);
    }
    ProcessResult wrapped = run("PowerState_S3S4( PowerState:\"S3\", PowerSleepSec:4294967296 );\n");
    EXPECT_EQ(wrapped.exit_code, tb::test::script_exit(-2)) << wrapped.output;
    EXPECT_EQ(position(wrapped.output, "[PowerState] Sleep to"), std::string::npos) << wrapped.output;
}

}  // namespace
