// A script dry-run against a failing simulated disk through the real
// binary: faults set in the machine file show in what the script reads, and
// a power loss ends the job with the disk gone while the next run on the
// same machine folder reads back exactly the durable writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e_support.h"

namespace {

namespace fs = std::filesystem;

using tb::test::read_file;

class SimFaultE2E : public ::testing::Test {
  protected:
    // Disk 1 of the machine: an NVMe disk of 1 GiB whose writes persist,
    // with the keys of `disk1`.
    void machine(const std::string& disk1) const {
        machine_.write_machine("[machine]\npersist = 1\n[disk1]\ntype = nvme\ncapacity = 1GiB\n" + disk1);
    }
    tb::test::ProcessResult run(const std::string& script) const {
        return tb::test::run_sim_script(dir_, "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\n" + script);
    }
    // The data file the run's command starting with `command` wrote.
    static std::string data_of(const tb::test::ProcessResult& r, const std::string& command) {
        const std::string tag = "Hex File : ";
        size_t at = r.output.find(command);
        at = at == std::string::npos ? at : r.output.find(tag, at);
        if (at == std::string::npos) return {};
        at += tag.size();
        return read_file(r.output.substr(at, r.output.find('\n', at) - at));
    }

    tb::test::SimMachineFolder machine_{"tamblor-fault-e2e", "[machine]\n"};
    const fs::path& dir_ = machine_.dir();
};

TEST_F(SimFaultE2E, ACorruptedRangeReadsBackWithOneChangedByteInEverySector) {
    machine("corrupt_writes = 1 @ 100-107\nfault_seed = 5\n");
    auto r = run(
        "LBAWrite( LBA:100, SectorCount:8, WritePattern:0xCAFEF00D, MarkSectorHeader:FALSE );\n"
        "LBAWrite( LBA:200, SectorCount:8, WritePattern:0xCAFEF00D, MarkSectorHeader:FALSE );\n"
        "LBARead( LBA:100, SectorCount:8 );\n"
        "LBARead( LBA:200, SectorCount:8 );\n");
    ASSERT_EQ(r.exit_code, 0) << r.output;
    const std::string corrupted = data_of(r, "LBARead(LBA:100"), intact = data_of(r, "LBARead(LBA:200");
    ASSERT_EQ(corrupted.size(), 4096u) << r.output;
    ASSERT_EQ(intact.size(), 4096u);
    EXPECT_EQ(intact.substr(0, 4), intact.substr(512, 4));  // the pattern, outside the range
    for (size_t sector = 0; sector < 8; ++sector) {
        size_t changed = 0;
        for (size_t i = sector * 512; i < sector * 512 + 512; ++i) changed += corrupted[i] != intact[i];
        EXPECT_EQ(changed, 1u) << "sector " << sector;
    }
}

TEST_F(SimFaultE2E, APowerLossEndsTheJobAndTheNextRunReadsTheDurableWrites) {
    machine("power_loss_after_writes = 3\n");
    auto lost = run(
        "LBAWrite( LBA:0, SectorCount:8, WritePattern:0x11111111, MarkSectorHeader:FALSE );\n"
        "FlushCache();\n"
        "LBAWrite( LBA:8, SectorCount:8, WritePattern:0x22222222, MarkSectorHeader:FALSE, FUA:TRUE );\n"
        "LBAWrite( LBA:16, SectorCount:8, WritePattern:0x33333333, MarkSectorHeader:FALSE );\n"
        "LBAWrite( LBA:24, SectorCount:8, WritePattern:0x44444444, MarkSectorHeader:FALSE );\n"
        "Print( Output:\"still running\" );\n");
    EXPECT_NE(lost.exit_code, 0) << lost.output;
    EXPECT_EQ(lost.output.find("still running"), std::string::npos) << lost.output;
    EXPECT_NE(lost.output.find("PHYSICALDRIVE1 is not on the system"), std::string::npos) << lost.output;

    // The same machine file: the disk is back, with what was durable.
    auto back = run("LBARead( LBA:0, SectorCount:32 );\n");
    ASSERT_EQ(back.exit_code, 0) << back.output;
    const std::string data = data_of(back, "LBARead(LBA:0");
    ASSERT_EQ(data.size(), 32u * 512) << back.output;
    EXPECT_EQ(data.substr(0, 4096), std::string(4096, '\x11'));   // flushed
    EXPECT_EQ(data.substr(4096, 4096), std::string(4096, '\x22'));  // written with FUA
    EXPECT_EQ(data.substr(8192), std::string(16 * 512, '\0'));      // cached when the power went, and never sent
}

}  // namespace
