// The boxes of a console run on a real terminal: the program runs on the far
// end of a pseudo-terminal, shows each box as a prompt there and takes the
// operator's typed answers as the box's result; "esc" stops the job.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n";

// The program on the slave end of a pseudo-terminal; the test types on the master end.
class TerminalRun {
public:
    TerminalRun(const fs::path& dir, const std::string& script) {
        std::ofstream(dir / "t.scpt", std::ios::binary | std::ios::trunc) << script;
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        const std::string slave = ::ptsname(master_);
        const std::string program = TAMBLOR_BINARY;
        const std::string tmp = dir.string();
        const std::string settings = (dir / "settings.ini").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            const int fd = ::open(slave.c_str(), O_RDWR);
            if (fd < 0) ::_exit(127);
            ::dup2(fd, 0);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            if (::chdir(tmp.c_str()) != 0) ::_exit(127);
            ::setenv("TMPDIR", tmp.c_str(), 1);
            ::setenv("TAMBLOR_SETTINGS_FILE", settings.c_str(), 1);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            ::execl(program.c_str(), program.c_str(), "--sim=machine.ini", "SCRIPT:t.scpt", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~TerminalRun() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
    }

    bool started() const { return pid_ > 0; }

    // Reads until `text` has been shown (true) or `wait` passes.
    bool wait_for(const std::string& text, std::chrono::milliseconds wait = 20000ms) {
        const auto end = std::chrono::steady_clock::now() + wait;
        while (shown_.find(text, seen_) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !read_some(50)) {
                if (std::chrono::steady_clock::now() > end) return false;
            }
        }
        seen_ = shown_.find(text, seen_) + text.size();
        return true;
    }
    void type(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // The program's exit status after it ends (-1 when it does not within `wait`).
    int exit_status(std::chrono::milliseconds wait = 20000ms) {
        const auto end = std::chrono::steady_clock::now() + wait;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            read_some(20);
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                while (read_some(20)) {}
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }
    const std::string& shown() const { return shown_; }

private:
    bool read_some(int ms) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0 || !(p.revents & POLLIN)) return false;
        char buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        shown_.append(buf, static_cast<size_t>(n));
        return true;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool ended_ = false;
    std::string shown_;
    size_t seen_ = 0;
};

TEST(ConsoleBoxesOnATerminal, PromptsTakeTheTypedAnswersAsResults) {
    tb::test::SimMachineFolder machine{"tamblor-box-pty", kMachine};
    TerminalRun run(machine.dir(),
                    "a = MessageBox( Output:\"Replug the disk\", Button:\"YESNO\" );\n"
                    "b = ComboBox( Output:\"Pick one\", ItemList:\"A|*B|C\" );\n"
                    "c = NumberBox( \"Loops:\", 25 );\n"
                    "d[] = CheckListBox( \"Items\", \"*A|B|C\" );\n"
                    "e = InputBox( Title:\"Serial\", SpecialKey:\"SN\" );\n"
                    "Print( Output:\"A=\" + a + \" B=\" + b + \" C=\" + c + \" D0=\" + d[0] + \" D1=\" + d[1] + \" D2=\" + d[2] );\n"
                    "Print( Output:\"E:\" + e );\n");
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.wait_for("Replug the disk [y/n]: ")) << run.shown();
    run.type("n");
    ASSERT_TRUE(run.wait_for("Pick one")) << run.shown();
    ASSERT_TRUE(run.wait_for("Number (Enter for the marked one): ")) << run.shown();
    run.type("3");
    ASSERT_TRUE(run.wait_for("Loops: [25]: ")) << run.shown();
    run.type("42");
    ASSERT_TRUE(run.wait_for("Numbers to check")) << run.shown();
    run.type("2 3");
    ASSERT_TRUE(run.wait_for("Special Key : \"SN\"")) << run.shown();
    ASSERT_TRUE(run.wait_for("Serial: ")) << run.shown();
    run.type("AB123");
    ASSERT_TRUE(run.wait_for("Serial: ")) << run.shown();
    run.type("sn123");
    EXPECT_EQ(run.exit_status(), 0) << run.shown();
    const auto values = tb::test::printed_values(run.shown());
    EXPECT_EQ(values.count("A") ? values.at("A") : -99, 0) << run.shown();
    EXPECT_EQ(values.count("B") ? values.at("B") : -99, 2);
    EXPECT_EQ(values.count("C") ? values.at("C") : -99, 42);
    EXPECT_EQ(values.count("D0") ? values.at("D0") : -99, 0);
    EXPECT_EQ(values.count("D1") ? values.at("D1") : -99, 1);
    EXPECT_EQ(values.count("D2") ? values.at("D2") : -99, 1);
    EXPECT_NE(run.shown().find("E:sn123"), std::string::npos) << run.shown();
}

TEST(ConsoleBoxesOnATerminal, EscapeStopsTheJob) {
    tb::test::SimMachineFolder machine{"tamblor-box-pty", kMachine};
    TerminalRun run(machine.dir(),
                    "a = NumberBox( \"Loops:\", 25, TRUE );\n"
                    "Print( Output:\"AFTER=1\" );\n");
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.wait_for("Loops: [25]: (answers itself in 20 s) ")) << run.shown();
    run.type("esc");
    EXPECT_EQ(run.exit_status(), 0) << run.shown();
    EXPECT_NE(run.shown().find("---- Cancel Job ----"), std::string::npos) << run.shown();
    EXPECT_EQ(run.shown().find("AFTER=1"), std::string::npos) << run.shown();
}

}  // namespace
