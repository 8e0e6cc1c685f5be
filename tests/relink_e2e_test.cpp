// SSDPowerReLink and ReScanDriver through the real binary on the simulated
// machine: the disk leaves and is found again, the bridges' re-link requests
// reach the disk behind them (its controller starts afresh, so an unsaved
// feature falls back), a removed disk comes back with a rescan, a disk that
// never comes back ends the wait with the time-out line, and arguments out
// of range are refused before anything happens.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/e2e_support.h"

namespace {

using tb::test::printed_values;
using tb::test::ProcessResult;

// Turns the volatile write cache off without saving it: a controller that
// is started afresh turns it on again.
const std::string kCacheOffUnsaved =
    "NVMe( IO:\"NODATA\", DataLenByte:0, OpCode:0x09, NSID:0, CDW10:0x06, CDW11:0 );\n"
    "GetFeature_WriteCache();\n";

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class RelinkE2E : public ::testing::Test {
  protected:
    // Disk 1 of the machine has the keys of `disk1`.
    ProcessResult run(const std::string& disk1, const std::string& script) const {
        machine_.write_machine("[machine]\npersist = 0\n[disk1]\ncapacity = 1GiB\n" + disk1);
        return tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n" + script);
    }

    // A re-link of disk 1 (built with `disk1`) after turning its cache off:
    // the disk is found again and its controller was started afresh.
    void expect_relinked(const std::string& disk1, const std::string& line) const {
        auto r = run(disk1, kCacheOffUnsaved +
                                "back = SSDPowerReLink( TimeoutSec:10 );\n"
                                "Print( Output:\"BACK=\" + back );\n"
                                "GetFeature_WriteCache();\n"
                                "Identify();\n");
        ASSERT_EQ(r.exit_code, 0) << r.output;
        EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Wait Disk..."), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Find Disk : \\\\.\\PHYSICALDRIVE1"), std::string::npos) << r.output;
        EXPECT_EQ(printed_values(r.output)["BACK"], 1) << r.output;
        const size_t relinked = r.output.find(line);
        EXPECT_LT(r.output.find("Device Cache Enable : 0"), relinked) << r.output;
        EXPECT_NE(r.output.find("Device Cache Enable : 1", relinked), std::string::npos)
            << "the disk's controller was not started afresh\n" << r.output;
        EXPECT_NE(r.output.find("Model Number", relinked), std::string::npos) << r.output;
    }

    tb::test::SimMachineFolder machine_{"tamblor-relink-e2e", "[machine]\n"};
    const std::filesystem::path& dir_ = machine_.dir();
};

TEST_F(RelinkE2E, APlainNvmeDiskLeavesAndIsFoundAgain) {
    expect_relinked("type = nvme\n", "PCIE ReLink Disk");
}

TEST_F(RelinkE2E, TheJmicronBridgeGetsItsRelinkRequest) {
    expect_relinked("type = usb\nbridge = jmicron\n", "JMI USB Bridge Power ReLink Disk");
}

TEST_F(RelinkE2E, TheAsmediaBridgeGetsItsRelinkRequest) {
    expect_relinked("type = usb\nbridge = asm2362\n", "ASM USB Bridge Power ReLink Disk");
}

TEST_F(RelinkE2E, TheRtl9210bBridgeIsLeftAloneAndTheDiskStillAwaited) {
    auto r = run("type = usb\nbridge = rtl9210b\n", kCacheOffUnsaved +
                                                        "back = SSDPowerReLink( TimeoutSec:5 );\n"
                                                        "Print( Output:\"BACK=\" + back );\n"
                                                        "GetFeature_WriteCache();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(r.output.find("ReLink Disk"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Find Disk : \\\\.\\PHYSICALDRIVE1"), std::string::npos) << r.output;
    EXPECT_EQ(printed_values(r.output)["BACK"], 1);
    EXPECT_EQ(count_of(r.output, "Device Cache Enable : 0"), 2u) << "the disk was reset\n" << r.output;
}

TEST_F(RelinkE2E, ADiskThatNeverComesBackEndsTheWaitWithTheTimeOutLine) {
    const auto start = std::chrono::steady_clock::now();
    auto r = run("type = nvme\nreconnect = 0\n",
                 "back = SSDPowerReLink( TimeoutSec:2 );\n"
                 "Print( Output:\"BACK=\" + back );\n");
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.exit_code, 0) << "a disk that stays away is the script's to judge\n" << r.output;
    EXPECT_NE(r.output.find("PCIE ReLink Disk"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("TimeOut, Disk Disconnect"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("Find Disk"), std::string::npos) << r.output;
    EXPECT_EQ(printed_values(r.output)["BACK"], 0) << r.output;
    EXPECT_LT(took, std::chrono::seconds(30));
}

TEST_F(RelinkE2E, ATimeOutOfZeroWaitsAsLongAsAPowerCommandCan) {
    auto r = run("type = nvme\n", "back = SSDPowerReLink( TimeoutSec:0 );\nPrint( Output:\"BACK=\" + back );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("Wait Disk Remain Timeout 65535 sec"), std::string::npos) << r.output;
    EXPECT_EQ(printed_values(r.output)["BACK"], 1) << r.output;
}

TEST_F(RelinkE2E, ArgumentsOutOfRangeAreRefusedBeforeTheDiskIsTouched) {
    for (const std::string args : {"TimeoutSec:-1", "TimeoutSec:65536", "TimeoutSec:0x100000000", "TimeoutSec:\"soon\"",
                                   "TimeoutSec:5, Port:-3", "TimeoutSec:5, Port:256"}) {
        auto r = run("type = nvme\n", "SSDPowerReLink( " + args + " );\nPrint( Output:\"AFTER=1\" );\n");
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << args << "\n" << r.output;
        EXPECT_EQ(r.output.find("PCIE ReLink Disk"), std::string::npos) << args << "\n" << r.output;
        EXPECT_EQ(r.output.find("AFTER=1"), std::string::npos) << args << "\n" << r.output;
    }
}

TEST_F(RelinkE2E, ARelinkTheMachineRefusesIsAnError) {
    // The disk is gone (removed) when the re-link is asked for.
    auto r = run("type = nvme\n",
                 "SafeRemoveNVMe();\n"
                 "SSDPowerReLink( TimeoutSec:2 );\n"
                 "Print( Output:\"AFTER=1\" );\n");
    EXPECT_EQ(r.exit_code, tb::test::script_exit(-86)) << r.output;
    EXPECT_NE(r.output.find("PCIE ReLink Disk"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("AFTER=1"), std::string::npos) << r.output;
}

TEST_F(RelinkE2E, ReScanDriverBringsBackARemovedDisk) {
    auto r = run("type = nvme\n",
                 "SafeRemoveNVMe();\n"
                 "gone = IsDiskExist();\n"
                 "Print( Output:\"GONE=\" + gone );\n"
                 "found = ReScanDriver();\n"
                 "Print( Output:\"FOUND=\" + found );\n"
                 "here = IsDiskExist();\n"
                 "Print( Output:\"HERE=\" + here );\n"
                 "Identify();\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = printed_values(r.output);
    EXPECT_EQ(v["GONE"], 0) << r.output;
    EXPECT_EQ(v["FOUND"], 1) << r.output;
    EXPECT_EQ(v["HERE"], 1) << r.output;
    EXPECT_NE(r.output.find("Model Number"), std::string::npos) << r.output;
}

TEST_F(RelinkE2E, ReScanDriverSaysWhenTheDiskStaysAway) {
    auto r = run("type = nvme\nreconnect = 0\n",
                 "SafeRemoveNVMe();\n"
                 "found = ReScanDriver();\n"
                 "Print( Output:\"FOUND=\" + found );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(printed_values(r.output)["FOUND"], 0) << r.output;
}

}  // namespace
