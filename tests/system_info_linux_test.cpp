// The Linux system report over fake /proc, /etc and sysfs trees: the OS,
// kernel, processor, memory and DMI facts, and for an NVMe, a SATA and a
// USB disk their driver, link and bridge.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/linux_system_facts.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tb::linuxdisk::ReportRoots;

class FakePc {
public:
    FakePc() {
        roots_.proc = (dir() / "proc").string();
        roots_.etc = (dir() / "etc").string();
        roots_.system.sys = (dir() / "sys").string();
        roots_.system.dev = (dir() / "dev").string();
        roots_.system.mountinfo = (dir() / "mountinfo").string();
        roots_.system.swaps = (dir() / "swaps").string();
        build();
    }
    const ReportRoots& roots() const { return roots_; }

private:
    fs::path dir() const { return folder_.dir(); }
    void file(const std::string& rel, const std::string& text) {
        fs::create_directories((dir() / rel).parent_path());
        std::ofstream(dir() / rel) << text << "\n";
    }
    void link(const std::string& rel, const std::string& target) {
        fs::create_directories(dir() / target);
        fs::create_directories((dir() / rel).parent_path());
        fs::create_directory_symlink(fs::relative(dir() / target, (dir() / rel).parent_path()), dir() / rel);
    }
    void block(const std::string& at, const std::string& name, const std::string& device) {
        file(at + "/" + name + "/size", "2097152");
        file(at + "/" + name + "/dev", "8:0");
        link("sys/block/" + name, at + "/" + name);
        link(at + "/" + name + "/device", device);
        file("dev/" + name, "");
    }
    void build() {
        file("etc/os-release", "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"");
        file("proc/sys/kernel/osrelease", "6.1.0-18-amd64");
        file("proc/sys/kernel/hostname", "labpc7");
        file("proc/cpuinfo", "processor\t: 0\nmodel name\t: Intel(R) Core(TM) i7-12700 CPU\n\nprocessor\t: 1\n"
                             "model name\t: Intel(R) Core(TM) i7-12700 CPU\n\nprocessor\t: 2\nmodel name\t: x\n");
        file("proc/meminfo", "MemTotal:       32768000 kB\nMemFree:         1000 kB");
        const std::string dmi = "sys/class/dmi/id/";
        file(dmi + "sys_vendor", "ASUSTeK COMPUTER INC.");
        file(dmi + "product_name", "System Product Name");
        file(dmi + "board_vendor", "ASUSTeK COMPUTER INC.");
        file(dmi + "board_name", "PRIME Z690-P");
        file(dmi + "bios_vendor", "American Megatrends Inc.");
        file(dmi + "bios_version", "1220");
        file(dmi + "bios_date", "05/06/2022");

        // An NVMe controller behind a root port.
        const std::string port = "sys/devices/pci0000:00/0000:00:1c.0";
        file(port + "/vendor", "0x8086");
        file(port + "/device", "0x7ab8");
        const std::string fn = port + "/0000:02:00.0";
        file(fn + "/class", "0x010802");
        file(fn + "/vendor", "0x144d");
        file(fn + "/device", "0xa808");
        file(fn + "/current_link_speed", "8.0 GT/s PCIe");
        file(fn + "/current_link_width", "4");
        file(fn + "/max_link_speed", "16.0 GT/s PCIe");
        file(fn + "/max_link_width", "4");
        link(fn + "/driver", "sys/bus/pci/drivers/nvme");
        file(fn + "/nvme/nvme0/model", "Samsung SSD 970");
        link("sys/class/nvme/nvme0", fn + "/nvme/nvme0");
        block(fn + "/nvme/nvme0", "nvme0n1", fn + "/nvme/nvme0");

        // A SATA disk on port 3 of an AHCI controller.
        const std::string ahci = "sys/devices/pci0000:00/0000:00:17.0";
        file(ahci + "/class", "0x010601");
        file(ahci + "/vendor", "0x8086");
        file(ahci + "/device", "0x7ae2");
        link(ahci + "/driver", "sys/bus/pci/drivers/ahci");
        const std::string sd = ahci + "/ata3/host2/target2:0:0/2:0:0:0";
        file(sd + "/vendor", "ATA     ");
        file(sd + "/model", "Samsung SSD 870");
        file("sys/class/ata_link/link3/sata_spd", "6.0 Gbps");
        block(sd + "/block", "sda", sd);

        // A USB bridge on an xHCI controller.
        const std::string xhci = "sys/devices/pci0000:00/0000:00:14.0";
        file(xhci + "/class", "0x0c0330");
        link(xhci + "/driver", "sys/bus/pci/drivers/xhci_hcd");
        link("sys/bus/usb/devices/usb2", xhci + "/usb2");
        const std::string usb = xhci + "/usb2/2-1";
        file(usb + "/manufacturer", "ASMedia");
        file(usb + "/product", "ASM2362");
        file(usb + "/idVendor", "174c");
        file(usb + "/idProduct", "2362");
        file(usb + "/speed", "10000");
        link(usb + "/2-1:1.0/driver", "sys/bus/usb/drivers/uas");
        const std::string usd = usb + "/2-1:1.0/host3/target3:0:0/3:0:0:0";
        file(usd + "/vendor", "ASMT    ");
        file(usd + "/model", "2362");
        block(usd + "/block", "sdb", usd);
        file("mountinfo", "");
        file("swaps", "Filename Type Size Used Priority");
    }

    tb::test::TempFolder folder_{"tamblor-sysinfo-linux"};
    ReportRoots roots_;
};

TEST(SystemInfoLinux, MachineFactsComeFromProcEtcAndDmi) {
    FakePc pc;
    const tb::MachineFacts f = tb::linuxdisk::read_machine_facts(pc.roots());
    EXPECT_EQ(f.os_name, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(f.os_version, "12");
    EXPECT_EQ(f.kernel, "6.1.0-18-amd64");
    EXPECT_EQ(f.host_name, "labpc7");
    EXPECT_EQ(f.cpu_model, "Intel(R) Core(TM) i7-12700 CPU");
    EXPECT_EQ(f.cpu_count, 3u);
    EXPECT_EQ(f.memory_bytes, 32768000ull * 1024);
    EXPECT_EQ(f.system_vendor, "ASUSTeK COMPUTER INC.");
    EXPECT_EQ(f.system_product, "System Product Name");
    EXPECT_EQ(f.board_name, "PRIME Z690-P");
    EXPECT_EQ(f.bios_vendor, "American Megatrends Inc.");
    EXPECT_EQ(f.bios_version, "1220");
    EXPECT_EQ(f.bios_date, "05/06/2022");
}

TEST(SystemInfoLinux, DiskLinksComeFromSysfs) {
    FakePc pc;
    // Disks in enumeration order: NVMe first, then sda, sdb.
    const tb::DiskAttachment nvme = tb::linuxdisk::read_disk_attachment(pc.roots(), "\\\\.\\PHYSICALDRIVE0");
    EXPECT_EQ(nvme.driver, "nvme");
    EXPECT_EQ(nvme.link, "PCIe");
    EXPECT_EQ(nvme.link_speed, "8.0 GT/s PCIe");
    EXPECT_EQ(nvme.link_width, "x4");
    EXPECT_EQ(nvme.max_link_speed, "16.0 GT/s PCIe");
    EXPECT_EQ(nvme.max_link_width, "x4");
    EXPECT_EQ(nvme.bridge, "PCIe port 0000:00:1c.0 (8086:7ab8)");

    const tb::DiskAttachment sata = tb::linuxdisk::read_disk_attachment(pc.roots(), "\\\\.\\PHYSICALDRIVE1");
    EXPECT_EQ(sata.driver, "ahci");
    EXPECT_EQ(sata.link, "SATA");
    EXPECT_EQ(sata.link_speed, "6.0 Gbps");
    EXPECT_EQ(sata.link_width, "");

    const tb::DiskAttachment usb = tb::linuxdisk::read_disk_attachment(pc.roots(), "\\\\.\\PHYSICALDRIVE2");
    EXPECT_EQ(usb.driver, "uas");
    EXPECT_EQ(usb.link, "USB");
    EXPECT_EQ(usb.link_speed, "10000 Mbps");
    EXPECT_EQ(usb.bridge, "ASMedia ASM2362 (174c:2362)");

    const tb::DiskAttachment none = tb::linuxdisk::read_disk_attachment(pc.roots(), "\\\\.\\PHYSICALDRIVE9");
    EXPECT_EQ(none.driver, "");
    EXPECT_EQ(none.link, "");
}

}  // namespace
