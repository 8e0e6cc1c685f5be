// End-to-end: a player packaged by tamblor-pack runs the script it carries
// with no other file present, serves the console requests, returns the
// script's exit code and leaves no work folder behind but the job's log folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e_support.h"

namespace fs = std::filesystem;

namespace {

using RunResult = tb::test::ProcessResult;
using tb::test::write_crlf;

class PackagedPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root_ / "run");
        fs::create_directories(root_ / "tmp");
    }
    // Packs `folder` into root/run/<name> (with this system's program suffix)
    // and returns its path.
    fs::path pack(const fs::path& folder, const std::string& name, const std::string& extra = "") {
        const fs::path out = root_ / "run" / tb::test::program_file_name(name);
        tb::test::ProcessSpec spec;
        spec.program = TAMBLOR_PACK_BINARY;
        spec.args = {"--out", out.string(), "--base", TAMBLOR_BINARY};
        if (!extra.empty()) spec.args.push_back(extra);
        spec.args.push_back(folder.string());
        RunResult r = tb::test::run_process(spec);
        EXPECT_EQ(r.exit_code, 0) << r.output;
        return out;
    }
    // Runs a packaged player from its own folder with a private temporary folder.
    RunResult start(const fs::path& player, const std::string& arg = "") {
        tb::test::ProcessSpec spec;
        spec.program = player;
        spec.args = {"--sim"};
        if (!arg.empty()) spec.args.push_back(arg);
        spec.environment = tb::test::temp_environment(root_ / "tmp");
        spec.working_folder = root_ / "run";
        return tb::test::run_process(spec);
    }
    tb::test::TempFolder folder_{"tamblor-pkg"};
    const fs::path& root_ = folder_.dir();
};

TEST_F(PackagedPlayer, SampleRunsFromThePackageAlone) {
    const fs::path player = pack(tb::test::source_file("examples"), "sample");
    RunResult r = start(player);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("##### SCRIPT LOG"), std::string::npos) << r.output;
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
    // The log folder it names is kept when the work folder is removed.
    const size_t at = r.output.find("##### SCRIPT LOG ") + 17;
    const std::string log_folder = r.output.substr(at, r.output.find('\n', at) - at);
    EXPECT_TRUE(fs::exists(fs::path(log_folder) / "TestLog.htm")) << log_folder;
    // The run folder holds only the player.
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "run"), fs::directory_iterator()), 1);
}

TEST_F(PackagedPlayer, VersionAndHelpAreServedWithoutARun) {
    fs::path src = root_ / "src";
    fs::create_directories(src);
    write_crlf(src / "check.scpt", "Print( LeftAlign:FALSE, Output:\"SHOULD-NOT-RUN\" );\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Line Check\nStyle=30\n");
    write_crlf(src / "help.txt", "Usage of the line check on [DISK]\n*second paragraph\n");
    const fs::path player = pack(src, "check");

    RunResult ver = start(player, "--ver");
    EXPECT_EQ(ver.exit_code, 0);
    EXPECT_EQ(ver.output, "Line Check " + std::string(50, ' ') + "\n");

    RunResult help = start(player, "--help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.output.find("Usage of the line check on \\\\.\\PhysicalDrive1"), std::string::npos) << help.output;
    // A line that begins with '*' starts with a carriage return instead.
    EXPECT_NE(help.output.find("second paragraph"), std::string::npos) << help.output;
    EXPECT_EQ(help.output.find("*second"), std::string::npos) << help.output;
    EXPECT_EQ(help.output.find("SHOULD-NOT-RUN"), std::string::npos);
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

TEST_F(PackagedPlayer, ExitCodeIsTheScriptsAndQzHeadersWorkAlike) {
    fs::path src = root_ / "src";
    fs::create_directories(src / "data");
    write_crlf(src / "main.scpt",
               "v = GetINIData( File:\"data\\\\cfg.ini\", Section:\"A\", Item:\"code\" );\n"
               "Exit( ErrCode:v );\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Exit Check\nStyle=30\n");
    write_crlf(src / "data" / "cfg.ini", "[A]\ncode=7\n");
    for (const char* variant : {"", "--qz"}) {
        const fs::path player = pack(src, std::string("exit") + (*variant ? "-qz" : ""), variant);
        RunResult r = start(player);
        EXPECT_EQ(r.exit_code, 7) << variant << "\n" << r.output;
    }
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

TEST_F(PackagedPlayer, TwoStartsInOneSecondGetTheirOwnWorkFolders) {
    fs::path src = root_ / "src";
    fs::create_directories(src);
    write_crlf(src / "where.scpt", "f = GetLogFolder( JobPath:FALSE, ShowResult:TRUE );\nDelay( sec:1 );\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Where\nStyle=30\n");
    const fs::path player = pack(src, "where");
    RunResult a, b;
    std::thread ta([&] { a = start(player); });
    std::thread tb([&] { b = start(player); });
    ta.join();
    tb.join();
    ASSERT_EQ(a.exit_code, 0) << a.output;
    ASSERT_EQ(b.exit_code, 0) << b.output;
    auto folder = [](const std::string& out) {
        size_t p = out.find("TamblorLite");
        return p == std::string::npos ? std::string() : out.substr(p, out.find('\n', p) - p);
    };
    EXPECT_FALSE(folder(a.output).empty()) << a.output;
    EXPECT_NE(folder(a.output), folder(b.output));
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

TEST_F(PackagedPlayer, MapMadeByAPackagedRunOutlivesItsWorkFolder) {
    fs::path src = root_ / "mapkeep";
    fs::create_directories(src);
    write_crlf(src / "mk.scpt",
               "m = Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:\"CYCLE\" );\n"
               "Print( LeftAlign:FALSE, Output:\"MAP=\" + m );\n");
    write_crlf(src / "ScriptInfo.ini", "[SCRIPTINFO]\nTITLE=Map Keep\nStyle=30\nModelName=**\n");
    RunResult r = start(pack(src, "mapkeep"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const size_t at = r.output.find("MAP=");
    ASSERT_NE(at, std::string::npos) << r.output;
    const std::string map = r.output.substr(at + 4, r.output.find('\n', at) - at - 4);
    // A later run of the same script compares against this map.
    EXPECT_TRUE(fs::exists(map)) << map;
    EXPECT_EQ(tb::test::leftover_work_folders(root_ / "tmp"), 0u);
}

}  // namespace
