// End to end: the power-loss example script on the simulated machine. Every
// cycle must cut the power in the middle of the map's play, find the disk
// again and pass the compare: only writes that were not flushed may be lost.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/e2e_support.h"

namespace {

constexpr const char* kMachine = R"INI([machine]
persist = 0
[disk1]
type = nvme
model = POWER LOSS EXAMPLE NVME
serial = PLX1
capacity = 4GB
pci = 3:0.0
write_cache = 1
)INI";

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SsdPowerExampleE2E, PowerLossScriptCutsEveryCycleMidPlayAndPasses) {
    tb::test::SimMachineFolder machine("tamblor-power-loss-e2e", kMachine);
    const std::string script = tb::test::read_file(tb::test::source_file("examples/power_loss/power_loss.scpt"));
    ASSERT_FALSE(script.empty());
    std::ofstream(machine.dir() / "t.scpt", std::ios::binary)
        << "ChangeDisk( PhysicalName:\"\\\\.\\PHYSICALDRIVE1\" );\r\n" + script;
    // The instances' objects (the hub lock among them) in a namespace of the test's own.
    auto environment = tb::test::settings_store_environment(machine.dir());
    environment["TAMBLOR_IPC_NAMESPACE"] = "power-loss-e2e-" + machine.dir().filename().string();
    tb::test::ProcessResult r =
        tb::test::run_tamblor(machine.dir(), {"--sim=machine.ini", "SCRIPT:t.scpt"}, environment);
    ASSERT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("==== Power-loss test PASSED ===="), std::string::npos) << r.output;
    EXPECT_EQ(occurrences(r.output, "Relay PowerOff"), 3u) << r.output;
    EXPECT_EQ(occurrences(r.output, "Find Disk"), 3u) << r.output;
    // The cut came while the map was still being written, every time.
    EXPECT_EQ(occurrences(r.output, "Write IO Fail"), 3u) << r.output;
    EXPECT_NE(r.output.find("Lost durable sectors             : 0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Miscompared sectors              : 0"), std::string::npos) << r.output;
}

}  // namespace
