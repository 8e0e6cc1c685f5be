// End to end: the external tools of ExtCmd.ini and Exec through the real
// binary on the simulated machine, with small shell-script tools that write
// the result files: what reaches the log, the -255 of an "Err" line after
// every line, a background run that outlives its job, a cancelled job ending
// the tool's whole process group, the disk-state checks, and command lines
// whose shell metacharacters reach exactly the named program.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

namespace fs = std::filesystem;

using tb::test::read_file;
using tb::test::script_exit;

constexpr const char* kRawMachine = "[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 64MiB\n";

constexpr const char* kExtCmd =
    "; the test's tools\n"
    "[Writer]\nEXE_PATH=tools/writer.sh\nPARAMETER=%Output%\n"
    "[Probe]\nEXE_PATH=tools/probe.sh\n"
    "[MetaProbe]\nEXE_PATH=tools/probe.sh\nPARAMETER=x;touch pwned & y\n"
    "[Silent]\nEXE_PATH=tools/silent.sh\n"
    "[ErrTool]\nEXE_PATH=tools/err.sh\n"
    "[Slow]\nEXE_PATH=tools/slow.sh\n"
    "[Hang]\nEXE_PATH=tools/hang.sh\n"
    "[PartTool]\nEXE_PATH=tools/silent.sh\nSUPPORTMODE=PARTITION\n"
    "[RawTool]\nEXE_PATH=tools/silent.sh\nSUPPORTMODE=RAW\n"
    "[Gone]\nEXE_PATH=tools/gone.sh\n";

class ExtToolE2E : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_ / "tools");
        std::ofstream(dir_ / "ExtCmd.ini", std::ios::binary) << kExtCmd;
        tool("writer.sh",
             "stem=\"$1\"\n"
             "printf '[Result]\\nITEM0=Read Speed 100\\nITEM1=Write Speed 90[LINK]detail.htm\\n' > \"$stem.INI\"\n"
             "printf 'first text line\\n\\nlast text line\\n' > \"$stem.TXT\"\n"
             "printf '<Result>\\n  <Score>1234</Score>\\n  <Name>disk</Name>\\n</Result>\\n' > \"$stem.XML\"\n"
             "echo said on stdout\n");
        tool("probe.sh", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0.args\"\n");
        tool("silent.sh", "exit 0\n");
        tool("err.sh",
             "printf '[Result]\\nITEM0=all good\\nITEM1=Err 7 found\\nITEM2=after the error\\n' > \"$1.INI\"\n");
        tool("slow.sh", "sleep 7\nprintf '[Result]\\nITEM0=late result\\n' > \"$1.INI\"\n");
        tool("hang.sh", "sleep 60 &\necho $! > \"$1\"\nwait\n");
    }
    void tool(const std::string& name, const std::string& body) const {
        const fs::path p = dir_ / "tools" / name;
        std::ofstream(p, std::ios::binary) << "#!/bin/sh\n" << body;
        fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
    tb::test::ShellResult run(const std::string& script) {
        tb::test::ShellResult r =
            tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\n" + script);
        log_ = tb::test::log_folder_of(r.output);
        return r;
    }
    static size_t at(const tb::test::ShellResult& r, const std::string& text) { return r.output.find(text); }
    static bool has(const tb::test::ShellResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    tb::test::SimMachineFolder machine_{"tamblor-exttool-e2e", kRawMachine};
    const fs::path dir_ = machine_.dir();
    std::string log_;
};

TEST_F(ExtToolE2E, ResultFilesOfAToolAreFoldedIntoTheLog) {
    tb::test::ShellResult r = run("Writer( Parameter:\"%Output%\", WaitClose:TRUE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Writer(")) << r.output;
    EXPECT_TRUE(has(r, "Read Speed 100")) << r.output;
    EXPECT_TRUE(has(r, "Write Speed 90")) << r.output;
    EXPECT_FALSE(has(r, "detail.htm")) << r.output;  // the link is not shown
    EXPECT_TRUE(has(r, "first text line")) << r.output;
    EXPECT_TRUE(has(r, "last text line")) << r.output;
    EXPECT_TRUE(has(r, "Score" + std::string(55, ' ') + " : 1234")) << r.output;
    EXPECT_TRUE(has(r, "Elapsed Time(ms): ")) << r.output;
    EXPECT_TRUE(has(r, "Elapsed Time    : ")) << r.output;
    EXPECT_LT(at(r, "Read Speed 100"), at(r, "first text line"));
    EXPECT_LT(at(r, "first text line"), at(r, "Score"));
    // What the tool printed is kept in the log folder beside its results.
    ASSERT_FALSE(log_.empty()) << r.output;
    const auto outs = tb::test::files_ending(log_, ".out");
    ASSERT_EQ(outs.size(), 1u) << log_;
    EXPECT_EQ(read_file(outs[0]), "said on stdout\n");
    EXPECT_EQ(tb::test::files_ending(log_, ".INI").size(), 1u);
}

TEST_F(ExtToolE2E, PlaceholdersBecomeWholeArgumentsOfTheProgram) {
    tb::test::ShellResult r = run(
        "Probe( Parameter:\"%Disk% %DiskId% %CdiId% '%Scpdir%' %xVolume%x %Unknown% 'two words' a|b&c\", "
        "WaitClose:TRUE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_FALSE(has(r, "Elapsed Time")) << r.output;  // no result files
    EXPECT_EQ(read_file(dir_ / "tools" / "probe.sh.args"),
              "[\\\\.\\PHYSICALDRIVE0]\n[0]\n[0]\n[" + dir_.string() +
                  "]\n[x]\n[%Unknown%]\n[two words]\n[a|b&c]\n");
}

TEST_F(ExtToolE2E, AToolThatWritesNothingLogsNoElapsedTime) {
    tb::test::ShellResult r = run("Silent( Parameter:\"\", WaitClose:TRUE );\nPrint( Output:\"DONE=1\" );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "DONE=1")) << r.output;
    EXPECT_FALSE(has(r, "Elapsed Time")) << r.output;
}

TEST_F(ExtToolE2E, AnErrLineFailsWith255AfterEveryLineIsLogged) {
    tb::test::ShellResult r = run("ErrTool( Parameter:\"%Output%\", WaitClose:TRUE );\nPrint( Output:\"NOT=1\" );\n");
    EXPECT_EQ(r.exit_code, script_exit(-255)) << r.output;
    EXPECT_TRUE(has(r, "all good")) << r.output;
    EXPECT_TRUE(has(r, "Err 7 found")) << r.output;
    ASSERT_TRUE(has(r, "after the error")) << r.output;
    ASSERT_TRUE(has(r, "Elapsed Time    : ")) << r.output;
    EXPECT_LT(at(r, "after the error"), at(r, "Elapsed Time    : "));
    EXPECT_LT(at(r, "Elapsed Time    : "), r.output.find("-255", at(r, "Elapsed Time    : "))) << r.output;
    EXPECT_FALSE(has(r, "NOT=1")) << r.output;
}

TEST_F(ExtToolE2E, ABackgroundRunFinishesAfterItsJobEnded) {
    const auto start = std::chrono::steady_clock::now();
    tb::test::ShellResult r = run("Slow( Parameter:\"%Output%\", WaitClose:FALSE );\n"
                                  "r = IsSlowRunning();\nPrint( Output:\"RUNNING=\" + r );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(7));
    EXPECT_TRUE(has(r, "RUNNING=1")) << r.output;
    ASSERT_TRUE(has(r, ">>>> late result")) << r.output;
    EXPECT_TRUE(has(r, ">>>> Elapsed Time    : ")) << r.output;
    // The job's end came first; the tool's lines follow it.
    EXPECT_LT(at(r, "##### SCRIPT LOG"), at(r, ">>>> late result")) << r.output;
    // The HTML log, closed at the job's end, was opened again for them.
    ASSERT_FALSE(log_.empty()) << r.output;
    const std::string html = read_file(fs::path(log_) / "TestLog.htm");
    const size_t late = html.find("&gt;&gt;&gt;&gt;&nbsp;late&nbsp;result");
    ASSERT_NE(late, std::string::npos) << html;
    EXPECT_NE(html.find("&gt;&gt;&gt;&gt;&nbsp;Elapsed&nbsp;Time", late), std::string::npos) << html;
    EXPECT_LT(html.find("SCRIPT&nbsp;LOG"), late) << html;
}

TEST_F(ExtToolE2E, TheRunningCheckIsFalseWithoutTheProgram) {
    tb::test::ShellResult r = run("r = IsSilentRunning();\nPrint( Output:\"RUNNING=\" + r );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "RUNNING=0")) << r.output;
}

TEST_F(ExtToolE2E, ACancelledJobEndsTheToolsWholeGroupWithinTwoSeconds) {
    std::ofstream(dir_ / "t.scpt", std::ios::binary)
        << "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE0\" );\nHang( Parameter:\"" << (dir_ / "pid.txt").string()
        << "\", WaitClose:TRUE );\n";
    const std::string d = dir_.string();
    tb::test::ShellResult r = tb::test::run_shell(
        "cd '" + d + "' && TMPDIR='" + d + "' TAMBLOR_SETTINGS_FILE='" + d + "/settings.ini' '" + TAMBLOR_BINARY +
        "' --sim=machine.ini SCRIPT:t.scpt > out.txt 2>&1 & T=$!; "
        "for i in $(seq 100); do [ -s '" + d + "/pid.txt' ] && break; sleep 0.1; done; "
        "G=$(cat '" + d + "/pid.txt'); kill -TERM $T; s=$(date +%s%N); "
        "alive() { [ -e /proc/$1 ] && ! grep -q ') Z' /proc/$1/stat; }; "
        "while alive $G && [ $(( ($(date +%s%N) - s) / 1000000 )) -lt 5000 ]; do sleep 0.05; done; "
        "echo GONE_MS=$(( ($(date +%s%N) - s) / 1000000 )); alive $G && kill -9 $G; wait $T; echo EXIT=$?");
    const auto values = tb::test::printed_values(r.output);
    ASSERT_TRUE(values.count("GONE_MS")) << r.output << read_file(dir_ / "out.txt");
    EXPECT_LT(values.at("GONE_MS"), 2000) << r.output << read_file(dir_ / "out.txt");
    EXPECT_NE(values.at("EXIT"), 0) << r.output;
}

TEST_F(ExtToolE2E, DiskStateChecksAndAbsentPrograms) {
    tb::test::ShellResult part = run("PartTool( Parameter:\"\", WaitClose:TRUE );\n");
    EXPECT_EQ(part.exit_code, script_exit(-24)) << part.output;
    EXPECT_TRUE(has(part, "Use ChangeDisk() or Partition_Create() then try again.")) << part.output;
    tb::test::ShellResult raw = run("RawTool( Parameter:\"\", WaitClose:TRUE );\nPrint( Output:\"RAW=1\" );\n");
    EXPECT_EQ(raw.exit_code, 0) << raw.output;
    EXPECT_TRUE(has(raw, "RAW=1")) << raw.output;
    // A section whose program is absent is no command at all.
    tb::test::ShellResult gone = run("Gone( Parameter:\"\", WaitClose:TRUE );\n");
    EXPECT_EQ(gone.exit_code, script_exit(-16)) << gone.output;
}

TEST_F(ExtToolE2E, ARawToolRefusesAPartitionedDisk) {
    machine_.write_machine("[machine]\npersist = 0\n[disk0]\ntype = nvme\ncapacity = 256MiB\nvolumes = D:64MiB:32MiB\n");
    tb::test::ShellResult r = run("RawTool( Parameter:\"\", WaitClose:TRUE );\n");
    EXPECT_EQ(r.exit_code, script_exit(-20)) << r.output;
    EXPECT_TRUE(has(r, "Use ChangeDisk() or Partition_Delete() then try again.")) << r.output;
}

TEST_F(ExtToolE2E, ExecRunsExactlyTheNamedProgramWhateverTheLineHolds) {
    tb::test::ShellResult r = run(
        "e = Exec( AssignFolder:\"" + (dir_ / "tools").string() +
        "\", CmdLine:\"./probe.sh a|touch pwned |x $(id) `id` >y && %Disk%\", ResultFile:\"\", WaitClose:TRUE );\n"
        "Print( Output:\"EXEC=\" + e );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Work Folder : " + (dir_ / "tools").string())) << r.output;
    EXPECT_TRUE(has(r, "EXEC=0")) << r.output;
    EXPECT_EQ(read_file(dir_ / "tools" / "probe.sh.args"),
              "[a|touch]\n[pwned]\n[|x]\n[$(id)]\n[`id`]\n[>y]\n[&&]\n[\\\\.\\PHYSICALDRIVE0]\n");
    EXPECT_FALSE(fs::exists(dir_ / "tools" / "pwned"));
    EXPECT_FALSE(fs::exists(dir_ / "tools" / "y"));
}

TEST_F(ExtToolE2E, AToolsParametersWithMetacharactersReachOnlyTheTool) {
    tb::test::ShellResult r = run("MetaProbe( WaitClose:TRUE );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(read_file(dir_ / "tools" / "probe.sh.args"), "[x;touch]\n[pwned]\n[&]\n[y]\n");
    EXPECT_FALSE(fs::exists(dir_ / "tools" / "pwned"));
}

TEST_F(ExtToolE2E, ExecLogsTheResultFileAndGivesTheExitCode) {
    tool("res.sh", "printf 'line one\\nline two\\n' > res.txt\nexit 3\n");
    tb::test::ShellResult r = run("e = Exec( AssignFolder:\"" + (dir_ / "tools").string() +
                                  "\", CmdLine:\"res.sh\", ResultFile:\"res.txt\", WaitClose:FALSE );\n"
                                  "Print( Output:\"EXEC=\" + e );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "Result : line one")) << r.output;
    EXPECT_TRUE(has(r, "Result : line two")) << r.output;
    EXPECT_TRUE(has(r, "EXEC=3")) << r.output;
}

TEST_F(ExtToolE2E, ExecWithoutWaitingReturnsAfterThreeSeconds) {
    const auto start = std::chrono::steady_clock::now();
    tb::test::ShellResult r = run("e = Exec( AssignFolder:\"" + (dir_ / "tools").string() +
                                  "\", CmdLine:\"slow.sh\", ResultFile:\"\", WaitClose:FALSE );\n"
                                  "Print( Output:\"EXEC=\" + e );\n");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has(r, "EXEC=0")) << r.output;
    EXPECT_GE(took, std::chrono::milliseconds(2900));
    EXPECT_LT(took, std::chrono::milliseconds(6500));
}

TEST_F(ExtToolE2E, ExecOfAProgramThatCannotStartFails) {
    tb::test::ShellResult r = run("Exec( CmdLine:\"./no-such-program\", ResultFile:\"\", WaitClose:TRUE );\n");
    EXPECT_EQ(r.exit_code, script_exit(-11)) << r.output;
    EXPECT_TRUE(has(r, "no-such-program")) << r.output;
}

}  // namespace
