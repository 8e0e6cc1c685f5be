// End to end: the real binary cuts and restores the power of simulated
// disks: through the simulated machine's power hub (on COM3, port 1 feeding
// every disk not behind a switching bridge), through its USB relay, and
// through the power requests of the ASMedia and JMicron bridges.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/system_settings.h"
#include "power/hub_settings.h"
#include "tests/e2e_support.h"
#include "tests/scoped_environment.h"

using tb::test::ProcessResult;
using tb::test::script_exit;

namespace {

// Disk 1 NVMe (hub port 1 by default), disk 2 behind an ASM2362 bridge,
// disk 3 behind a JMicron bridge.
const std::string kDisks = R"INI([disk0]
type = sata
model = POWER E2E SYSTEM
serial = PES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = POWER E2E NVME
serial = PEN1
capacity = 4GB
pci = 3:0.0
write_cache = 1
[disk2]
type = usb
bridge = asm2362
model = POWER E2E ASM
serial = PEA2
capacity = 2GB
usb = 1.1
[disk3]
type = usb
bridge = jmicron
model = POWER E2E JMI
serial = PEJ3
capacity = 2GB
usb = 1.2
)INI";

// The disks with disk 1 fed as `feed` says.
std::string disk1_fed_by(const std::string& feed) {
    std::string disks = kDisks;
    disks.insert(disks.find("write_cache = 1\n"), "power = " + feed + "\n");
    return disks;
}

const std::string kNvme = "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n";
const std::string kHub = "SetPowerHub( COMPort:\"COM3\" );\n";

// Power cycles (SMART / health log bytes 112-119) and unsafe shutdowns
// (144-151) of the NVMe disk as <P>PC and <P>US.
std::string nvme_power_counters(const std::string& prefix) {
    return "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );\n"
           "pc = ResultHex( ByteStart:112, Len:8, HexParse:\"Num\" );\n"
           "us = ResultHex( ByteStart:144, Len:8, HexParse:\"Num\" );\n"
           "Print( Output:\"" + prefix + "PC=\" + pc + \" " + prefix + "US=\" + us );\n";
}

// Prints EXIST_<tag>=1 or 0: whether the current disk answers.
std::string existence(const std::string& tag) {
    return "e = IsDiskExist();\nPrint( Output:\"EXIST_" + tag + "=\" + e );\n";
}

// The first four bytes of a sector as <NAME>.
std::string sector_value(uint64_t lba, const std::string& name) {
    return "LBARead( LBA:" + std::to_string(lba) + ", SectorCount:1 );\n"
           "v = ResultHex( ByteStart:0, Len:4, HexParse:\"Num\" );\nPrint( Output:\"" + name + "=\" + v );\n";
}

ProcessResult run_power_script(const std::filesystem::path& dir, const std::string& script) {
    std::ofstream(dir / "t.scpt", std::ios::binary | std::ios::trunc) << script;
    auto environment = tb::test::settings_store_environment(dir);
    environment["TAMBLOR_IPC_NAMESPACE"] = "power-e2e-" + dir.filename().string();
    return tb::test::run_tamblor(dir, {"--sim=machine.ini", "SCRIPT:t.scpt"}, environment);
}

class SsdPowerE2E : public ::testing::Test {
protected:
    SsdPowerE2E() : machine_("tamblor-power-e2e", "[machine]\npersist = 1\n" + kDisks) {}

    // Runs on the machine with a namespace of its own for the instances'
    // objects, so that the hub lock is not shared with tests running beside.
    ProcessResult run(const std::string& script) { return run_power_script(machine_.dir(), script); }
    // The hub kind of the runs' settings store.
    void set_hub_kind(int kind) {
        const auto env = tb::test::settings_store_environment(machine_.dir());
        tb::test::ScopedVariable file("TAMBLOR_SETTINGS_FILE", env.at("TAMBLOR_SETTINGS_FILE"));
        tb::test::ScopedVariable key("TAMBLOR_SETTINGS_KEY", env.at("TAMBLOR_SETTINGS_KEY"));
        ASSERT_TRUE(tb::set_system_value(tb::kHubSettingsKey, tb::kHubKindValue, static_cast<uint32_t>(kind)));
    }
    static bool has(const ProcessResult& r, const std::string& text) {
        return r.output.find(text) != std::string::npos;
    }

    tb::test::SimMachineFolder machine_;
};

TEST_F(SsdPowerE2E, HubPowerCutLosesUnflushedWritesCountsTheCycleAndTheDiskIsFoundAgain) {
    ProcessResult r = run(kNvme + kHub + nvme_power_counters("A") +
                          "LBAWrite( LBA:0, SectorCount:8, WritePattern:0x5A5A5A5A, MarkSectorHeader:FALSE );\n"
                          "FlushCache();\n"
                          "LBAWrite( LBA:100, SectorCount:8, WritePattern:0x55667788, MarkSectorHeader:FALSE );\n" +
                          existence("BEFORE") + "SSDPowerOff();\n" + existence("OFF") +
                          "SSDPowerOn( TimeoutSec:0 );\nPrint( Output:\"FOUND=\" + SSDPowerOn );\n" +
                          existence("ON") + sector_value(0, "FLUSHED") + sector_value(100, "UNFLUSHED") +
                          nvme_power_counters("B"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_EQ(v["EXIST_BEFORE"], 1);
    EXPECT_EQ(v["EXIST_OFF"], 0) << "the hub did not cut the disk's power";
    EXPECT_EQ(v["EXIST_ON"], 1);
    EXPECT_EQ(v["FOUND"], 1);
    EXPECT_EQ(v["FLUSHED"], 0x5A5A5A5A);
    EXPECT_EQ(v["UNFLUSHED"], 0) << "a write still in the cache survived the power cut";
    EXPECT_EQ(v["BPC"], v["APC"] + 1);
    EXPECT_EQ(v["BUS"], v["AUS"] + 1);
    EXPECT_TRUE(has(r, "Relay PowerOff"));
    EXPECT_TRUE(has(r, "Relay PowerON"));
    EXPECT_TRUE(has(r, "Find Disk"));
    EXPECT_TRUE(has(r, "Wait Disk Remain Timeout 65535 sec")) << "a time-out of 0 is the longest wait";
}

TEST_F(SsdPowerE2E, WithoutAHubOrWithBadArgumentsNothingIsSwitched) {
    struct Case {
        std::string script;
        int exit;
    };
    const Case cases[] = {
        {kNvme + "SSDPowerOff();\n", script_exit(-72)},
        {kNvme + "SSDPowerOn();\n", script_exit(-72)},
        {"RelayPowerOn();\n", script_exit(-72)},
        {"RelayPowerOff( DelayRunSec:1 );\n", script_exit(-72)},
        {"IsRelayPowerOn();\n", script_exit(-72)},
        {kNvme + "SetPowerHub( COMPort:\"COM4\" );\nSSDPowerOff();\n", script_exit(-72)},  // no such port
        {"SetPowerHub( COMPort:USB1 );\n", script_exit(-2)},
        {"SetPowerHub( COMPort:\"\" );\n", script_exit(-2)},
        {kNvme + kHub + "SSDPowerOff( DelayRunSec:-1 );\n", script_exit(-2)},
        {kNvme + kHub + "SSDPowerOff( DelayRunSec:4294967297 );\n", script_exit(-2)},  // not wrapped to 1
        {kNvme + kHub + "SSDPowerOn( TimeoutSec:-5 );\n", script_exit(-2)},
        {kNvme + kHub + "SSDPowerOff( Port:256 );\n", script_exit(-2)},
        {kHub + "RelayPowerOff( DelayRunSec:70000 );\n", script_exit(-2)},
    };
    for (const Case& c : cases) {
        ProcessResult r = run(c.script + existence("AFTER"));
        EXPECT_EQ(r.exit_code, c.exit) << c.script << r.output;
        EXPECT_FALSE(has(r, "Relay PowerOff")) << c.script;
    }
    // The disk was never switched off.
    ProcessResult check = run(kNvme + existence("NOW"));
    EXPECT_EQ(tb::test::printed_values(check.output)["EXIST_NOW"], 1);
}

TEST_F(SsdPowerE2E, DelayedPowerOffReturnsAtOnceAndCutsThePowerWhenTheCountEnds) {
    const auto start = std::chrono::steady_clock::now();
    ProcessResult r = run(kNvme + kHub + "SSDPowerOff( DelayRunSec:2 );\n" + existence("AT_ONCE") +
                          "Delay( sec:4 );\n" + existence("LATER"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_EQ(v["EXIST_AT_ONCE"], 1) << "the command waited for the power-off";
    EXPECT_EQ(v["EXIST_LATER"], 0) << "the power was not cut after the delay";
    EXPECT_TRUE(has(r, "Wait 2 Sec for SSD PowerOff..."));
    EXPECT_TRUE(has(r, "Relay PowerOff"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(SsdPowerE2E, AJobEndingWithinTheDelaySwitchesNothing) {
    ProcessResult first = run(kNvme + nvme_power_counters("A") + kHub + "SSDPowerOff( DelayRunSec:2 );\n" +
                              "RelayPowerOff( DelayRunSec:2 );\n");
    ASSERT_EQ(first.exit_code, 0) << first.output;
    EXPECT_TRUE(has(first, "Wait 2 Sec for SSD PowerOff..."));
    EXPECT_FALSE(has(first, "Relay PowerOff\n")) << first.output;
    EXPECT_FALSE(has(first, "Relay Power Off")) << first.output;
    // The disk's own record of unsafe shutdowns shows no cut.
    ProcessResult second = run(kNvme + nvme_power_counters("B"));
    auto a = tb::test::printed_values(first.output);
    auto b = tb::test::printed_values(second.output);
    EXPECT_EQ(b["BUS"], a["AUS"]);
    EXPECT_EQ(b["BPC"], a["APC"]);
}

TEST_F(SsdPowerE2E, BridgedDisksArePoweredByTheirBridgeWithoutAHub) {
    for (const char* disk : {"2", "3"}) {
        const bool asmedia = std::string(disk) == "2";
        ProcessResult r = run("ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::string(disk) + "\" );\n" +
                              existence("BEFORE") + "SSDPowerOff();\n" + existence("OFF") +
                              "SSDPowerOn( TimeoutSec:10 );\nPrint( Output:\"FOUND=\" + SSDPowerOn );\n" +
                              existence("ON"));
        ASSERT_EQ(r.exit_code, 0) << r.output;
        auto v = tb::test::printed_values(r.output);
        EXPECT_EQ(v["EXIST_BEFORE"], 1) << disk;
        EXPECT_EQ(v["EXIST_OFF"], 0) << disk;
        EXPECT_EQ(v["EXIST_ON"], 1) << disk;
        EXPECT_EQ(v["FOUND"], 1) << disk;
        EXPECT_TRUE(has(r, asmedia ? "ASM USB Bridge PowerOff Disk" : "JMI USB Bridge PowerOff Disk")) << r.output;
        EXPECT_TRUE(has(r, asmedia ? "ASM USB Bridge PowerON Disk" : "JMI USB Bridge PowerON Disk")) << r.output;
        EXPECT_FALSE(has(r, "Relay PowerOff")) << r.output;
    }
}

TEST_F(SsdPowerE2E, TheDiskNotBackInTimeEndsWithTheRedLineAndNoError) {
    // The hub switches port 1 on again, but the disk hangs on port 2 which stays off.
    machine_.write_machine("[machine]\npersist = 1\n[hub]\nkind = 2\n" + disk1_fed_by("hub:2"));
    set_hub_kind(2);
    ProcessResult r = run(kNvme + kHub + "RelayPowerOff( DelayRunSec:0, Port:2 );\n" +
                          "SSDPowerOn( TimeoutSec:1, Port:1 );\nPrint( Output:\"FOUND=\" + SSDPowerOn );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_EQ(tb::test::printed_values(r.output)["FOUND"], 0);
    EXPECT_TRUE(has(r, "PowerOn - TimeOut, Disk Disconnect or MotherBoard Not Support ReConnect PCIE."));
}

TEST_F(SsdPowerE2E, AFramedHubSwitchesOnlyThePortItIsTold) {
    machine_.write_machine("[machine]\npersist = 1\n[hub]\nport = COM5\nkind = 2\n" + disk1_fed_by("hub:2"));
    set_hub_kind(2);
    ProcessResult r = run(kNvme + "SetPowerHub( COMPort:\"com5\" );\n" + "RelayPowerOff( DelayRunSec:0, Port:1 );\n" +
                          existence("PORT1_OFF") + "IsRelayPowerOn( Port:2 );\nPrint( Output:\"STATE2=\" + IsRelayPowerOn );\n" +
                          "RelayPowerOff( 0, 2 );\n" + existence("PORT2_OFF") +
                          "IsRelayPowerOn( Port:2 );\nPrint( Output:\"STATE2OFF=\" + IsRelayPowerOn );\n" +
                          "RelayPowerOn( Port:2 );\nDelay( sec:1 );\n" + existence("PORT2_ON"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_EQ(v["EXIST_PORT1_OFF"], 1);
    EXPECT_EQ(v["STATE2"], 1);
    EXPECT_EQ(v["EXIST_PORT2_OFF"], 0);
    EXPECT_EQ(v["STATE2OFF"], 0);
    EXPECT_EQ(v["EXIST_PORT2_ON"], 1);
}

TEST_F(SsdPowerE2E, TheSimulatedRelayFeedsItsDisksAsAKind4Hub) {
    machine_.write_machine("[machine]\npersist = 1\n[relay]\nserial = COM7\n" + disk1_fed_by("relay"));
    set_hub_kind(4);
    ProcessResult r = run(kNvme + "IsRelayExisted();\nPrint( Output:\"RELAYS=\" + IsRelayExisted );\n" +
                          "SetPowerHub( COMPort:\"COM7\" );\nSSDPowerOff();\n" + existence("OFF") +
                          "IsRelayPowerOn();\nPrint( Output:\"STATE=\" + IsRelayPowerOn );\n" +
                          "SSDPowerOn( TimeoutSec:10 );\n" + existence("ON"));
    ASSERT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_EQ(v["RELAYS"], 1);
    EXPECT_EQ(v["EXIST_OFF"], 0);
    EXPECT_EQ(v["STATE"], 0);
    EXPECT_EQ(v["EXIST_ON"], 1);
}

}  // namespace
