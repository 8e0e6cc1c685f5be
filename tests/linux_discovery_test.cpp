// Linux disk discovery on a made-up sysfs tree: an NVMe controller with and
// without native multipath, two SATA ports of one AHCI controller, a USB
// disk, software the disks must skip, and mounts including one through
// device-mapper.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/linux_discovery.h"
#include "platform/linux/linux_platform.h"

namespace fs = std::filesystem;
using namespace tb;
using namespace tb::linuxdisk;

namespace {

class FakeMachine {
public:
    FakeMachine() {
        char tmpl[] = "/tmp/tamblor-sysfs-XXXXXX";
        root_ = mkdtemp(tmpl);
        roots_.sys = root_ + "/sys";
        roots_.dev = root_ + "/dev";
        roots_.mountinfo = root_ + "/mountinfo";
        roots_.swaps = root_ + "/swaps";
        build();
    }
    ~FakeMachine() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const SystemRoots& roots() const { return roots_; }
    std::string path(const std::string& rel) const { return root_ + "/" + rel; }
    std::string read(const std::string& rel) const {
        std::ifstream in(path(rel));
        std::string s;
        std::getline(in, s);
        return s;
    }

private:
    void file(const std::string& rel, const std::string& text) {
        fs::create_directories(fs::path(path(rel)).parent_path());
        std::ofstream(path(rel)) << text << "\n";
    }
    void dir(const std::string& rel) { fs::create_directories(path(rel)); }
    // A relative symlink, as sysfs has them.
    void link(const std::string& rel, const std::string& target_rel) {
        dir(target_rel);
        fs::create_directories(fs::path(path(rel)).parent_path());
        fs::create_directory_symlink(fs::relative(path(target_rel), fs::path(path(rel)).parent_path()), path(rel));
    }
    void block(const std::string& dir_rel, const std::string& name, uint64_t sectors, const std::string& devno,
               bool removable = false) {
        std::string b = dir_rel + "/" + name;
        file(b + "/size", std::to_string(sectors));
        file(b + "/queue/logical_block_size", "512");
        file(b + "/removable", removable ? "1" : "0");
        file(b + "/dev", devno);
        link("sys/block/" + name, b);
        file("dev/" + name, "");
    }
    void partition(const std::string& disk_rel, const std::string& name, int number, uint64_t start,
                   const std::string& devno) {
        std::string p = disk_rel + "/" + name;
        file(p + "/partition", std::to_string(number));
        file(p + "/start", std::to_string(start));
        file(p + "/dev", devno);
    }
    void pci(const std::string& rel, const std::string& cls, const std::string& vendor, const std::string& device,
             const std::string& driver) {
        file(rel + "/class", cls);
        file(rel + "/vendor", vendor);
        file(rel + "/device", device);
        file(rel + "/remove", "");
        file("sys/bus/pci/drivers/" + driver + "/bind", "");
        file("sys/bus/pci/drivers/" + driver + "/unbind", "");
        link(rel + "/driver", "sys/bus/pci/drivers/" + driver);
    }

    void build() {
        const std::string pci0 = "sys/devices/pci0000:00";
        // NVMe without multipath: the namespace's parent is the controller.
        const std::string n0 = pci0 + "/0000:00:04.0";
        pci(n0, "0x010802", "0x1b36", "0x0010", "nvme");
        file(n0 + "/nvme/nvme0/model", "QEMU NVMe Ctrl                          ");
        file(n0 + "/nvme/nvme0/transport", "pcie");
        link("sys/class/nvme/nvme0", n0 + "/nvme/nvme0");
        block(n0 + "/nvme/nvme0", "nvme0n1", 524288, "259:0");
        link(n0 + "/nvme/nvme0/nvme0n1/device", n0 + "/nvme/nvme0");
        file(n0 + "/nvme/nvme0/nvme0n1/nsid", "1");
        partition(n0 + "/nvme/nvme0/nvme0n1", "nvme0n1p1", 1, 2048, "259:1");
        partition(n0 + "/nvme/nvme0/nvme0n1", "nvme0n1p2", 2, 1050625, "259:2");
        file("dev/nvme0", "");
        // NVMe with native multipath: the namespace hangs off the subsystem,
        // whose number need not be the controller's.
        const std::string n1 = "sys/devices/pci0000:00/0000:00:1c.0/0000:02:00.0";
        pci(n1, "0x010802", "0x144d", "0xa808", "nvme");
        file(n1 + "/nvme/nvme2/transport", "pcie");
        file(n1 + "/nvme/nvme2/model", "Samsung SSD 970");
        dir(n1 + "/nvme/nvme2/nvme2c2n1");
        link("sys/class/nvme/nvme2", n1 + "/nvme/nvme2");
        const std::string subsys = "sys/devices/virtual/nvme-subsystem/nvme-subsys1";
        file(subsys + "/model", "Samsung SSD 970 EVO");
        block(subsys, "nvme1n1", 1000215216, "259:5");
        link(subsys + "/nvme1n1/device", subsys);
        link(subsys + "/nvme1n1/multipath/nvme2c2n1", n1 + "/nvme/nvme2/nvme2c2n1");
        link(subsys + "/nvme2", n1 + "/nvme/nvme2");
        // Two SATA ports of one AHCI controller.
        const std::string ahci = pci0 + "/0000:00:05.0";
        pci(ahci, "0x010601", "0x8086", "0x2922", "ahci");
        file("sys/module/ahci/version", "3.0");
        link("sys/bus/pci/drivers/ahci/module", "sys/module/ahci");
        for (int port : {1, 2}) {
            std::string h = std::to_string(port - 1);
            std::string sd = ahci + "/ata" + std::to_string(port) + "/host" + h + "/target" + h + ":0:0/" + h + ":0:0:0";
            file(sd + "/vendor", "ATA     ");
            file(sd + "/model", port == 1 ? "QEMU HARDDISK   " : "WDC WD10EZEX");
            file(sd + "/delete", "");
            dir(sd + "/scsi_generic/sg" + h);
            std::string name = port == 1 ? "sda" : "sdb";
            block(sd + "/block", name, 2097152, port == 1 ? "8:0" : "8:16");
            link(sd + "/block/" + name + "/device", sd);
            partition(sd + "/block/" + name, name + "1", 1, 2048, port == 1 ? "8:1" : "8:17");
            file("sys/class/scsi_host/host" + h + "/scan", "");
            if (port == 2) {  // IDENTIFY words as libata shows them: model "WDC WD10EZEX-08WN4A0"
                std::string id;
                for (int w = 0; w < 27; ++w) id += "0000 ";
                id += "5744 4320 5744 3130 455a 4558 2d30 3857 4e34 4130";
                for (int w = 37; w < 256; ++w) id += w % 8 ? " 2020" : "\n2020";
                file(ahci + "/ata2/link2/dev2.0/ata_device/dev2.0/id", id);
            }
        }
        // A USB disk on root-hub port 3 of the first root bus.
        const std::string xhci = pci0 + "/0000:00:06.0";
        pci(xhci, "0x0c0330", "0x1b36", "0x000d", "xhci_hcd");
        link("sys/bus/usb/devices/usb1", xhci + "/usb1");
        link("sys/bus/usb/devices/usb2", xhci + "/usb2");
        const std::string usbdev = xhci + "/usb1/1-3";
        file(usbdev + "/manufacturer", "QEMU");
        file(usbdev + "/product", "QEMU USB HARDDRIVE");
        file(usbdev + "/authorized", "1");
        file(usbdev + "/remove", "");
        link(usbdev + "/1-3:1.0/driver", "sys/bus/usb/drivers/usb-storage");
        const std::string usd = usbdev + "/1-3:1.0/host2/target2:0:0/2:0:0:0";
        file(usd + "/vendor", "QEMU    ");
        file(usd + "/model", "QEMU HARDDISK");
        block(usd + "/block", "sdc", 262144, "8:32", true);
        link(usd + "/block/sdc/device", usd);
        file("sys/class/scsi_host/host2/scan", "");
        // Block devices that are not disks of their own; loop0 is attached to nothing.
        for (std::string v : {"loop0", "zram0", "dm-0", "md0", "sr0", "ram0"}) block("sys/devices/virtual/block", v, 8, "7:0");
        // Loop devices attached to files: a writable one is a disk, a
        // read-only one (a packaged image) is not.
        for (std::string v : {"loop10", "loop2"}) {
            block("sys/devices/virtual/block", v, 131072, v == "loop2" ? "7:2" : "7:10");
            file("sys/devices/virtual/block/" + v + "/loop/backing_file", "/srv/images/" + v + ".img");
            file("sys/devices/virtual/block/" + v + "/ro", v == "loop2" ? "1" : "0");
        }
        block("sys/devices/virtual/block", "loop3", 262144, "7:3");
        file("sys/devices/virtual/block/loop3/loop/backing_file", "/srv/images/loop3.img");
        file("sys/devices/virtual/block/loop3/ro", "0");
        link("sys/dev/block/253:0", "sys/devices/virtual/block/dm-0");
        link("sys/devices/virtual/block/dm-0/slaves/sdb1", ahci + "/ata2/host1/target1:0:0/1:0:0:0/block/sdb/sdb1");

        dir("mnt/my data");
        dir("mnt/lvm");
        file("mountinfo",
             "22 27 0:21 / /proc rw,relatime shared:12 - proc proc rw\n"
             "27 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
             "29 27 259:2 /srv /srv rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
             "31 27 8:1 / " + root_ + "/mnt/my\\040data rw,relatime shared:5 master:1 - ext4 /dev/sda1 rw\n"
             "32 27 253:0 / " + root_ + "/mnt/lvm rw - xfs /dev/mapper/vg-data rw\n"
             "garbage line\n");
    }

    std::string root_;
    SystemRoots roots_;
};

// One tree for the suite: building it is the slow part.
class LinuxFakeSysfs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { machine = new FakeMachine; }
    static void TearDownTestSuite() {
        delete machine;
        machine = nullptr;
    }
    static inline FakeMachine* machine = nullptr;
    FakeMachine& m = *machine;
    std::vector<LinuxDisk> disks = scan_disks(m.roots());
    const DiscoveredDisk& disk(size_t i) { return disks.at(i).info; }
};

}  // namespace

TEST_F(LinuxFakeSysfs, FindsWholeDisksInEnumerationOrder) {
    std::vector<std::string> names;
    for (const auto& d : disks) names.push_back(d.name);
    EXPECT_EQ(names, (std::vector<std::string>{"nvme0n1", "nvme1n1", "sda", "sdb", "sdc", "loop3", "loop10"}));
    for (size_t i = 0; i < disks.size(); ++i) {
        EXPECT_EQ(disk(i).disk_number, i);
        EXPECT_EQ(disk(i).native_path, m.roots().dev + "/" + disks[i].name);
    }
}

TEST_F(LinuxFakeSysfs, AttachedWritableLoopDevicesAreRawDisksAfterTheOthers) {
    ASSERT_EQ(disks.size(), 7u);
    const DiscoveredDisk& loop = disk(5);
    EXPECT_EQ(disks[5].name, "loop3");
    EXPECT_EQ(loop.friendly_name, "Loop Device");
    EXPECT_EQ(loop.length_bytes, 262144u * 512);
    EXPECT_EQ(loop.bytes_per_sector, 512u);
    EXPECT_FALSE(loop.removable);
    EXPECT_FALSE(loop.in_use);
    EXPECT_TRUE(loop.volumes.empty());
    EXPECT_EQ(resolve_device_path("\\\\.\\PHYSICALDRIVE5", disks, m.roots()), m.roots().dev + "/loop3");
    EXPECT_EQ(resolve_device_path("\\\\.\\PHYSICALDRIVE6", disks, m.roots()), m.roots().dev + "/loop10");
}

TEST_F(LinuxFakeSysfs, NvmeDisks) {
    const auto& n0 = disk(0);
    EXPECT_EQ(n0.bus_type, kBusNvme);
    EXPECT_EQ(n0.controller_service, "nvme");
    EXPECT_EQ(n0.friendly_name, "QEMU NVMe Ctrl");
    EXPECT_EQ(n0.length_bytes, 524288ull * 512);
    EXPECT_EQ(n0.bytes_per_sector, 512u);
    EXPECT_EQ(n0.controller_instance, "0000:00:04.0");
    EXPECT_EQ(n0.controller_name, "NVM Express Controller [1b36:0010]");
    EXPECT_EQ(n0.port_location, 4u * 8);
    EXPECT_EQ(n0.interface_path, "/sys/devices/pci0000:00/0000:00:04.0/nvme/nvme0/nvme0n1");
    // Multipath: the controller is found through the path devices.
    EXPECT_EQ(disks[1].nvme_controller, "nvme2");
    EXPECT_EQ(disk(1).friendly_name, "Samsung SSD 970 EVO");
    EXPECT_EQ(disk(1).port_location, 0x200u);  // PCIE-02:00.0
    EXPECT_EQ(disk(1).controller_instance, "0000:02:00.0");
    // Controllers get SCSI port numbers past the SCSI hosts 0..2.
    EXPECT_EQ(disk(0).scsi_port, 3u);
    EXPECT_EQ(disk(1).scsi_port, 4u);
}

TEST_F(LinuxFakeSysfs, SataDisksOnOneAhciController) {
    for (size_t i : {2, 3}) {
        const auto& d = disk(i);
        EXPECT_EQ(d.bus_type, kBusSata);
        EXPECT_EQ(d.controller_service, "ahci");
        EXPECT_EQ(d.controller_name, "SATA AHCI Controller [8086:2922]");
        EXPECT_EQ(d.driver_version, "3.0");
        EXPECT_EQ(d.port_location, 5u * 8);
        EXPECT_EQ(d.scsi_port, i - 2);
        EXPECT_EQ(d.scsi_path_id, i - 2) << "path id is the port on the controller";
        EXPECT_FALSE(d.removable);
    }
    EXPECT_EQ(disk(2).friendly_name, "QEMU HARDDISK");
    EXPECT_EQ(disk(3).friendly_name, "WDC WD10EZEX-08WN4A0") << "the ATA model, not the SCSI one cut at 16";
    EXPECT_EQ(disks[2].sg_name, "sg0");
}

TEST_F(LinuxFakeSysfs, UsbDisk) {
    const auto& u = disk(4);
    EXPECT_EQ(u.bus_type, kBusUsb);
    EXPECT_TRUE(u.removable);
    EXPECT_EQ(u.port_location, 103u);
    EXPECT_EQ(u.friendly_name, "QEMU QEMU HARDDISK");
    EXPECT_EQ(u.controller_name, "QEMU QEMU USB HARDDRIVE");
    EXPECT_EQ(u.controller_instance, "1-3");
    EXPECT_EQ(u.controller_service, "usb-storage");
    EXPECT_EQ(u.scsi_port, 2u);
    EXPECT_TRUE(u.volumes.empty()) << "an unmounted disk is RAW";
}

TEST_F(LinuxFakeSysfs, VolumesAndLetters) {
    ASSERT_EQ(disk(0).volumes.size(), 1u);
    const auto& c = disk(0).volumes[0];
    EXPECT_EQ(c.letter, 'C');
    EXPECT_EQ(c.native_path, "/dev/nvme0n1p2 on /") << "the bind mount of /srv does not replace /";
    EXPECT_FALSE(c.aligned_4k) << "start sector 1050625";
    EXPECT_GT(c.total_bytes, 0u);
    EXPECT_TRUE(disk(1).volumes.empty());
    ASSERT_EQ(disk(2).volumes.size(), 1u);
    const auto& d = disk(2).volumes[0];
    EXPECT_EQ(d.letter, 'D');
    EXPECT_TRUE(d.aligned_4k);
    EXPECT_EQ(d.native_path, "/dev/sda1 on " + m.path("mnt/my data"));
    EXPECT_GT(d.total_bytes, 0u);
    EXPECT_GE(d.total_bytes, d.free_bytes);
    // A device-mapper volume counts for the partition beneath it.
    ASSERT_EQ(disk(3).volumes.size(), 1u);
    EXPECT_EQ(disk(3).volumes[0].letter, 'E');
    EXPECT_EQ(disk(3).volumes[0].native_path, "/dev/mapper/vg-data on " + m.path("mnt/lvm"));
}

TEST_F(LinuxFakeSysfs, PartitionsHoldersAndSwapMakeADiskInUse) {
    EXPECT_TRUE(disk(0).in_use) << "partitions";
    EXPECT_TRUE(disk(3).in_use) << "a partition, itself under device-mapper";
    EXPECT_FALSE(disk(1).in_use) << "nothing on it";
    EXPECT_FALSE(disk(4).in_use);
    // Swap on the whole disk is not a mount, but the disk is busy all the same.
    std::ofstream(m.path("swaps")) << "Filename\tType\tSize\tUsed\tPriority\n/dev/nvme1n1  partition\t1024\t0\t-2\n";
    std::vector<LinuxDisk> again = scan_disks(m.roots());
    std::filesystem::remove(m.path("swaps"));
    EXPECT_TRUE(again.at(1).info.in_use);
    EXPECT_FALSE(again.at(4).info.in_use);
}

TEST_F(LinuxFakeSysfs, DevicePathsMapToNodes) {
    const std::string dev = m.roots().dev + "/";
    auto node = [&](const char* p) { return resolve_device_path(p, disks, m.roots()).value_or("<none>"); };
    EXPECT_EQ(node("\\\\.\\PHYSICALDRIVE0"), dev + "nvme0n1");
    EXPECT_EQ(node("\\\\.\\PhysicalDrive4"), dev + "sdc");
    EXPECT_EQ(node("\\\\.\\scsi3:"), dev + "nvme0") << "NVMe port path opens the controller";
    EXPECT_EQ(node("\\\\.\\scsi4:"), dev + "nvme2");
    EXPECT_EQ(node("\\\\.\\SCSI1:"), dev + "sdb");
    EXPECT_EQ(node("\\\\.\\C:"), dev + "nvme0n1");
    EXPECT_EQ(node("\\\\.\\d:"), dev + "sda");
    for (const char* bad : {"\\\\.\\PHYSICALDRIVE9", "\\\\.\\PHYSICALDRIVE", "\\\\.\\PHYSICALDRIVE1x", "\\\\.\\F:",
                            "\\\\.\\scsi9:", "\\\\.\\scsi1", "C:", "/dev/sda", ""})
        EXPECT_EQ(node(bad), "<none>") << bad;
}

TEST_F(LinuxFakeSysfs, PlatformOpensAndControlsDevices) {
    LinuxPlatform platform(m.roots());
    EXPECT_EQ(platform.discover().size(), 7u);
    // The nodes here are plain files: they open, and take no pass-through.
    auto dev = platform.open("\\\\.\\PHYSICALDRIVE2");
    ASSERT_NE(dev, nullptr);
    ScsiPassThrough s;
    EXPECT_EQ(dev->scsi(s), DeviceStatus::Unsupported);
    NvmePassThrough n;
    EXPECT_EQ(dev->nvme(n), DeviceStatus::Unsupported);
    EXPECT_NE(dev->last_error(), 0u);
    EXPECT_EQ(platform.open("\\\\.\\PHYSICALDRIVE7"), nullptr);

    const std::string ahci = "sys/devices/pci0000:00/0000:00:05.0";
    EXPECT_TRUE(platform.set_device_enabled(0, false));
    EXPECT_EQ(m.read("sys/bus/pci/drivers/nvme/unbind"), "0000:00:04.0");
    EXPECT_TRUE(platform.set_device_enabled(0, true));
    EXPECT_EQ(m.read("sys/bus/pci/drivers/nvme/bind"), "0000:00:04.0");
    EXPECT_TRUE(platform.set_device_enabled(3, false));
    EXPECT_EQ(m.read(ahci + "/ata2/host1/target1:0:0/1:0:0:0/delete"), "1");
    EXPECT_TRUE(platform.set_device_enabled(3, true));
    EXPECT_EQ(m.read("sys/class/scsi_host/host1/scan"), "0 0 0");
    EXPECT_TRUE(platform.set_device_enabled(4, false));
    EXPECT_EQ(m.read("sys/devices/pci0000:00/0000:00:06.0/usb1/1-3/authorized"), "0");
    EXPECT_TRUE(platform.remove_device(0));
    EXPECT_EQ(m.read("sys/devices/pci0000:00/0000:00:04.0/remove"), "1");
    EXPECT_TRUE(platform.remove_device(4));
    EXPECT_EQ(m.read("sys/devices/pci0000:00/0000:00:06.0/usb1/1-3/remove"), "1");
    EXPECT_FALSE(platform.remove_device(9));
    EXPECT_FALSE(platform.set_device_enabled(9, false));
}

TEST(LinuxDiscoveryParts, MountinfoLines) {
    auto m = parse_mountinfo(
        "36 35 98:0 /mnt1 /mnt/a\\040b rw,noatime master:1 shared:2 - ext3 /dev/root rw,errors=continue\n"
        "37 35 8:3 / /boot rw - vfat /dev/sda3 rw\n"
        "38 35 8:3 / /x rw ext3 /dev/sda3\n"  // no separator: dropped
        "\n39 35 8 / /y rw - ext4 /dev/sda4 rw\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].major, 98u);
    EXPECT_EQ(m[0].minor, 0u);
    EXPECT_EQ(m[0].root, "/mnt1");
    EXPECT_EQ(m[0].mount_point, "/mnt/a b");
    EXPECT_EQ(m[0].source, "/dev/root");
    EXPECT_EQ(m[1].mount_point, "/boot");
}

TEST(LinuxDiscoveryParts, DiskNamesAndOrder) {
    for (const char* ok : {"nvme0n1", "nvme12n3", "sda", "sdaa", "vda", "hdb"}) EXPECT_TRUE(is_disk_name(ok)) << ok;
    for (const char* no : {"nvme0c0n1", "nvme0", "nvme0n1p1", "sda1", "sd", "loop0", "dm-0", "md0", "sr0", "zram0", "ram0"})
        EXPECT_FALSE(is_disk_name(no)) << no;
    for (const char* loop : {"loop0", "loop12"}) EXPECT_TRUE(is_loop_name(loop)) << loop;
    for (const char* no : {"loop", "loop0p1", "loop-control", "sda"}) EXPECT_FALSE(is_loop_name(no)) << no;
    std::vector<std::string> v = {"loop10", "vda", "sdaa", "sdb", "nvme10n1", "loop2", "sdz", "nvme1n2", "nvme1n10", "hda", "nvme2n1"};
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return disk_name_less(a, b); });
    EXPECT_EQ(v, (std::vector<std::string>{"nvme1n2", "nvme1n10", "nvme2n1", "nvme10n1", "sdb", "sdz", "sdaa", "hda",
                                           "vda", "loop2", "loop10"}));
}

TEST(LinuxDiscoveryParts, PortLocations) {
    EXPECT_EQ(pci_port_location("0000:02:00.0"), 512u);
    EXPECT_EQ(pci_port_location("0000:00:1f.2"), 0x1Fu * 8 + 2);
    EXPECT_EQ(pci_port_location("0000:00:1f.8"), 0u);
    EXPECT_EQ(pci_port_location("00:1f.2"), 0u);
    const uint32_t buses[] = {1, 2};
    EXPECT_EQ(usb_port_location("1-3", buses), 103u);
    EXPECT_EQ(usb_port_location("2-1.4", buses), 20104u);
    const uint32_t gap[] = {1, 3};
    EXPECT_EQ(usb_port_location("3-2", gap), 202u) << "index of the bus, not its number";
    EXPECT_EQ(usb_port_location("1-2.3.4.5.6", buses) % 100, 6u) << "deep chains keep the device's port";
    for (const char* bad : {"usb1", "1-", "1-3:1.0", "x-1", "1-.2"}) EXPECT_EQ(usb_port_location(bad, buses), 0u) << bad;
}
