// End to end on the simulated machine: SystemInfo's lines and the values
// Result reads back, for an NVMe disk on its PCIe link, a SATA disk and an
// NVMe disk behind a USB bridge.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e_support.h"

namespace {

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk0]
type = sata
model = INFO E2E SATA
serial = IES0
capacity = 8GB
volumes = C
[disk1]
type = nvme
model = INFO E2E NVME
serial = IEN1
capacity = 1GB
pci = 3:0.0
[disk2]
type = usb
bridge = asm2362
model = INFO E2E USB
serial = IEU2
capacity = 1GB
usb = 1.4
)INI";

bool has(const std::string& output, const std::string& text) { return output.find(text) != std::string::npos; }

class SystemInfoE2E : public ::testing::Test {
protected:
    tb::test::SimMachineFolder machine_{"tamblor-sysinfo-e2e", kMachine};

    tb::test::ProcessResult info_on(int disk, const std::string& more = {}) {
        return tb::test::run_sim_script(
            machine_.dir(), "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE" + std::to_string(disk) + "\" );\n" +
                                "ok = SystemInfo();\nPrint( Output:\"OK=\" + ok );\n" + more);
    }
};

TEST_F(SystemInfoE2E, MachineFactsAndTheNvmeLinkReadBack) {
    auto r = info_on(1,
                     "c = Result( KeyWord:\"CPU Count\" );\nPrint( Output:\"CPUS=\" + c );\n"
                     "m = Result( KeyWord:\"Memory MB\" );\nPrint( Output:\"MEM=\" + m );\n"
                     "s = Result( KeyWord:\"Link Speed\", CovertType:\"String\" );\nPrint( Output:\"SPEED[\" + s + \"]\" );\n"
                     "d = Result( KeyWord:\"Driver\" );\nPrint( Output:\"DRIVER[\" + d + \"]\" );\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    auto v = tb::test::printed_values(r.output);
    EXPECT_EQ(v["OK"], 1);
    EXPECT_EQ(v["CPUS"], 8);
    EXPECT_EQ(v["MEM"], 16384);
    for (const char* line : {"OS Name                   : Simulated Windows 10 Pro",
                             "BIOS Version              : SIM.1.0",
                             "Board Name                : SIM-BOARD",
                             "Disk                      : \\\\.\\PHYSICALDRIVE1",
                             "Disk Model                : INFO E2E NVME",
                             "Link                      : PCIe",
                             "Link Width                : x4",
                             "Max Link Speed            : 16.0 GT/s PCIe"})
        EXPECT_TRUE(has(r.output, line)) << line << "\n" << r.output;
    EXPECT_TRUE(has(r.output, "SPEED[16.0 GT/s PCIe]")) << r.output;
    EXPECT_TRUE(has(r.output, "DRIVER[stornvme]")) << r.output;
}

TEST_F(SystemInfoE2E, SataAndUsbDisksShowTheirLinks) {
    auto sata = info_on(0);
    EXPECT_EQ(sata.exit_code, 0) << sata.output;
    EXPECT_TRUE(has(sata.output, "Link                      : SATA")) << sata.output;
    EXPECT_TRUE(has(sata.output, "Link Speed                : 6.0 Gbps")) << sata.output;
    EXPECT_TRUE(has(sata.output, "Link Width                : -")) << sata.output;

    auto usb = info_on(2, "b = Result( KeyWord:\"Bridge\" );\nPrint( Output:\"BRIDGE[\" + b + \"]\" );\n");
    EXPECT_EQ(usb.exit_code, 0) << usb.output;
    EXPECT_TRUE(has(usb.output, "Link                      : USB")) << usb.output;
    EXPECT_TRUE(has(usb.output, "Driver                    : UASPStor")) << usb.output;
    EXPECT_TRUE(has(usb.output, "BRIDGE[")) << usb.output;
    EXPECT_TRUE(has(usb.output, "VID_174C&PID_2362)]")) << usb.output;
}

}  // namespace
