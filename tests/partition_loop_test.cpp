// The Linux partition backend against the system's own tools, on a loop
// device over a sparse file in a temporary folder (never a disk of this
// machine): libfdisk's table as sfdisk dumps it, the file systems as blkid
// finds them at the partition's offset, and the table gone after deleting.
// The simulated machine's own table bytes are checked by sfdisk as well.
// Needs root and util-linux, e2fsprogs and ntfs-3g; skipped without them,
// failed instead under CI=true.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "files/partition_report.h"
#include "platform/linux/linux_partition_table.h"
#include "platform/partition_on_disk.h"
#include "platform/partition_types.h"
#include "tests/shell_run.h"
#include "tests/temp_dir.h"

namespace {

using tb::test::run_shell;

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

// A loop device over a sparse file of its own; detached with the object.
class LoopDisk {
public:
    LoopDisk(const std::filesystem::path& folder, uint64_t bytes) : image_((folder / "disk.img").string()) {
        std::ofstream(image_, std::ios::binary).close();
        std::filesystem::resize_file(image_, bytes);
        tb::test::ShellResult attach = run_shell("losetup -fP --show " + shell_quoted(image_));
        if (attach.exit_code == 0) device_ = attach.output.substr(0, attach.output.find('\n'));
        else problem_ = attach.output;
    }
    ~LoopDisk() {
        if (!device_.empty()) run_shell("losetup -d " + device_);
    }
    const std::string& device() const { return device_; }
    const std::string& image() const { return image_; }
    const std::string& problem() const { return problem_; }

private:
    std::string image_;
    std::string device_;
    std::string problem_;
};

std::string missing_tools() {
    if (::geteuid() != 0) return "loop devices need root";
    for (const char* tool : {"losetup", "sfdisk", "blkid", "mkfs.ext4", "mkfs.ntfs"})
        if (run_shell(std::string("command -v ") + tool).exit_code != 0) return std::string(tool) + " is missing";
    return {};
}

// "start=        2048, size=       65536, type=83" of sfdisk --dump.
struct DumpedPartition {
    uint64_t start = 0, size = 0;
    std::string type;
};

bool dumped_partition(const std::string& dump, DumpedPartition& out) {
    static const std::regex line(R"(start=\s*(\d+), size=\s*(\d+), type=([0-9A-Fa-f-]+))");
    std::smatch m;
    if (!std::regex_search(dump, m, line)) return false;
    out.start = std::stoull(m[1]);
    out.size = std::stoull(m[2]);
    out.type = m[3];
    for (char& c : out.type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (out.type.size() == 1) out.type = "0" + out.type;  // MBR types are dumped without a leading zero
    return true;
}

std::string report_value(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& l : lines) {
        const size_t colon = l.find(':');
        std::string k = l.substr(0, colon);
        while (!k.empty() && k.back() == ' ') k.pop_back();
        if (k == key) return l.substr(colon + 2);
    }
    return {};
}

class PartitionLoop : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = missing_tools();
        if (!missing.empty()) {
            const char* ci = std::getenv("CI");
            if (ci && std::string(ci) == "true") FAIL() << missing;
            GTEST_SKIP() << missing;
        }
        disk_ = std::make_unique<LoopDisk>(folder_.dir(), 256ull << 20);
        ASSERT_FALSE(disk_->device().empty()) << disk_->problem();
    }

    // Makes a table and file system, checks them against sfdisk and blkid.
    void check_made(tb::PartitionScheme scheme, const std::string& fs, uint64_t size_mb) {
        const std::string& dev = disk_->device();
        tb::NewPartition request;
        request.scheme = scheme;
        request.size_bytes = size_mb << 20;
        request.file_system = fs;
        request.label = "TBLOOP";
        uint32_t number = 0;
        std::string error;
        ASSERT_TRUE(tb::linuxdisk::create_partition_table(dev, request, number, error)) << error;
        ASSERT_EQ(number, 1u);
        ASSERT_TRUE(tb::linuxdisk::format_partition(dev, number, request, error)) << error;

        tb::PartitionLayout layout;
        ASSERT_TRUE(tb::linuxdisk::read_partition_layout(dev, layout, error)) << error;
        const std::vector<std::string> lines = tb::partition_report_lines(dev, layout);
        const tb::test::ShellResult dump = run_shell("sfdisk --dump " + dev);
        ASSERT_EQ(dump.exit_code, 0) << dump.output;
        EXPECT_NE(dump.output.find(scheme == tb::PartitionScheme::Gpt ? "label: gpt" : "label: dos"), std::string::npos)
            << dump.output;
        DumpedPartition p;
        ASSERT_TRUE(dumped_partition(dump.output, p)) << dump.output;
        EXPECT_EQ(report_value(lines, "Partition Style"), scheme == tb::PartitionScheme::Gpt ? "GPT" : "MBR");
        EXPECT_EQ(report_value(lines, "Partition Count"), "1");
        EXPECT_EQ(report_value(lines, "Partition1 Start LBA"), std::to_string(p.start));
        EXPECT_EQ(report_value(lines, "Partition1 Sectors"), std::to_string(p.size));
        EXPECT_EQ(report_value(lines, "Partition1 Size MB"), std::to_string(size_mb));
        EXPECT_EQ(report_value(lines, "Partition1 Type Code"), p.type);
        EXPECT_EQ(p.type, tb::partition_type_for(fs, scheme));

        // The file system as blkid finds it at the partition's start.
        const tb::test::ShellResult probe =
            run_shell("blkid -p -O " + std::to_string(p.start * 512) + " -o value -s TYPE " + dev);
        std::string type = probe.output.substr(0, probe.output.find('\n'));
        for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(type, fs) << probe.output;
        EXPECT_EQ(report_value(lines, "Partition1 File System"), fs);
        const tb::test::ShellResult label =
            run_shell("blkid -p -O " + std::to_string(p.start * 512) + " -o value -s LABEL " + dev);
        EXPECT_EQ(label.output.substr(0, label.output.find('\n')), "TBLOOP");
    }

    void check_deleted() {
        const std::string& dev = disk_->device();
        std::string error;
        ASSERT_TRUE(tb::linuxdisk::remove_partition_table(dev, error)) << error;
        tb::PartitionLayout layout;
        ASSERT_TRUE(tb::linuxdisk::read_partition_layout(dev, layout, error)) << error;
        EXPECT_EQ(layout.scheme, tb::PartitionScheme::None);
        EXPECT_TRUE(layout.partitions.empty());
        const tb::test::ShellResult dump = run_shell("sfdisk --dump " + dev);
        EXPECT_EQ(dump.output.find("label:"), std::string::npos) << dump.output;
        const tb::test::ShellResult pt = run_shell("blkid -p -o value -s PTTYPE " + dev);
        EXPECT_EQ(pt.output.find("gpt"), std::string::npos) << pt.output;
        EXPECT_EQ(pt.output.find("dos"), std::string::npos) << pt.output;
    }

    tb::test::TempFolder folder_{"tamblor-partition-loop"};
    std::unique_ptr<LoopDisk> disk_;
};

TEST_F(PartitionLoop, GptWithExt4AgreesWithSfdiskAndBlkid) {
    check_made(tb::PartitionScheme::Gpt, "EXT4", 128);
    check_deleted();
}

TEST_F(PartitionLoop, MbrWithNtfsAgreesWithSfdiskAndBlkid) {
    check_made(tb::PartitionScheme::Mbr, "NTFS", 200);
    check_deleted();
}

TEST_F(PartitionLoop, AWholeDiskPartitionFillsTheDisk) {
    const std::string& dev = disk_->device();
    tb::NewPartition request;
    request.scheme = tb::PartitionScheme::Gpt;
    uint32_t number = 0;
    std::string error;
    ASSERT_TRUE(tb::linuxdisk::create_partition_table(dev, request, number, error)) << error;
    tb::PartitionLayout layout;
    ASSERT_TRUE(tb::linuxdisk::read_partition_layout(dev, layout, error)) << error;
    ASSERT_EQ(layout.partitions.size(), 1u);
    EXPECT_EQ(layout.disk_sectors, (256ull << 20) / 512);
    EXPECT_EQ(layout.partitions[0].start_sector, 2048u);
    EXPECT_GE(layout.partitions[0].start_sector + layout.partitions[0].sector_count, layout.disk_sectors - 34 - 2048);
    EXPECT_EQ(layout.partitions[0].file_system, "");
}

// The simulated machine's table bytes, written into an image, read by sfdisk.
TEST_F(PartitionLoop, TheSimulatedMachinesTablesAreWhatSfdiskReads) {
    for (tb::PartitionScheme scheme : {tb::PartitionScheme::Gpt, tb::PartitionScheme::Mbr}) {
        const std::string image = (folder_.dir() / "sim.img").string();
        std::ofstream(image, std::ios::binary | std::ios::trunc).close();
        std::filesystem::resize_file(image, 64ull << 20);
        tb::TablePlan plan;
        plan.scheme = scheme;
        plan.disk_sectors = (64ull << 20) / 512;
        plan.size_bytes = 40ull << 20;
        plan.type_code = tb::partition_type_for("EXT4", scheme);
        plan.disk_id.fill(0x5A);
        plan.partition_id.fill(0x77);
        std::vector<tb::SectorRun> runs;
        tb::PartitionEntry made;
        std::string error;
        ASSERT_TRUE(tb::build_table(plan, runs, made, error)) << error;
        {
            std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
            for (const tb::SectorRun& r : runs) {
                f.seekp(static_cast<std::streamoff>(r.lba * 512));
                f.write(reinterpret_cast<const char*>(r.bytes.data()), static_cast<std::streamsize>(r.bytes.size()));
            }
        }
        const tb::test::ShellResult verify = run_shell("sfdisk --verify " + shell_quoted(image));
        EXPECT_EQ(verify.exit_code, 0) << verify.output;
        const tb::test::ShellResult dump = run_shell("sfdisk --dump " + shell_quoted(image));
        ASSERT_EQ(dump.exit_code, 0) << dump.output;
        DumpedPartition p;
        ASSERT_TRUE(dumped_partition(dump.output, p)) << dump.output;
        EXPECT_EQ(p.start, 2048u);
        EXPECT_EQ(p.size, 81920u);
        EXPECT_EQ(p.type, plan.type_code);
        if (scheme == tb::PartitionScheme::Gpt) {
            EXPECT_NE(dump.output.find("label-id: 5A5A5A5A-5A5A-5A5A-5A5A-5A5A5A5A5A5A"), std::string::npos) << dump.output;
            EXPECT_NE(dump.output.find("uuid=77777777-7777-7777-7777-777777777777"), std::string::npos) << dump.output;
        } else {
            EXPECT_NE(dump.output.find("label-id: 0x5a5a5a5a"), std::string::npos) << dump.output;
        }
        // And the libfdisk reader agrees with the simulated machine's reader.
        tb::PartitionLayout mine;
        ASSERT_TRUE(tb::linuxdisk::read_partition_layout(image, mine, error)) << error;
        ASSERT_EQ(mine.partitions.size(), 1u);
        EXPECT_EQ(mine.partitions[0].start_sector, made.start_sector);
        EXPECT_EQ(mine.partitions[0].sector_count, made.sector_count);
    }
}

}  // namespace
