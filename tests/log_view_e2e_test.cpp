// End-to-end: a job of the real program exchanges commands with the log
// viewer stand-in (tamblor-viewer) through the exchange section and its
// notice, on every system: the answer read back with Result, the time-out
// count-down without a viewer, the delayed send and its cancel, a file
// opened in the viewer and the viewer's identifier; and refused input.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "platform/process_identity.h"
#include "tests/e2e_support.h"
#include "tests/instance_run.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tb::test::eventually;
using tb::test::InstanceRun;

// The viewer stand-in running in the test's object namespace, its output in a file.
class ViewerStandIn {
public:
    ViewerStandIn(const fs::path& dir, const std::string& ipc, const std::vector<std::string>& options) {
        output_ = dir / "viewer.out";
        tb::ChildOptions o;
        o.work_folder = dir.string();
        o.output_file = output_.string();
        o.no_input = true;
        o.end_with_parent = true;
        o.environment = {"TAMBLOR_IPC_NAMESPACE=" + ipc};
        std::vector<std::string> argv{TAMBLOR_VIEWER_BINARY};
        argv.insert(argv.end(), options.begin(), options.end());
        started_ = child_.start(argv, o);
    }
    ~ViewerStandIn() { child_.end(2000); }
    bool ready() { return started_ && await("viewer ready", 30); }
    bool await(const std::string& text, int seconds) {
        return eventually([&] { return output().find(text) != std::string::npos; }, seconds);
    }
    std::string output() const { return tb::test::read_file(output_); }

private:
    tb::ChildProcess child_;
    fs::path output_;
    bool started_ = false;
};

class LogView : public ::testing::Test {
protected:
    void SetUp() override {
        ipc_ = "lv" + std::to_string(tb::current_process_id()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    }
    fs::path dir() const { return folder_.dir(); }
    // Runs `script` through the real program on the simulated machine, in the test's namespace.
    std::unique_ptr<InstanceRun> start(const std::string& script) {
        const std::string path = tb::test::write_script(dir(), "t.scpt", script);
        return std::make_unique<InstanceRun>(std::vector<std::string>{"--sim", "SCRIPT:" + path}, dir(), ipc_);
    }
    std::unique_ptr<ViewerStandIn> viewer(const std::vector<std::string>& options = {}) {
        auto v = std::make_unique<ViewerStandIn>(dir(), ipc_, options);
        EXPECT_TRUE(v->ready()) << v->output();
        return v;
    }

    tb::test::TempFolder folder_{"tamblor-logview"};
    std::string ipc_;
};

TEST_F(LogView, TheViewersAnswerIsTheResultLine) {
    auto v = viewer({"--answer", "PASS-42"});
    auto run = start("LogView_Wait( Command:\"Check Disk\", TimeoutSec:20 );\n"
                     "a = Result( KeyWord:\"Result\", ShowResult:FALSE );\n"
                     "Print( Output:\"ANSWER=[\" + a + \"]\" );\n");
    ASSERT_EQ(run->wait(60), 0) << run->output();
    const std::string out = run->output();
    EXPECT_NE(out.find("Wait [Check Disk] From LogView 20 sec..."), std::string::npos) << out;
    EXPECT_NE(out.find("Result : PASS-42"), std::string::npos) << out;
    EXPECT_NE(out.find("ANSWER=[PASS-42]"), std::string::npos) << out;
    EXPECT_EQ(out.find("Timeout"), std::string::npos) << out;
    EXPECT_NE(v->output().find("asked: Check Disk -> PASS-42"), std::string::npos) << v->output();
}

TEST_F(LogView, WithoutAViewerTheWaitCountsDownAndTimesOutEmpty) {
    const auto began = std::chrono::steady_clock::now();
    auto run = start("LogView_Wait( Command:\"Check\", TimeoutSec:3 );\n"
                     "a = Result( KeyWord:\"Result\", ShowResult:FALSE );\n"
                     "Print( Output:\"ANSWER=[\" + a + \"]\" );\n");
    ASSERT_EQ(run->wait(60), 0) << run->output();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const std::string out = run->output();
    size_t at = 0;
    for (const char* step : {"Wait [Check] From LogView 3 sec...", "Wait [Check] From LogView 2 sec...",
                             "Wait [Check] From LogView 1 sec...", "Wait [Check] From LogView 0 sec...",
                             "Wait [Check] From LogView 3 sec Timeout", "Result :", "ANSWER=[]"}) {
        const size_t found = out.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << step << "\n" << out;
        at = found + 1;
    }
    EXPECT_GE(took, 3.0);
}

TEST_F(LogView, ADelayedSendReturnsAtOnceAndArrivesLater) {
    auto v = viewer();
    auto run = start("LogView_Send( Command:\"Hello Viewer\", DelayRunSec:3 );\n"
                     "Print( Output:\"AFTER-SEND\" );\n");
    ASSERT_TRUE(run->await("AFTER-SEND", 30)) << run->output();
    const auto returned = *run->seen("AFTER-SEND");
    const auto counting = run->seen("Wait 3 Sec for LogView_Send...");
    ASSERT_TRUE(counting) << run->output();
    EXPECT_FALSE(run->seen("LogView_Send : Hello Viewer")) << "delivered before the script went on";
    ASSERT_EQ(run->wait(60), 0) << run->output();  // the job's end waits for the delivery
    ASSERT_TRUE(run->seen("LogView_Send : Hello Viewer")) << run->output();
    EXPECT_GE(std::chrono::duration<double>(*run->seen("LogView_Send : Hello Viewer") - returned).count(), 2.0);
    EXPECT_TRUE(v->await("sent: Hello Viewer", 10)) << v->output();
}

TEST_F(LogView, ACancelledJobNeverDeliversItsDelayedSend) {
    auto v = viewer();
    auto run = start("LogView_Send( Command:\"Never\", DelayRunSec:3 );\n"
                     "NoSuchCommand();\n");
    EXPECT_NE(run->wait(60), 0) << run->output();
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    EXPECT_FALSE(run->seen("LogView_Send : Never")) << run->output();
    EXPECT_EQ(v->output().find("sent: Never"), std::string::npos) << v->output();
}

TEST_F(LogView, AFileIsOpenedInTheViewerAndItsIdentifierRead) {
    auto v = viewer({"--id", "VIEW-7"});
    std::ofstream(dir() / "notes.txt") << "notes\n";
    auto run = start("moreViewer( File:\"notes.txt\" );\n"
                     "id = GetViewID( TimeoutSec:20 );\n"
                     "Print( Output:\"ID=[\" + id + \"]\" );\n");
    ASSERT_EQ(run->wait(60), 0) << run->output();
    EXPECT_TRUE(run->seen("ID=[VIEW-7]")) << run->output();
    EXPECT_TRUE(run->seen("moreViewer : ")) << run->output();
    EXPECT_TRUE(v->await("sent: OpenFile:", 10)) << v->output();
    EXPECT_NE(v->output().find("notes.txt"), std::string::npos) << v->output();
    EXPECT_NE(v->output().find("asked: GetViewID -> VIEW-7"), std::string::npos) << v->output();
}

TEST_F(LogView, WithoutAViewerTheIdentifierIsEmpty) {
    auto run = start("id = GetViewID( TimeoutSec:1 );\nPrint( Output:\"ID=[\" + id + \"]\" );\n");
    ASSERT_EQ(run->wait(60), 0) << run->output();
    EXPECT_TRUE(run->seen("GetViewID : no LogView answered in 1 sec")) << run->output();
    EXPECT_TRUE(run->seen("ID=[]")) << run->output();
}

TEST_F(LogView, InputTheExchangeCannotTakeIsRefused) {
    const std::string too_long(200, 'c');
    auto run = start("SetErrorSkip( Count:9 );\n"
                     "LogView_Wait( Command:\"" + too_long + "\", TimeoutSec:1 );\n"
                     "LogView_Send( Command:\"" + too_long + "\" );\n"
                     "moreViewer( File:\"no-such-file.txt\" );\n"
                     "moreViewer( File:\"\" );\n"
                     "LogView_Wait( Command:\"\", TimeoutSec:1 );\n"
                     "c = GetErrorCount( Show:FALSE );\n"
                     "Print( Output:\"ERRORS=\" + c );\n");
    ASSERT_EQ(run->wait(60), 0) << run->output();
    const std::string out = run->output();
    EXPECT_TRUE(run->seen("ERRORS=4")) << out;  // the empty wait does nothing
    EXPECT_TRUE(run->seen("0xFFFFFFF5")) << out;  // -11: the missing file
    EXPECT_EQ(run->all_seen("0xFFFFFFFE").size(), 3u) << out;  // -2: two long commands, no file named
    EXPECT_FALSE(run->seen("From LogView")) << out;
}

}  // namespace
