// End-to-end, the Linux side of the cross-instance objects: their files in
// /dev/shm, instances of another user (setpriv) and of a shared group, a
// peer that holds a byte lock of an object for ever, and stop signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/stamped_lines.h"

namespace {

using tb::test::Clock;
using tb::test::eventually;

std::string make_tmpdir() {
    char tmpl[] = "/tmp/tamblor-inst-XXXXXX";
    return ::mkdtemp(tmpl);
}

std::string write_script(const std::string& dir, const std::string& name, const std::string& text) {
    std::string path = dir + "/" + name;
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    std::ofstream(path, std::ios::binary) << crlf;
    return path;
}

// How an instance is started besides its arguments.
struct Launch {
    // Another user's instance: "nobody" (group "nogroup", no other groups).
    bool as_nobody = false;
    // TAMBLOR_IPC_GROUP for the instance (unset when empty).
    std::string ipc_group;
};

// One running instance whose output lines are stamped as they arrive.
class Instance {
public:
    Instance(const std::vector<std::string>& args, const std::string& dir, const std::string& ipc,
             const Launch& launch = {}) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
            ::close(fds[0]);
            ::close(fds[1]);
            if (::chdir(dir.c_str()) != 0) _exit(126);
            ::setenv("TMPDIR", dir.c_str(), 1);
            ::setenv("TAMBLOR_IPC_NAMESPACE", ipc.c_str(), 1);
            if (launch.ipc_group.empty()) ::unsetenv("TAMBLOR_IPC_GROUP");
            else ::setenv("TAMBLOR_IPC_GROUP", launch.ipc_group.c_str(), 1);
            std::vector<std::string> words;
            if (launch.as_nobody) words = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
            words.push_back(TAMBLOR_BINARY);
            words.insert(words.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& w : words) argv.push_back(w.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            _exit(127);
        }
        ::close(fds[1]);
        fd_ = fds[0];
        reader_ = std::thread([this] { read_lines(); });
    }
    ~Instance() {
        if (pid_ > 0 && exit_code_ == kRunning) {
            ::kill(pid_, SIGKILL);
            wait(5);
        }
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) ::close(fd_);
    }

    // Exit code, or kRunning when it did not end within `seconds`.
    int wait(int seconds) {
        auto until = Clock::now() + std::chrono::seconds(seconds);
        while (exit_code_ == kRunning && Clock::now() < until) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (exit_code_ != kRunning && reader_.joinable()) reader_.join();
        return exit_code_;
    }
    std::optional<Clock::time_point> seen(const std::string& text) { return lines_.seen(text); }
    bool await(const std::string& text, int seconds) { return lines_.await(text, seconds); }
    std::vector<Clock::time_point> all_seen(const std::string& text) { return lines_.all_seen(text); }
    std::string output() { return lines_.output(); }
    void interrupt() { ::kill(pid_, SIGINT); }
    void terminate() { ::kill(pid_, SIGTERM); }
    void kill_now() { ::kill(pid_, SIGKILL); }

    static constexpr int kRunning = -1000;

private:
    void read_lines() {
        std::string pending;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
            auto now = Clock::now();
            pending.append(buf, static_cast<size_t>(n));
            size_t nl;
            while ((nl = pending.find('\n')) != std::string::npos) {
                lines_.add(pending.substr(0, nl), now);
                pending.erase(0, nl + 1);
            }
        }
        if (!pending.empty()) lines_.add(pending, Clock::now());
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    int exit_code_ = kRunning;
    std::thread reader_;
    tb::test::StampedLines lines_;
};

// The machine-wide objects of a namespace, as names in /dev/shm.
std::vector<std::string> shared_objects_of(const std::string& ipc) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/shm", ec)) {
        const std::string n = e.path().filename().string();
        if (n.rfind(ipc, 0) == 0) names.push_back(n);
    }
    return names;
}

std::string joined(const std::vector<std::string>& names) {
    std::string all;
    for (const auto& n : names) all += n + " ";
    return all;
}

class LinuxInstances : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = make_tmpdir();
        ::chmod(dir_.c_str(), 0777);  // instances of another user work here too
        ipc_ = "e2e" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    }
    void TearDown() override {
        // What killed instances leave behind.
        for (const auto& n : shared_objects_of(ipc_)) ::shm_unlink(("/" + n).c_str());
    }
    std::vector<std::string> script_args(const std::string& path, std::vector<std::string> extra = {}) {
        std::vector<std::string> a{"--sim", "SCRIPT:" + path};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::string dir_, ipc_;
};

TEST_F(LinuxInstances, ObjectsAreRemovedWhenTheLastInstanceEnds) {
    auto script = [&](int delay) {
        return write_script(dir_, "all" + std::to_string(delay) + ".scpt",
                            "SyncInit( DelaySec:3 );\n"
                            "GlobalLock();\n"
                            "SetGlobalVar( Name:\"K\", Value:1 );\n"
                            "GlobalUnLock();\n"
                            "SyncWait( TimeoutSec:20 );\n"
                            "Delay( sec:" + std::to_string(delay) + " );\n");
    };
    Instance shorter(script_args(script(0)), dir_, ipc_);
    Instance longer(script_args(script(4)), dir_, ipc_);
    ASSERT_EQ(shorter.wait(30), 0) << shorter.output();
    ASSERT_TRUE(shorter.seen("Wait 2 Threads")) << shorter.output();
    // The other instance still uses them.
    EXPECT_FALSE(shared_objects_of(ipc_).empty());
    EXPECT_EQ(longer.wait(30), 0) << longer.output();
    EXPECT_EQ(joined(shared_objects_of(ipc_)), "");
}

TEST_F(LinuxInstances, AnotherUserCannotReadGlobalVar) {
    std::string owner = write_script(dir_, "owner.scpt",
                                     "SetGlobalVar( Name:\"Secret\", Value:\"s3cr3t-value\" );\n"
                                     "Print( LeftAlign:FALSE, Output:\"STORED\" );\n"
                                     "Delay( sec:15 );\n");
    std::string spy = write_script(dir_, "spy.scpt",
                                   "x = GetGlobalVar( Name:\"Secret\" );\n"
                                   "Print( LeftAlign:FALSE, Output:x );\n");
    Instance root_run(script_args(owner), dir_, ipc_);
    ASSERT_TRUE(root_run.await("STORED", 10)) << root_run.output();
    Instance other(script_args(spy), dir_, ipc_, Launch{.as_nobody = true, .ipc_group = ""});
    EXPECT_NE(other.wait(20), 0) << other.output();
    EXPECT_FALSE(other.seen("s3cr3t-value")) << other.output();
    EXPECT_TRUE(other.seen("another user")) << other.output();
}

TEST_F(LinuxInstances, GroupSettingSharesTheObjectsWithTheGroup) {
    std::string owner = write_script(dir_, "owner.scpt",
                                     "SetGlobalVar( Name:\"Shared\", Value:\"group-value\" );\n"
                                     "Print( LeftAlign:FALSE, Output:\"STORED\" );\n"
                                     "SyncInit( DelaySec:0 );\n"
                                     "SyncWait( TimeoutSec:20 );\n"
                                     "Print( LeftAlign:FALSE, Output:\"MET\" );\n");
    std::string member = write_script(dir_, "member.scpt",
                                      "SyncInit( DelaySec:0 );\n"
                                      "x = GetGlobalVar( Name:\"Shared\" );\n"
                                      "Print( LeftAlign:FALSE, Output:x );\n"
                                      "SyncWait( TimeoutSec:20 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"MET\" );\n");
    Instance root_run(script_args(owner), dir_, ipc_, Launch{.ipc_group = "nogroup"});
    ASSERT_TRUE(root_run.await("STORED", 10)) << root_run.output();
    Instance other(script_args(member), dir_, ipc_, Launch{.as_nobody = true, .ipc_group = "nogroup"});
    EXPECT_EQ(other.wait(30), 0) << other.output();
    EXPECT_EQ(root_run.wait(30), 0) << root_run.output();
    EXPECT_TRUE(other.seen("group-value")) << other.output();
    EXPECT_TRUE(other.seen("MET")) << other.output();
    EXPECT_TRUE(root_run.seen("MET")) << root_run.output();
    for (const auto& n : shared_objects_of(ipc_)) {
        struct stat st {};
        ASSERT_EQ(::stat(("/dev/shm/" + n).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0660u) << n;
    }
}

// Holds an exclusive lock on one byte of a shared object's file, the way a
// stuck instance of the same user would.
class ByteLockHolder {
public:
    ByteLockHolder(const std::string& object, size_t size, off_t byte) {
        fd_ = ::shm_open(("/" + object).c_str(), O_RDWR | O_CREAT, 0600);
        if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) return;
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = byte;
        fl.l_len = 1;
        held_ = ::fcntl(fd_, F_OFD_SETLK, &fl) == 0;
    }
    ~ByteLockHolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

TEST_F(LinuxInstances, StopSignalEndsAWaitOnAHeldObject) {
    std::string script = write_script(dir_, "blocked.scpt",
                                      "SyncInit( DelaySec:0 );\n"
                                      "SetGlobalVar( Name:\"K\", Value:1 );\n"
                                      "Print( LeftAlign:FALSE, Output:\"LATE\" );\n");
    // Opening the table at the start of the run, then the barrier's transition lock.
    for (auto [object, byte] : {std::pair<const char*, off_t>{"GlobalVar", 0}, {"XRT_SHAREE", 2}}) {
        SCOPED_TRACE(object);
        ByteLockHolder holder(ipc_ + object, 11520, byte);
        ASSERT_TRUE(holder.held());
        Instance run(script_args(script), dir_, ipc_);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_EQ(run.wait(0), Instance::kRunning) << run.output();
        run.terminate();
        EXPECT_NE(run.wait(6), Instance::kRunning) << run.output();
        EXPECT_FALSE(run.seen("LATE")) << run.output();
    }
}

TEST_F(LinuxInstances, InterruptCancelsTheJob) {
    std::string script = write_script(dir_, "long.scpt", "Delay( sec:60 );\nPrint( LeftAlign:FALSE, Output:\"LATE\" );\n");
    Instance a(script_args(script), dir_, ipc_);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    a.interrupt();
    EXPECT_NE(a.wait(15), Instance::kRunning);
    EXPECT_FALSE(a.seen("LATE"));
}

}  // namespace
