// End to end: a disk whose identity says it cannot deallocate (the
// simulated machine's `trim = 0`: NVMe ONCS bit 2 and ATA IDENTIFY word 169
// bit 0 clear) refuses the compare commands whose action table asks for
// trims, before any map is made or any request is sent; the same commands
// without trims, or on a disk with trim, run.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"
#include "tests/shell_run.h"

namespace {

// Disk 0 holds a volume; disks 1 (NVMe) and 2 (SATA) are raw and cannot
// trim; disk 3 is a raw NVMe disk that can.
constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = TRIM E2E SYSTEM
serial = TES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = TRIM E2E NVME NOTRIM
serial = TEN1
capacity = 1GB
pci = 3:0.0
trim = 0
[disk2]
type = sata
model = TRIM E2E SATA NOTRIM
serial = TES2
capacity = 1GB
trim = 0
[disk3]
type = nvme
model = TRIM E2E NVME
serial = TEN3
capacity = 1GB
pci = 4:0.0
)INI";

std::string change_to(int disk) {
    return "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(disk) + "\" );\n";
}

class TrimSupportE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-trim-e2e", kMachine};

    auto run(const std::string& script) { return tb::test::run_sim_script(machine_.dir(), script); }

    // Refused with -2 and the reason.
    static bool refused(const std::string& output) {
        return output.find("[Error Code]:  0xFFFFFFFE\n") != std::string::npos &&
               output.find("[Error Desc]:  Parameters not match spec or over limit. Disk not Support Trim\n") !=
                   std::string::npos;
    }
};

TEST_F(TrimSupportE2E, CommandsThatAskForTrimsAreRefusedOnADiskWithoutTrim) {
    const char* calls[] = {
        "Compare_MapMake( LBA:0, RangeLenMB:1, LimitTxSizeMB:1, TrimRatio:100 );\n",
        "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1, TrimRatio:100 );\n",
        "Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:1, TrimRatio:1 );\n",
    };
    for (int disk : {1, 2}) {
        for (const char* call : calls) {
            auto r = run(change_to(disk) + call + "Print( Output:\"AFTER\" );\n");
            EXPECT_NE(r.exit_code, 0) << disk << ": " << call << r.output;
            EXPECT_TRUE(refused(r.output)) << disk << ": " << call << r.output;
            EXPECT_EQ(r.output.find("AFTER"), std::string::npos) << r.output;
            // Refused before anything was made or written.
            EXPECT_EQ(r.output.find("LBA Map File"), std::string::npos) << r.output;
            EXPECT_EQ(r.output.find("Compare Result"), std::string::npos) << r.output;
        }
    }
}

TEST_F(TrimSupportE2E, AppendingTrimsToAMapIsRefusedOnADiskWithoutTrim) {
    auto r = run(change_to(1) +
                 "m = Compare_MapMake( LBA:0, RangeLenMB:1, LimitTxSizeMB:1 );\n"
                 "Print( Output:\"MADE\" );\n"
                 "Compare_MapAppend( LBAMap:m, LBA:2048, RangeLenMB:1, LimitTxSizeMB:1, TrimRatio:10 );\n");
    EXPECT_NE(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("MADE"), std::string::npos) << r.output;
    EXPECT_TRUE(refused(r.output)) << r.output;
}

TEST_F(TrimSupportE2E, WithoutTrimsOrOnADiskWithTrimTheCommandsRun) {
    auto r = run(change_to(1) +
                 "Compare_MapMake( LBA:0, RangeLenMB:1, LimitTxSizeMB:1 );\n"
                 "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1 );\n" +
                 change_to(3) +
                 "Compare_MapMake( LBA:0, RangeLenMB:1, LimitTxSizeMB:1, TrimRatio:100 );\n"
                 "Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:128, QD:1, TrimRatio:100 );\n"
                 "Print( Output:\"AFTER\" );\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_FALSE(refused(r.output)) << r.output;
    EXPECT_NE(r.output.find("AFTER"), std::string::npos) << r.output;
}

}  // namespace
