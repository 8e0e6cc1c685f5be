// End-to-end: the real binary keeps its process tree in bounds and reports
// how it ended. Function scripts nest only so deep and never outlive their
// caller; a run stopped by a signal says so in its exit code after a clean
// end of run; a script that cannot be read is an error, never a crash or a
// silent pass.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using tb::test::read_file;
using tb::test::write_crlf;

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size())) ++n;
    return n;
}

// A /proc file of a process that may end while it is read: what could be
// read, without throwing.
std::string read_proc_file(const fs::path& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

// Processes whose command line mentions `text` (the test's own folder).
std::vector<pid_t> processes_naming(const std::string& text) {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = read_proc_file(entry.path() / "cmdline");
        for (char& c : cmdline)
            if (c == '\0') c = ' ';
        if (cmdline.find(text) != std::string::npos) pids.push_back(static_cast<pid_t>(std::stoi(name)));
    }
    return pids;
}

// Waits until at most `limit` processes mention `text`; how many there are then.
size_t wait_for_at_most(const std::string& text, size_t limit, std::chrono::milliseconds within) {
    auto until = Clock::now() + within;
    for (;;) {
        size_t n = processes_naming(text).size();
        if (n <= limit || Clock::now() >= until) return n;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Waits until at least `wanted` processes mention `text`.
bool wait_for_at_least(const std::string& text, size_t wanted, std::chrono::milliseconds within) {
    auto until = Clock::now() + within;
    while (processes_naming(text).size() < wanted) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// One started program whose output goes to a file, so that the test can
// signal it while it runs.
class Started {
public:
    Started(const std::vector<std::string>& argv, const fs::path& folder, const fs::path& output,
            const std::string& ipc)
        : output_(output) {
        pid_ = ::fork();
        if (pid_ == 0) {
            FILE* out = std::fopen(output.c_str(), "wb");
            if (!out || ::chdir(folder.c_str()) != 0) _exit(126);
            ::dup2(fileno(out), 1);
            ::dup2(fileno(out), 2);
            ::setenv("TMPDIR", (folder / "tmp").c_str(), 1);
            ::setenv("TAMBLOR_IPC_NAMESPACE", ipc.c_str(), 1);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Started() {
        if (pid_ > 0 && code_ == kRunning) {
            ::kill(pid_, SIGKILL);
            wait(std::chrono::seconds(5));
        }
    }
    void signal(int sig) { ::kill(pid_, sig); }
    // Exit code (128 + signal when killed), or kRunning when still running.
    int wait(std::chrono::milliseconds within) {
        auto until = Clock::now() + within;
        while (code_ == kRunning) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (Clock::now() >= until) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return code_;
    }
    std::string output() const { return read_file(output_); }
    bool printed(const std::string& text, std::chrono::milliseconds within) const {
        auto until = Clock::now() + within;
        while (output().find(text) == std::string::npos) {
            if (Clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    static constexpr int kRunning = -1000;

private:
    fs::path output_;
    pid_t pid_ = -1;
    int code_ = kRunning;
};

class ProcessSafety : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tamblor-proc-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        fs::create_directories(root_ / "tmp");
        // Machine-wide objects of their own, so that runs of other tests
        // never see these instances.
        ipc_ = "proc" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : ipc_)
            if (c == '/') c = '_';
    }
    void TearDown() override {
        // Whatever a faulty run left behind must not outlive the test.
        for (int round = 0; round < 50 && !processes_naming(root_.string()).empty(); ++round) {
            for (pid_t pid : processes_naming(root_.string())) ::kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    tb::test::ShellResult run(const std::string& args) {
        return tb::test::run_shell("cd '" + root_.string() + "' && " + environment() +
                                   " timeout -s KILL 20 '" TAMBLOR_BINARY "' --sim " + args);
    }
    // Packs `folder` into a player beside it and returns the player's path.
    std::string pack(const fs::path& folder) {
        std::string out = (root_ / "player").string();
        auto r = tb::test::run_shell(std::string("'") + TAMBLOR_PACK_BINARY + "' --out '" + out + "' --base '" +
                                     TAMBLOR_BINARY + "' '" + folder.string() + "'");
        EXPECT_EQ(r.exit_code, 0) << r.output;
        return out;
    }
    // The environment of every run: its temporary folder and IPC namespace.
    std::string environment() const {
        return "TMPDIR='" + (root_ / "tmp").string() + "' TAMBLOR_IPC_NAMESPACE='" + ipc_ + "'";
    }
    fs::path root_;
    std::string ipc_;
};

// --- Function scripts ----------------------------------------------------

TEST_F(ProcessSafety, SelfCallingScriptStopsAtTheNestingLimit) {
    write_crlf(root_ / "self.scpt", "CallFnScript( \"self.scpt\", \"\", TRUE );\n");
    auto r = run("SCRIPT:self.scpt");
    // Levels 0 to 8 each make the call; the one at level 8 is refused and
    // its error comes back up through every caller's log.
    EXPECT_EQ(count_of(r.output, "CallFnScript("), 9u) << r.output;
    EXPECT_EQ(count_of(r.output, "function script nesting deeper than 8"), 1u) << r.output;
    EXPECT_NE(r.output.find("[Error Code]:  0xFFFFFFFE"), std::string::npos) << r.output;
    EXPECT_EQ(wait_for_at_most(root_.string(), 0, std::chrono::seconds(2)), 0u);
}

TEST_F(ProcessSafety, KillingTheTopProcessEndsEveryFunctionScriptBelowIt) {
    // Each level waits for the next. The call at level 8 is refused, which
    // ends that run; level 7 then waits a minute, so eight instances stay up.
    write_crlf(root_ / "tree.scpt", "CallFnScript( \"tree.scpt\", \"\", TRUE );\nDelay( sec:60 );\n");
    Started top({TAMBLOR_BINARY, "--sim", "SCRIPT:" + (root_ / "tree.scpt").string()}, root_, root_ / "top.txt",
                ipc_);
    ASSERT_TRUE(wait_for_at_least(root_.string(), 8, std::chrono::seconds(20))) << top.output();
    top.signal(SIGKILL);
    EXPECT_EQ(top.wait(std::chrono::seconds(5)), 128 + SIGKILL);
    EXPECT_EQ(wait_for_at_most(root_.string(), 0, std::chrono::seconds(3)), 0u);
}

TEST_F(ProcessSafety, StoppingTheTopProcessEndsItsFunctionScriptsFirst) {
    write_crlf(root_ / "tree.scpt", "CallFnScript( \"tree.scpt\", \"\", TRUE );\nDelay( sec:60 );\n");
    Started top({TAMBLOR_BINARY, "--sim", "SCRIPT:" + (root_ / "tree.scpt").string()}, root_, root_ / "top.txt",
                ipc_);
    ASSERT_TRUE(wait_for_at_least(root_.string(), 8, std::chrono::seconds(20))) << top.output();
    top.signal(SIGTERM);
    EXPECT_EQ(top.wait(std::chrono::seconds(10)), 143) << top.output();
    // The top ends only after its children, so none is left at that moment.
    EXPECT_TRUE(processes_naming(root_.string()).empty());
}

TEST_F(ProcessSafety, FunctionScriptStillRunningWhenTheJobEndsIsEnded) {
    write_crlf(root_ / "slow.scpt", "Delay( sec:60 );\n");
    write_crlf(root_ / "caller.scpt", "CallFnScript( \"slow.scpt\", \"\", FALSE );\n");
    auto started = Clock::now();
    auto r = run("SCRIPT:caller.scpt");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(15));
    // The caller ends only after its child, so none is left at that moment.
    EXPECT_TRUE(processes_naming(root_.string()).empty());
}

// --- Stop signals ------------------------------------------------------------

class StopSignal : public ProcessSafety, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(StopSignal, RunEndsCleanlyAndReportsTheSignal) {
    auto [sig, expected] = GetParam();
    fs::path src = root_ / "src";
    fs::create_directories(src);
    write_crlf(src / "long.scpt",
               "SetLogFolder( Output:\"" + (root_ / "copied").string() + "\" );\n"
               "Delay( sec:60 );\n"
               "Print( LeftAlign:FALSE, Output:\"LATE\" );\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Long\nStyle=30\n");
    std::string player = pack(src);
    Started run({player, "--sim"}, root_, root_ / "out.txt", ipc_);
    ASSERT_TRUE(run.printed("Delay remain", std::chrono::seconds(20))) << run.output();
    run.signal(sig);
    EXPECT_EQ(run.wait(std::chrono::seconds(15)), expected) << run.output();
    EXPECT_EQ(run.output().find("LATE"), std::string::npos);
    // The end-of-run step ran: the logs were closed and copied out, and the
    // work folder is gone.
    std::string html = read_file(root_ / "copied" / "TestLog.htm");
    EXPECT_NE(html.find("Cancel&nbsp;Job"), std::string::npos) << html;
    EXPECT_NE(html.find("SCRIPT&nbsp;LOG"), std::string::npos) << html;
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, StopSignal,
                         ::testing::Values(std::make_pair(SIGINT, 130), std::make_pair(SIGTERM, 143)));

// --- Script loading -----------------------------------------------------------

TEST_F(ProcessSafety, ScriptThatIsAFolderIsAFileError) {
    fs::create_directories(root_ / "folder.scpt");
    auto r = run("SCRIPT:folder.scpt");
    EXPECT_EQ(r.exit_code, 256 - 11) << r.output;
    EXPECT_NE(r.output.find("File Open Fail or File Does Not Exist. " + (root_ / "folder.scpt").string() +
                            " (Is a directory)"),
              std::string::npos)
        << r.output;

    // A packaged player told to run a folder leaves no work folder behind
    // (the unpackaged run above keeps its own, which holds its logs).
    fs::remove_all(root_ / "tmp" / "TamblorLite");
    fs::path src = root_ / "src";
    fs::create_directories(src);
    write_crlf(src / "main.scpt", "x = 1;\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Folder\nStyle=30\n");
    std::string player = pack(src);
    auto p = tb::test::run_shell("cd '" + root_.string() + "' && " + environment() + " '" + player +
                                 "' --sim SCRIPT:folder.scpt");
    EXPECT_EQ(p.exit_code, 256 - 11) << p.output;
    EXPECT_NE(p.output.find("(Is a directory)"), std::string::npos) << p.output;
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

TEST_F(ProcessSafety, ScriptThatCannotBeReadIsAFileError) {
    if (::geteuid() != 0 || std::system("command -v setpriv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root and setpriv to run as another user";
    // Root reads every file, so the run is made as nobody; the folders on the
    // way must let nobody through, and its temporary folder must be writable.
    ::chmod(root_.c_str(), 0755);
    ::chmod((root_ / "tmp").c_str(), 0777);
    write_crlf(root_ / "locked.scpt", "Print( LeftAlign:FALSE, Output:\"RAN\" );\n");
    ::chmod((root_ / "locked.scpt").c_str(), 0);
    auto r = tb::test::run_shell("cd '" + root_.string() +
                                 "' && setpriv --reuid=nobody --regid=nogroup --clear-groups env " + environment() +
                                 " '" TAMBLOR_BINARY "' --sim SCRIPT:locked.scpt");
    EXPECT_EQ(r.exit_code, 256 - 11) << r.output;
    EXPECT_NE(r.output.find("File Open Fail or File Does Not Exist. " + (root_ / "locked.scpt").string() +
                            " (Permission denied)"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("RAN"), std::string::npos);
}

}  // namespace
