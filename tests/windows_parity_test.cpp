// The Windows build against the Linux one: the same scripts, run by the
// Linux programs and by the Windows programs under wine, print the same
// console lines and leave the same files in their log folders (TestLog.htm,
// CSV series, QoS tables, hex dumps, SMART readings, charts), once the run's
// folders, times, temperatures and measured figures are masked: the sample
// script, a disk script on the simulated machine (Identify, an LBA write
// and read back, SMART, a short performance run with its CSV and chart)
// and a player packaged by tamblor-pack.
//
// The Windows build is the folder named by $TAMBLOR_WINDOWS_BUILD, else
// build-win beside the sources, configured with its tests (its wine_run.sh
// runs a program in the build's own wine prefix). Without wine or that
// build the tests are skipped, and fail instead under CI=true.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/output_mask.h"
#include "tests/process_runner.h"

namespace {

namespace fs = std::filesystem;
using tb::test::ProcessResult;

fs::path windows_build() {
    if (const char* dir = std::getenv("TAMBLOR_WINDOWS_BUILD"); dir && *dir) return dir;
    return fs::path(TAMBLOR_SOURCE_DIR) / "build-win";
}

bool wine_on_path() {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs = path;
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::error_code ec;
        if (fs::exists(fs::path(dirs.substr(start, end - start)) / "wine", ec)) return true;
        start = end + 1;
    }
    return false;
}

// A Windows path the program printed, as a path of this machine: wine shows
// this machine's root as Z: and keeps its other drives in the prefix.
fs::path host_path_of(std::string windows_path) {
    for (char& c : windows_path)
        if (c == '\\') c = '/';
    if (windows_path.size() < 2 || windows_path[1] != ':') return windows_path;
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windows_path[0])));
    const std::string rest = windows_path.substr(2);
    if (drive == 'z') return rest;
    return windows_build() / "wine-prefix" / "dosdevices" / (std::string(1, drive) + ":") / rest.substr(1);
}

// One system's programs, copied into a folder of their own (so that output
// files of relative names land there), and how to start them.
class Side {
public:
    Side(std::string name, const fs::path& folder, const fs::path& player, const fs::path& packer, bool windows)
        : name_(std::move(name)), folder_(folder), windows_(windows) {
        fs::create_directories(folder_ / "tmp");
        player_ = folder_ / player.filename();
        packer_ = folder_ / packer.filename();
        fs::copy_file(player, player_);
        fs::copy_file(packer, packer_);
    }

    const std::string& name() const { return name_; }
    const fs::path& folder() const { return folder_; }
    const fs::path& player() const { return player_; }
    const fs::path& packer() const { return packer_; }
    std::string program_name(const std::string& stem) const { return stem + (windows_ ? ".exe" : ""); }

    ProcessResult run(const fs::path& program, const std::vector<std::string>& args) const {
        tb::test::ProcessSpec spec;
        spec.environment = tb::test::temp_environment(folder_ / "tmp");
        spec.working_folder = folder_;
        if (windows_) {
            spec.program = windows_build() / "wine_run.sh";
            spec.args = {program.string()};
            spec.args.insert(spec.args.end(), args.begin(), args.end());
        } else {
            spec.program = program;
            spec.args = args;
        }
        ProcessResult r = tb::test::run_process(spec);
        // Console lines end with CR LF on Windows.
        tb::test::replace_all(r.output, "\r\n", "\n");
        return r;
    }

    // The log folder a run named, as a path of this machine.
    fs::path log_folder(const ProcessResult& r) const {
        const std::string printed = tb::test::log_folder_of(r.output);
        return windows_ ? host_path_of(printed) : fs::path(printed);
    }

    // The masks of this side's folders, the longest first.
    tb::test::MaskRules rules(const ProcessResult& r) const {
        std::string log = tb::test::log_folder_of(r.output);
        std::string folder = folder_.string();
        tb::test::MaskRules m;
        for (char& c : log)
            if (c == '\\') c = '/';
        m.names.push_back({log, "<log>"});
        m.names.push_back({"Z:" + folder, "<folder>"});
        m.names.push_back({folder, "<folder>"});
        m.names.push_back({"Z:/", "/"});
        return m;
    }

private:
    std::string name_;
    fs::path folder_;
    fs::path player_, packer_;
    bool windows_;
};

std::vector<std::string> file_names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class WindowsParity : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path win = windows_build();
        std::string missing;
        if (!wine_on_path())
            missing = "no wine on PATH";
        else if (!fs::exists(win / "wine_run.sh") || !fs::exists(win / "tamblor.exe") ||
                 !fs::exists(win / "tools" / "tamblor-pack.exe"))
            missing = "no Windows build with its tests in " + win.string() + " (set TAMBLOR_WINDOWS_BUILD)";
        if (!missing.empty()) {
            const char* ci = std::getenv("CI");
            if (ci && std::string(ci) == "true") FAIL() << missing;
            GTEST_SKIP() << missing;
        }
        linux_.emplace("linux", root_.dir() / "linux", TAMBLOR_BINARY, TAMBLOR_PACK_BINARY, false);
        windows_.emplace("windows", root_.dir() / "windows", win / "tamblor.exe", win / "tools" / "tamblor-pack.exe",
                         true);
    }

    // Copies the files named (of the source tree) into both sides' folders.
    void give_both(const std::vector<std::string>& sources, const std::string& into = "") {
        for (const Side* side : {&*linux_, &*windows_}) {
            fs::create_directories(side->folder() / into);
            for (const auto& source : sources) {
                const fs::path from = tb::test::source_file(source);
                fs::copy_file(from, side->folder() / into / from.filename(), fs::copy_options::overwrite_existing);
            }
        }
    }

    // The same console lines and log folder files on both sides.
    void expect_same(const ProcessResult& on_linux, const ProcessResult& on_windows) {
        EXPECT_EQ(on_windows.exit_code, on_linux.exit_code) << on_windows.output;
        const auto linux_rules = linux_->rules(on_linux);
        const auto windows_rules = windows_->rules(on_windows);
        EXPECT_EQ(tb::test::masked(on_windows.output, windows_rules), tb::test::masked(on_linux.output, linux_rules));

        const fs::path linux_log = linux_->log_folder(on_linux);
        const fs::path windows_log = windows_->log_folder(on_windows);
        ASSERT_FALSE(linux_log.empty()) << on_linux.output;
        const auto names = file_names(linux_log);
        EXPECT_FALSE(names.empty()) << linux_log;
        ASSERT_EQ(file_names(windows_log), names) << windows_log;
        for (const auto& name : names) {
            const std::string a = tb::test::read_file(linux_log / name);
            const std::string b = tb::test::read_file(windows_log / name);
            if (ends_with(name, ".png")) {
                EXPECT_EQ(b.substr(0, 8), a.substr(0, 8)) << name << ": not a PNG chart on both";
            } else if (ends_with(name, ".CSV") || ends_with(name, ".csv")) {
                EXPECT_EQ(tb::test::masked_csv(b), tb::test::masked_csv(a)) << name;
            } else {
                auto lr = linux_rules;
                auto wr = windows_rules;
                lr.mask_all_numbers = wr.mask_all_numbers = ends_with(name, "_Qos.TXT");
                EXPECT_EQ(tb::test::masked(b, wr), tb::test::masked(a, lr)) << name;
            }
        }
    }

    tb::test::TempFolder root_{"tamblor-parity"};
    std::optional<Side> linux_, windows_;
};

TEST_F(WindowsParity, SampleScript) {
    give_both({"examples/sample.scpt"});
    const std::vector<std::string> args{"SCRIPT:sample.scpt"};
    expect_same(linux_->run(linux_->player(), args), windows_->run(windows_->player(), args));
}

TEST_F(WindowsParity, DiskScriptOnTheSimulatedMachine) {
    give_both({"tests/parity/disk.scpt", "tests/parity/machine.ini"});
    const std::vector<std::string> args{"--sim=machine.ini", "SCRIPT:disk.scpt"};
    const ProcessResult on_linux = linux_->run(linux_->player(), args);
    ASSERT_EQ(on_linux.exit_code, 0) << on_linux.output;
    EXPECT_NE(on_linux.output.find("READ BACK FIRST=2779077210 LAST=2779077210"), std::string::npos)
        << on_linux.output;
    expect_same(on_linux, windows_->run(windows_->player(), args));
    // The bytes read back, saved beside the program.
    EXPECT_EQ(tb::test::read_file(windows_->folder() / "roundtrip.bin"),
              tb::test::read_file(linux_->folder() / "roundtrip.bin"));
}

TEST_F(WindowsParity, PackagedPlayer) {
    give_both({"examples/sample.scpt", "examples/ScriptInfo.ini"}, "package");
    ProcessResult packed[2];
    ProcessResult listed[2];
    ProcessResult played[2];
    int i = 0;
    for (const Side* side : {&*linux_, &*windows_}) {
        const std::string player = side->program_name("player");
        packed[i] = side->run(side->packer(), {"--out", player, "--base", side->player().filename().string(), "package"});
        ASSERT_EQ(packed[i].exit_code, 0) << side->name() << "\n" << packed[i].output;
        listed[i] = side->run(side->packer(), {"--list", player});
        played[i] = side->run(side->folder() / player, {"--sim"});
        ++i;
    }
    EXPECT_EQ(tb::test::masked(listed[1].output, windows_->rules(listed[1])),
              tb::test::masked(listed[0].output, linux_->rules(listed[0])));
    EXPECT_EQ(played[0].exit_code, 0) << played[0].output;
    expect_same(played[0], played[1]);
}

}  // namespace
