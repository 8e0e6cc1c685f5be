// A window's job ending from outside and what it leaves: a failing instance
// of the program that broadcasts its stop cancels the window's job, and a
// job at debug level 1 leaves its debug archive beside the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/zip_archive.h"
#include "common/file_handle.h"
#include "platform/process_identity.h"
#include "script/sync_commands.h"
#include "tests/e2e_support.h"
#include "tests/qt/window_fixture.h"
#include "tests/scoped_environment.h"
#include "ui/datx_transform.h"

namespace tb::qtui::test {
namespace {

namespace fs = std::filesystem;

class JobEndWindow : public WindowFixture {};

// Unregisters the instance when the test ends.
struct Registered {
    Registered() { register_instance(); }
    ~Registered() { unregister_instance(); }
};

TEST_F(JobEndWindow, AnotherInstancesBroadcastStopCancelsTheJob) {
    const std::string dir = tb::test::make_temp_dir("tamblor-window-broadcast");
    const std::string ipc = "winbc" + std::to_string(current_process_id()) + "_";
    tb::test::ScopedVariable names("TAMBLOR_IPC_NAMESPACE", ipc);
    Registered registered;
    app().ui_mode = 0;
    MainWindow& w = open_window("Delay( sec:60 );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(job_started());

    // A console instance on a machine of its own that fails with the stop
    // broadcast switched on (the free word ERRSTOP).
    std::ofstream(fs::path(dir) / "machine.ini")
        << "[machine]\nfolder = " << dir << "/sim\npersist = 0\n" << kWindowDisks;
    std::ofstream(fs::path(dir) / "fail.scpt", std::ios::binary) << "NoSuchCommand();\n";
    auto environment = tb::test::settings_store_environment(dir);
    environment["TAMBLOR_IPC_NAMESPACE"] = ipc;
    environment["QT_QPA_PLATFORM"] = "";
    environment["DISPLAY"] = "";
    environment["WAYLAND_DISPLAY"] = "";
    const tb::test::ProcessResult failer = tb::test::run_tamblor(
        dir, {"--sim=machine.ini", "SCRIPT:fail.scpt", "\\\\.\\PHYSICALDRIVE1", "ERRSTOP"}, environment);
    ASSERT_TRUE(failer.exited) << failer.output;
    EXPECT_NE(failer.exit_code, 0) << failer.output;

    ASSERT_TRUE(wait_until([] { return !app().jobs[0].running.load(); }, 10000)) << "the job was not stopped";
    EXPECT_TRUE(wait_until([&] { return listed("---- Broadcast Trigger Cancel Job ----"); }, 3000));
    int row = -1;
    ASSERT_TRUE(listed("---- Broadcast Trigger Cancel Job ----", &row));
    EXPECT_EQ(w.log_model()->line(row)->colour, colour::kCyan);
    EXPECT_FALSE(finished_) << "in UI mode 0 the window stays";
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST_F(JobEndWindow, AJobAtDebugLevelOneLeavesItsDebugArchiveBesideTheProgram) {
    const std::string program_folder = tb::test::make_temp_dir("tamblor-window-program");
    app().program_path = (fs::path(program_folder) / "tamblor").string();
    app().debug_level = 1;
    app().ui_mode = 0;
    open_window("Print( Output:\"ARCHIVED LINE\" );\nExit( ErrCode:0 );\n");
    ASSERT_TRUE(job_done());
    const std::string log_folder = job_slot(0)->log_folder;
    ASSERT_FALSE(log_folder.empty());
    const fs::path datx = fs::path(program_folder) / (fs::path(log_folder).filename().string() + ".datx");
    ASSERT_TRUE(wait_until([&] { return fs::exists(datx); }, 5000)) << datx;
    EXPECT_FALSE(fs::exists(log_folder + ".zip"));

    std::string bytes;
    ASSERT_TRUE(read_file_bytes(datx.string(), bytes));
    const std::string zip_path = (fs::path(program_folder) / "back.zip").string();
    ASSERT_TRUE(write_file_bytes(zip_path, datx_decode(bytes)));
    ZipReader reader;
    ASSERT_TRUE(reader.open(zip_path)) << reader.damage();
    bool script = false, html = false;
    for (const ZipEntry& e : reader.entries()) {
        script = script || e.name == "window.scpt";
        if (e.name == "TestLog.htm") {
            std::string text;
            ASSERT_EQ(reader.read_entry(e, text), ZipStatus::Ok);
            html = text.find("ARCHIVED&nbsp;LINE") != std::string::npos;
        }
    }
    EXPECT_TRUE(script);
    EXPECT_TRUE(html);
    std::error_code ec;
    fs::remove_all(program_folder, ec);
}

TEST_F(JobEndWindow, WithoutDebugLevelOneNoArchiveIsMade) {
    const std::string program_folder = tb::test::make_temp_dir("tamblor-window-program");
    app().program_path = (fs::path(program_folder) / "tamblor").string();
    open_window("Exit( ErrCode:0 );\n");
    ASSERT_TRUE(job_done());
    wait_until([] { return false; }, 300);
    EXPECT_TRUE(fs::is_empty(program_folder));
    std::error_code ec;
    fs::remove_all(program_folder, ec);
}

}  // namespace
}  // namespace tb::qtui::test
