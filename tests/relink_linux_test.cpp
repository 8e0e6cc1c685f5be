// Re-linking and rescanning on the Linux machine, over a made-up sysfs tree
// whose attribute files record what was written to them: an NVMe disk is
// re-linked by removing its PCI function and rescanning the PCI bus, a SATA
// disk by deleting its SCSI device and scanning its host again, and a rescan
// asks the PCI bus and every SCSI host to look again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/linux_discovery.h"
#include "platform/linux/linux_platform.h"

namespace {

namespace fs = std::filesystem;
using tb::linuxdisk::LinuxPlatform;
using tb::linuxdisk::SystemRoots;

// One NVMe disk (disk 0) and one SATA disk (disk 1) on two SCSI hosts' worth
// of sysfs, every writable attribute an empty file.
class RelinkSysfs : public ::testing::Test {
  protected:
    RelinkSysfs() {
        char tmpl[] = "/tmp/tamblor-relink-sysfs-XXXXXX";
        root_ = mkdtemp(tmpl);
        roots_.sys = root_ + "/sys";
        roots_.dev = root_ + "/dev";
        roots_.mountinfo = root_ + "/mountinfo";
        roots_.swaps = root_ + "/swaps";
        build();
    }
    ~RelinkSysfs() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string read(const std::string& rel) const {
        std::ifstream in(root_ + "/" + rel);
        std::string s;
        std::getline(in, s);
        return s;
    }

    static constexpr const char* kNvmeFunction = "sys/devices/pci0000:00/0000:00:04.0";
    static constexpr const char* kAhci = "sys/devices/pci0000:00/0000:00:05.0";
    SystemRoots roots_;

  private:
    void file(const std::string& rel, const std::string& text = {}) {
        fs::create_directories(fs::path(root_ + "/" + rel).parent_path());
        std::ofstream(root_ + "/" + rel) << text;
    }
    void link(const std::string& rel, const std::string& target_rel) {
        fs::create_directories(root_ + "/" + target_rel);
        const fs::path at(root_ + "/" + rel);
        fs::create_directories(at.parent_path());
        fs::create_directory_symlink(fs::relative(root_ + "/" + target_rel, at.parent_path()), at);
    }
    void block(const std::string& parent, const std::string& name, const std::string& devno) {
        const std::string b = parent + "/" + name;
        file(b + "/size", "2097152\n");
        file(b + "/queue/logical_block_size", "512\n");
        file(b + "/removable", "0\n");
        file(b + "/dev", devno + "\n");
        link("sys/block/" + name, b);
        file("dev/" + name);
    }
    void pci(const std::string& rel, const std::string& cls, const std::string& driver) {
        file(rel + "/class", cls + "\n");
        file(rel + "/vendor", "0x1b36\n");
        file(rel + "/device", "0x0010\n");
        file(rel + "/remove");
        file("sys/bus/pci/drivers/" + driver + "/bind");
        file("sys/bus/pci/drivers/" + driver + "/unbind");
        link(rel + "/driver", "sys/bus/pci/drivers/" + driver);
    }
    void build() {
        file("mountinfo");
        file("swaps", "Filename\tType\tSize\tUsed\tPriority\n");
        file("sys/bus/pci/rescan");
        const std::string n = kNvmeFunction;
        pci(n, "0x010802", "nvme");
        file(n + "/nvme/nvme0/model", "QEMU NVMe Ctrl\n");
        file(n + "/nvme/nvme0/transport", "pcie\n");
        link("sys/class/nvme/nvme0", n + "/nvme/nvme0");
        block(n + "/nvme/nvme0", "nvme0n1", "259:0");
        link(n + "/nvme/nvme0/nvme0n1/device", n + "/nvme/nvme0");
        file(n + "/nvme/nvme0/nvme0n1/nsid", "1\n");
        file("dev/nvme0");
        const std::string sd = std::string(kAhci) + "/ata1/host0/target0:0:0/0:0:0:0";
        pci(kAhci, "0x010601", "ahci");
        file(sd + "/vendor", "ATA     \n");
        file(sd + "/model", "QEMU HARDDISK   \n");
        file(sd + "/delete");
        block(sd + "/block", "sda", "8:0");
        link(sd + "/block/sda/device", sd);
        file("sys/class/scsi_host/host0/scan");
        file("sys/class/scsi_host/host1/scan");
    }

    std::string root_;
};

TEST_F(RelinkSysfs, TheTreeHoldsOneNvmeAndOneSataDisk) {
    LinuxPlatform platform(roots_);
    auto disks = platform.discover();
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0].native_path, roots_.dev + "/nvme0n1");
    EXPECT_EQ(disks[1].native_path, roots_.dev + "/sda");
}

TEST_F(RelinkSysfs, AnNvmeDiskIsRelinkedByRemovingItsPciFunctionAndRescanningTheBus) {
    LinuxPlatform platform(roots_);
    ASSERT_TRUE(platform.relink_device(0));
    EXPECT_EQ(read(std::string(kNvmeFunction) + "/remove"), "1");
    EXPECT_EQ(read("sys/bus/pci/rescan"), "1");
    EXPECT_EQ(read("sys/bus/pci/drivers/nvme/unbind"), "") << "the driver was only unbound";
}

TEST_F(RelinkSysfs, AFunctionThatCannotBeRemovedIsNotRescanned) {
    fs::remove(fs::path(roots_.sys).parent_path() / kNvmeFunction / "remove");
    LinuxPlatform platform(roots_);
    EXPECT_FALSE(platform.relink_device(0));
    EXPECT_EQ(read("sys/bus/pci/rescan"), "");
}

TEST_F(RelinkSysfs, ASataDiskIsRelinkedByDeletingAndScanningItsScsiDevice) {
    LinuxPlatform platform(roots_);
    ASSERT_TRUE(platform.relink_device(1));
    EXPECT_EQ(read(std::string(kAhci) + "/ata1/host0/target0:0:0/0:0:0:0/delete"), "1");
    EXPECT_EQ(read("sys/class/scsi_host/host0/scan"), "0 0 0");
    EXPECT_EQ(read("sys/bus/pci/rescan"), "");
}

TEST_F(RelinkSysfs, AnUnknownDiskIsNotRelinked) {
    LinuxPlatform platform(roots_);
    EXPECT_FALSE(platform.relink_device(7));
    EXPECT_EQ(read("sys/bus/pci/rescan"), "");
}

TEST_F(RelinkSysfs, ARescanAsksThePciBusAndEveryScsiHost) {
    LinuxPlatform platform(roots_);
    ASSERT_TRUE(platform.rescan_devices());
    EXPECT_EQ(read("sys/bus/pci/rescan"), "1");
    EXPECT_EQ(read("sys/class/scsi_host/host0/scan"), "- - -");
    EXPECT_EQ(read("sys/class/scsi_host/host1/scan"), "- - -");
}

TEST_F(RelinkSysfs, ARescanNobodyTakesIsRefused) {
    fs::remove(fs::path(roots_.sys) / "bus/pci/rescan");
    fs::remove_all(fs::path(roots_.sys) / "class/scsi_host");
    LinuxPlatform platform(roots_);
    EXPECT_FALSE(platform.rescan_devices());
}

}  // namespace
