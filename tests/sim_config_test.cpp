// The reader of simulated machine files: every mistake is refused with the
// line and the reason, and the real binary stops instead of running another
// machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/sim/sim_config.h"
#include "tests/e2e_support.h"

namespace tb::sim {
namespace {

namespace fs = std::filesystem;

struct BadFile {
    const char* text;
    int line;            // the line the message names
    const char* reason;  // a part of the message
};

std::string refusal(const std::string& text) {
    std::string error;
    auto cfg = parse_sim_config(text, &error, "m.ini");
    if (cfg) return "accepted";
    return error;
}

void expect_refused(const BadFile& b) {
    std::string error = refusal(b.text);
    EXPECT_EQ(error.rfind("m.ini:" + std::to_string(b.line) + ": ", 0), 0u) << b.text << "\n-> " << error;
    EXPECT_NE(error.find(b.reason), std::string::npos) << b.text << "\n-> " << error;
}

TEST(SimConfigReader, BadNumbersAreRefused) {
    const BadFile cases[] = {
        {"[disk1]\ntype = nvme\nsector_size = 0\n", 3, "sector_size must be 512 or 4096"},
        {"[disk1]\nsector_size = -512\n", 2, "sector_size must be 512 or 4096"},
        {"[disk1]\nscsi_port = -1\n", 2, "scsi_port"},
        {"[disk1]\nscsi_port = 4294967297\n", 2, "scsi_port"},
        {"[disk1]\nvid = 0x1F9A1\n", 2, "vid"},
        {"[disk1]\ntemperature = 99999999999\n", 2, "temperature"},
        {"[disk1]\nfw_slots = 0\n", 2, "fw_slots"},
        {"[disk1]\nfw_slots = 9\n", 2, "fw_slots"},
        {"[disk1]\npower_cycles = 99999999999999999999999\n", 2, "power_cycles"},
        {"[disk1]\nlun = 12abc\n", 2, "lun"},
        {"[disk1]\nsignature = 0x10000\n", 2, "signature"},
        {"[disk1]\nfirmware = TOOLONGFW1\n", 2, "firmware"},
        {"[disk1]\nserial = 123456789012345678901\n", 2, "serial"},
    };
    for (const auto& b : cases) expect_refused(b);
}

TEST(SimConfigReader, SizesThatOverflowAreRefused) {
    const BadFile cases[] = {
        {"[disk1]\ncapacity = 99999999999999999999\n", 2, "capacity"},
        {"[disk1]\ncapacity = 0xFFFFFFFFFFFFFFFFF\n", 2, "capacity"},
        {"[disk1]\ncapacity = 99999999999T\n", 2, "capacity"},
        {"[disk1]\ncapacity = 18446744073709GB\n", 2, "capacity"},
        {"[disk1]\nsectors = 9999999999999999999\n", 2, "sectors"},
        {"[disk1]\ncache_size = 17179869184G\n", 2, "cache_size"},
        {"[disk1]\ncapacity = 1GiB\nvolumes = E:17179869184G\n", 3, "volumes"},
    };
    for (const auto& b : cases) expect_refused(b);
    EXPECT_FALSE(parse_size("18446744073709551616"));
    EXPECT_FALSE(parse_size("16777216T"));
    EXPECT_EQ(parse_size("16777215T"), 16777215ull << 40);
}

TEST(SimConfigReader, StructureMistakesAreRefused) {
    const BadFile cases[] = {
        {"[disk1]\ntype = nvme\n\n[disk1]\n", 4, "disk 1"},
        {"[disk1]\n[disk01]\n", 2, "disk 1"},
        {"[machine]\n[machine]\n", 2, "machine"},
        {"[disk1]\ntype = nvme\ntype = sata\n", 3, "type"},
        {"[disk1]\ncolour = red\n", 2, "unknown key colour"},
        {"[disk1]\n; fine\n[dusk2]\n", 3, "unknown section [dusk2]"},
        {"[machine]\nspeed = 3\n", 2, "unknown key speed"},
        {"type = nvme\n", 1, "section"},
        {"[disk1]\njust some words\n", 2, "key = value"},
        {"[disk1\n", 1, "section"},
        {"[disk64]\n", 1, "disk64"},
        {"[machine]\npersist = maybe\n", 2, "persist"},
    };
    for (const auto& b : cases) expect_refused(b);
}

TEST(SimConfigReader, DisksThatCannotBeBuiltAreRefused) {
    const BadFile cases[] = {
        {"[disk1]\ntype = usb\nmodel = X\n", 1, "needs a bridge"},
        {"[disk1]\ntype = sata\nbridge = asm2362\n", 3, "bridge"},
        {"[disk1]\ntype = usb\nbridge = usb-sata\ninner = nvme\n", 4, "inner"},
        {"[disk1]\ncapacity = 1GiB\nvolumes = E:2GiB\n", 3, "larger than"},
        {"[disk1]\ncapacity = 1GiB\nvolumes = E:600MiB F:600MiB\n", 3, "larger than"},
        {"[disk1]\ncapacity = 1GiB\nvolumes = E:1023MiB F\n", 3, "no room"},
        {"[disk1]\nvolumes = E:1GiB:2GiB\n", 2, "free"},
        {"[disk1]\nvolumes = E E\n", 2, "E:"},
        {"[disk1]\nvolumes = E\n[disk2]\nvolumes = E\n", 4, "E:"},
        {"[disk1]\nvolumes = E:1GiB:1MiB:sideways\n", 2, "volumes"},
        {"[disk1]\nvolumes = B\n", 2, "volumes"},
    };
    for (const auto& b : cases) expect_refused(b);
}

TEST(SimConfigReader, GoodFilesStillRead) {
    std::string error;
    auto cfg = parse_sim_config(
        "\xEF\xBB\xBF; a comment\r\n[Machine]\r\nPersist = 0 ; inline\r\n[disk 2]\r\ntype = usb\r\nbridge = "
        "usb-sata\r\ninner = sata\r\nvolumes = E:1GiB F\r\ncapacity = 4GB\r\n# another comment\r\n",
        &error, "m.ini");
    ASSERT_TRUE(cfg) << error;
    EXPECT_FALSE(cfg->persist);
    ASSERT_EQ(cfg->disks.size(), 1u);
    EXPECT_EQ(cfg->disks[0].number, 2u);
    EXPECT_EQ(cfg->disks[0].inner(), InnerKind::Ata);
    ASSERT_EQ(cfg->disks[0].volumes.size(), 2u);
    EXPECT_GT(cfg->disks[0].volumes[1].total_bytes, 0u);
    EXPECT_TRUE(parse_sim_config(default_sim_config_text(), &error)) << error;
}

TEST(SimConfigReader, LoadNamesTheFile) {
    std::string error;
    EXPECT_FALSE(load_sim_config("/nonexistent/machine.ini", &error));
    EXPECT_NE(error.find("/nonexistent/machine.ini"), std::string::npos) << error;
}

// ---- the real binary ------------------------------------------------------

class SimConfigE2E : public ::testing::Test {
  protected:
    tb::test::ProcessResult run(const std::string& machine) {
        std::ofstream(dir_ / "machine.ini", std::ios::trunc) << machine;
        return tb::test::run_sim_script(dir_, "Print(Output:\"script ran\");\r\n");
    }
    tb::test::TempFolder folder_{"tamblor-simcfg"};
    const fs::path& dir_ = folder_.dir();
};

TEST_F(SimConfigE2E, ABadMachineFileStopsTheRun) {
    const BadFile cases[] = {
        {"[machine]\npersist = 0\n[disk1]\ntype = nvme\nsector_size = 0\n", 5, "sector_size must be 512 or 4096"},
        {"[disk1]\ntype = usb\n", 1, "needs a bridge"},
        {"[disk1]\ncapacity = 99999999999999999999\n", 2, "capacity"},
        {"[disk1]\n[disk1]\n", 2, "disk 1"},
        {"[disk1]\ncolour = red\n", 2, "unknown key colour"},
        {"[disk1]\ncapacity = 1GiB\nvolumes = E:2GiB\n", 3, "larger than"},
        {"[disk1]\nfile = /nonexistent-folder/disk1.img\n", 2, "/nonexistent-folder/disk1.img"},
    };
    for (const auto& b : cases) {
        auto r = run(b.text);
        EXPECT_EQ(r.exit_code, tb::test::script_exit(-2)) << b.text << r.output;  // a bad argument
        EXPECT_NE(r.output.find("machine.ini:" + std::to_string(b.line) + ": "), std::string::npos)
            << b.text << r.output;
        EXPECT_NE(r.output.find(b.reason), std::string::npos) << b.text << r.output;
        EXPECT_EQ(r.output.find("script ran"), std::string::npos) << b.text << r.output;
    }
}

TEST_F(SimConfigE2E, AGoodMachineFileRuns) {
    auto r = run("[machine]\nfolder = " + (dir_ / "sim").string() + "\n[disk1]\ntype = nvme\ncapacity = 1GiB\n");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.output.find("script ran"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace tb::sim
