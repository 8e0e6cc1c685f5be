// The real program: with a display (Qt's offscreen platform) a run is a
// window run, which starts the job for its command-line target by itself and
// ends with the job's exit code; without one it is the console run it always was.
#include <gtest/gtest.h>

#include "tests/e2e_support.h"

namespace tb::test {
namespace {

const char kMachine[] =
    "[disk0]\ntype = sata\nmodel = E2E SYSTEM SATA\nserial = ESYS0001\nfirmware = ES1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = E2E WINDOW NVMe\nserial = ENVME0001\nfirmware = EN1\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

const char kScript[] = "Print( Output:\"E2E_WINDOW_LINE\" );\nExit( ErrCode:3 );\n";

class WindowRunE2e : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = make_temp_dir("tamblor-window-e2e");
        std::ofstream(std::filesystem::path(dir_) / "machine.ini")
            << "[machine]\nfolder = " << dir_ << "/sim\npersist = 0\n" << kMachine;
        std::ofstream(std::filesystem::path(dir_) / "t.scpt", std::ios::binary) << kScript;
    }
    ProcessResult run(const std::map<std::string, std::string>& display, const std::vector<std::string>& more = {}) {
        std::map<std::string, std::string> environment = settings_store_environment(dir_);
        for (const auto& [name, value] : display) environment[name] = value;
        std::vector<std::string> args{"--sim=machine.ini", "SCRIPT:t.scpt", "\\\\.\\PHYSICALDRIVE1"};
        args.insert(args.end(), more.begin(), more.end());
        return run_tamblor(dir_, args, environment);
    }
    // The text of every TestLog.htm the runs wrote.
    std::string html_logs() {
        std::string all;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_))
            if (entry.path().filename() == "TestLog.htm") all += read_file(entry.path());
        return all;
    }
    std::string dir_;
};

TEST_F(WindowRunE2e, WithADisplayTheWindowRunsTheJobForTheTarget) {
    // UI:2 is UI mode 3: the window closes by itself and shows no message box.
    const ProcessResult r =
        run({{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, {"UI:2"});
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, script_exit(3)) << r.output;
    // A window run shows its lines in the window, not on the console.
    EXPECT_EQ(r.output.find("E2E_WINDOW_LINE"), std::string::npos) << r.output;
    // The job ran: its log has the line.
    EXPECT_NE(html_logs().find("E2E_WINDOW_LINE"), std::string::npos);
}

TEST_F(WindowRunE2e, WithoutADisplayTheRunStaysOnTheConsole) {
    const ProcessResult r = run({{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, script_exit(3)) << r.output;
    EXPECT_NE(r.output.find("E2E_WINDOW_LINE"), std::string::npos) << r.output;
}

TEST_F(WindowRunE2e, AWindowRunWithATargetThatMatchesNothingFails) {
    std::ofstream(std::filesystem::path(dir_) / "t.scpt", std::ios::binary | std::ios::trunc) << "Exit( ErrCode:0 );\n";
    const ProcessResult r = run_tamblor(dir_, {"--sim=machine.ini", "SCRIPT:t.scpt", "\\\\.\\PHYSICALDRIVE7", "UI:2"},
                                        [&] {
                                            auto e = settings_store_environment(dir_);
                                            e["QT_QPA_PLATFORM"] = "offscreen";
                                            return e;
                                        }());
    ASSERT_TRUE(r.exited) << r.output;
    EXPECT_EQ(r.exit_code, script_exit(-1)) << r.output;
}

}  // namespace
}  // namespace tb::test
