// End-to-end: several instances of the real binary coordinate through the
// machine-wide objects (barrier, GlobalMutex, stop broadcast), and a job
// starts a function script in a child instance. The instances are child
// processes on every system (tests/instance_run.h).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/temp_folder.h"
#include "platform/process_identity.h"
#include "tests/instance_run.h"

namespace {

namespace fs = std::filesystem;
using tb::test::Clock;
using tb::test::eventually;
using tb::test::InstanceRun;
using tb::test::write_script;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double seconds_between(Clock::time_point a, Clock::time_point b) {
    return std::abs(std::chrono::duration<double>(a - b).count());
}

class Instances : public ::testing::Test {
protected:
    void SetUp() override {
        ipc_ = "e2e" + std::to_string(tb::current_process_id()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
        dir_ = tb::host::temp_folder() / ("tamblor-inst-" + ipc_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::vector<std::string> script_args(const std::string& path, std::vector<std::string> extra = {}) {
        std::vector<std::string> a{"--sim", "SCRIPT:" + path};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::unique_ptr<InstanceRun> run(const std::string& script, std::vector<std::string> extra = {}) {
        return std::make_unique<InstanceRun>(script_args(script, extra), dir_, ipc_);
    }
    fs::path dir_;
    std::string ipc_;
};

TEST_F(Instances, ThreeInstancesPassEachBarrierTogether) {
    std::string script = write_script(dir_, "sync.scpt",
                                      "SyncInit( DelaySec:4 );\n"
                                      "SyncWait( TimeoutSec:60 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"ROUND-ONE\" );\n"
                                      "Delay( sec:1 );\n"
                                      "SyncWait( TimeoutSec:60 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"ROUND-TWO\" );\n");
    std::vector<std::unique_ptr<InstanceRun>> runs;
    // The instances start 1.2 s apart; SyncInit's delay lets every one join
    // before the first waits.
    Clock::time_point last_start;
    for (int i = 0; i < 3; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        last_start = Clock::now();
        runs.push_back(run(script));
        ASSERT_TRUE(runs.back()->started());
    }
    for (auto& r : runs) ASSERT_EQ(r->wait(60), 0) << r->output();
    for (const char* round : {"ROUND-ONE", "ROUND-TWO"}) {
        std::vector<Clock::time_point> t;
        for (auto& r : runs) {
            auto s = r->seen(round);
            ASSERT_TRUE(s) << round << "\n" << r->output();
            t.push_back(*s);
        }
        for (auto& x : t) {
            // Nobody passes before the last instance has joined and waited ...
            EXPECT_GE(std::chrono::duration<double>(x - last_start).count(), 3.0) << round;
            // ... and all pass within about a second of each other.
            for (auto& y : t) EXPECT_LT(seconds_between(x, y), 1.0) << round;
        }
    }
}

TEST_F(Instances, InstanceEndingEarlyReleasesTheOthers) {
    std::string waiter = write_script(dir_, "waiter.scpt",
                                      "SyncInit( DelaySec:0 );\n"
                                      "SyncWait( TimeoutSec:60 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"RELEASED\" );\n");
    std::string leaver = write_script(dir_, "leaver.scpt",
                                      "SyncInit( DelaySec:0 );\n"
                                      "Delay( sec:3 );\n");
    auto early = run(leaver);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto a = run(waiter);
    auto b = run(waiter);
    ASSERT_EQ(early->wait(30), 0) << early->output();
    EXPECT_EQ(a->wait(20), 0) << a->output();
    EXPECT_EQ(b->wait(20), 0) << b->output();
    EXPECT_TRUE(a->seen("RELEASED")) << a->output();
    EXPECT_TRUE(b->seen("RELEASED")) << b->output();
}

TEST_F(Instances, MemberKilledBeforeSyncWaitLeavesTheGroup) {
    // SyncInit's delay lets all three join before the first waits.
    std::string waiter = write_script(dir_, "waiter.scpt",
                                      "SyncInit( DelaySec:3 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"JOINED\" );\n"
                                      "SyncWait( TimeoutSec:60 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"PASSED\" );\n");
    std::string victim = write_script(dir_, "victim.scpt",
                                      "SyncInit( DelaySec:0 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"JOINED\" );\n"
                                      "Delay( sec:60 );\n"
                                      "SyncWait( TimeoutSec:60 );\n");
    auto doomed = run(victim);
    auto a = run(waiter);
    auto b = run(waiter);
    // Both others wait for the third member at the barrier.
    eventually([&] { return doomed->seen("JOINED") && a->seen("Wait 3 Threads") && b->seen("Wait 3 Threads"); }, 20);
    ASSERT_TRUE(doomed->seen("JOINED")) << doomed->output();
    ASSERT_TRUE(a->seen("Wait 3 Threads")) << a->output();
    ASSERT_TRUE(b->seen("Wait 3 Threads")) << b->output();
    doomed->kill_now();
    const auto killed = Clock::now();
    EXPECT_EQ(a->wait(10), 0) << a->output();
    EXPECT_EQ(b->wait(10), 0) << b->output();
    for (InstanceRun* i : {a.get(), b.get()}) {
        auto passed = i->seen("PASSED");
        ASSERT_TRUE(passed) << i->output();
        EXPECT_LT(std::chrono::duration<double>(*passed - killed).count(), 4.0) << i->output();
        EXPECT_FALSE(i->seen("Wait Synchronize Timeout")) << i->output();
    }
}

TEST_F(Instances, ErrorStopWithBroadcastCancelsTheOthers) {
    std::string looper = write_script(dir_, "loop.scpt",
                                      "i = 0;\n"
                                      "While( i < 600 ){\n"
                                      "  Delay( sec:1 );\n"
                                      "  i++;\n"
                                      "}\n");
    std::string failer = write_script(dir_, "fail.scpt",
                                      "Delay( sec:3 );\n"
                                      "NoSuchCommand();\n");
    auto a = run(looper);
    auto b = run(looper);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto f = run(failer, {"ERRSTOP"});
    EXPECT_EQ(f->wait(30), 240) << f->output();  // -16 undefined command
    EXPECT_NE(a->wait(15), InstanceRun::kRunning) << a->output();
    EXPECT_NE(b->wait(15), InstanceRun::kRunning) << b->output();
    for (InstanceRun* i : {a.get(), b.get()}) {
        EXPECT_TRUE(i->seen("---- Broadcast Trigger Cancel Job ----")) << i->output();
        EXPECT_TRUE(i->seen("---- Cancel Job ----")) << i->output();
    }
    // The sender ignores its own broadcast.
    EXPECT_FALSE(f->seen("Broadcast Trigger")) << f->output();
}

TEST_F(Instances, ErrorStopWithoutTheSettingBroadcastsNothing) {
    std::string looper = write_script(dir_, "loop.scpt", "Delay( sec:6 );\nPrint( LeftAlign:FALSE, Output:\"DONE\" );\n");
    std::string failer = write_script(dir_, "fail.scpt", "Delay( sec:1 );\nNoSuchCommand();\n");
    auto a = run(looper);
    auto f = run(failer);
    EXPECT_EQ(f->wait(30), 240);
    EXPECT_EQ(a->wait(30), 0) << a->output();
    EXPECT_TRUE(a->seen("DONE"));
    EXPECT_FALSE(a->seen("Broadcast Trigger"));
}

TEST_F(Instances, GlobalLockSectionsOfThreeInstancesNeverOverlap) {
    std::string script = write_script(dir_, "lock.scpt",
                                      "i = 0;\n"
                                      "While( i < 2 ){\n"
                                      "  GlobalLock();\n"
                                      "  Print( LeftAlign:FALSE, Output:\"ENTER\" );\n"
                                      "  Delay( sec:1 );\n"
                                      "  Print( LeftAlign:FALSE, Output:\"LEAVE\" );\n"
                                      "  GlobalUnLock();\n"
                                      "  i++;\n"
                                      "}\n");
    std::vector<std::unique_ptr<InstanceRun>> runs;
    for (int i = 0; i < 3; ++i) runs.push_back(run(script));
    for (auto& r : runs) ASSERT_EQ(r->wait(40), 0) << r->output();
    // Every section of the instances, from its ENTER line to its LEAVE line.
    std::vector<std::pair<Clock::time_point, Clock::time_point>> sections;
    for (auto& r : runs) {
        auto enter = r->all_seen("ENTER"), leave = r->all_seen("LEAVE");
        ASSERT_EQ(enter.size(), 2u) << r->output();
        ASSERT_EQ(leave.size(), 2u) << r->output();
        for (size_t k = 0; k < 2; ++k) sections.emplace_back(enter[k], leave[k]);
    }
    for (size_t x = 0; x < sections.size(); ++x)
        for (size_t y = x + 1; y < sections.size(); ++y) {
            // The lines are stamped when the watchers see them: allow them
            // 100 ms, far below the one-second section a broken lock would overlap by.
            auto slack = std::chrono::milliseconds(100);
            bool apart = sections[x].second <= sections[y].first + slack ||
                         sections[y].second <= sections[x].first + slack;
            EXPECT_TRUE(apart) << "sections " << x << " and " << y << " overlap";
        }
}

TEST_F(Instances, FunctionScriptChildOutputsReachTheCaller) {
    write_script(dir_, "child.scpt",
                 "p = InitParam_Data( KeyWord:\"mode\" );\n"
                 "d = InitParam_Data( KeyWord:\"delay\" );\n"
                 "Print( LeftAlign:FALSE, Output:\"CHILD-SAYS-HELLO\" );\n"
                 "Print( LeftAlign:FALSE, Output:p );\n"
                 "Delay( sec:d );\n");
    std::string parent = write_script(dir_, "parent.scpt",
                                      "CallFnScript( \"child.scpt\", \"mode=fast$delay=5$\", FALSE );\n"
                                      "r = IsFnScriptRunning();\n"
                                      "Print( LeftAlign:FALSE, Output:r );\n"
                                      "Delay( sec:4 );\n"
                                      "r = IsFnScriptRunning();\n"
                                      "Print( LeftAlign:FALSE, Output:r );\n"
                                      "CallFnScript( \"child.scpt\", \"mode=slow$delay=1$\", TRUE );\n"
                                      "Print( LeftAlign:FALSE, Output:\"PARENT-DONE\" );\n");
    auto r = run(parent);
    ASSERT_EQ(r->wait(60), 0) << r->output();
    std::string out = r->output();
    // While the child runs the shared state says so; afterwards it does not.
    auto running = out.find("        1\n");
    auto stopped = out.find("        0\n");
    EXPECT_NE(running, std::string::npos) << out;
    EXPECT_NE(stopped, std::string::npos) << out;
    EXPECT_LT(running, stopped) << out;
    // The child's lines come back through its forward log, with its parameters.
    EXPECT_EQ(r->all_seen("CHILD-SAYS-HELLO").size(), 2u) << out;
    EXPECT_NE(out.find("fast"), std::string::npos) << out;
    EXPECT_NE(out.find("slow"), std::string::npos) << out;
    EXPECT_LT(out.find("slow"), out.find("PARENT-DONE")) << out;
    EXPECT_EQ(r->all_seen("Elapsed Time(ms): ").size(), 2u) << out;
}

TEST_F(Instances, FunctionScriptThatDoesNotExistIsAnError) {
    std::string parent = write_script(dir_, "parent.scpt", "CallFnScript( \"missing.scpt\", \"\", TRUE );\n");
    auto r = run(parent);
    // No terminal to ask on: the selection is cancelled and the job stops.
    EXPECT_NE(r->wait(30), InstanceRun::kRunning);
    EXPECT_TRUE(r->seen("---- Cancel")) << r->output();
}

// Whether a function script's console file below `dir` holds `text`.
bool function_script_printed(const fs::path& dir, const std::string& text) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->path().filename() == "console.txt" && read_file(it->path()).find(text) != std::string::npos) return true;
    return false;
}

TEST_F(Instances, FunctionScriptEndsWithItsKilledCaller) {
    // The function script holds GlobalLock for a minute: only its end lets another instance have it.
    write_script(dir_, "holder.scpt",
                 "GlobalLock();\n"
                 "Print( LeftAlign:FALSE, Output:\"CHILD-HOLDS\" );\n"
                 "Delay( sec:60 );\n");
    std::string caller = write_script(dir_, "caller.scpt", "CallFnScript( \"holder.scpt\", \"\", TRUE );\n");
    std::string probe = write_script(dir_, "probe.scpt",
                                     "GlobalLock();\n"
                                     "Print( LeftAlign:FALSE, Output:\"PROBE-GOT-IT\" );\n"
                                     "GlobalUnLock();\n");
    auto top = run(caller);
    ASSERT_TRUE(eventually([&] { return function_script_printed(dir_, "CHILD-HOLDS"); }, 30)) << top->output();
    auto other = run(probe);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_FALSE(other->seen("PROBE-GOT-IT")) << other->output();
    top->kill_now();
    const auto killed = Clock::now();
    EXPECT_EQ(other->wait(15), 0) << other->output();
    auto got = other->seen("PROBE-GOT-IT");
    ASSERT_TRUE(got) << other->output();
    EXPECT_LT(std::chrono::duration<double>(*got - killed).count(), 8.0);
}

TEST_F(Instances, ConsoleOutMovesTheConsoleToAFile) {
    std::string script = write_script(dir_, "out.scpt",
                                      "Print( LeftAlign:FALSE, Output:\"ON-TERMINAL\" );\n"
                                      "ConsoleOut( Stdout:\"console.txt\", Append:FALSE );\n"
                                      "Print( LeftAlign:FALSE, Output:\"IN-FILE\" );\n");
    auto r = run(script);
    ASSERT_EQ(r->wait(30), 0) << r->output();
    EXPECT_TRUE(r->seen("ON-TERMINAL"));
    EXPECT_FALSE(r->seen("IN-FILE")) << r->output();
    EXPECT_NE(read_file(dir_ / "console.txt").find("IN-FILE"), std::string::npos);
}

}  // namespace
