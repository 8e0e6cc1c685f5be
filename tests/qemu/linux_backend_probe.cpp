// Runs inside the test VM: the Linux disk backend against QEMU's emulated
// NVMe controller, AHCI SATA disk and USB mass-storage disk. Prints what
// discovery found, then one "PASS name: ..." or "FAIL name: ..." line per
// check and "PROBE RESULT: <failures> failures"; the exit code is 0 only when
// every check passed.
//
// usage: linux_backend_probe [--nvme-serials S1,S2,...] [--nvme-model M]
//                            [--ata-model M] [--usb-vendor V] [--usb-location N]
// The NVMe serial numbers are those of the NVMe disks in discovery order.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/linux_discovery.h"
#include "platform/linux/linux_platform.h"

using namespace tb;
using namespace tb::linuxdisk;

namespace {

int failures = 0;

void check(bool ok, const std::string& name, const std::string& detail) {
    std::printf("%s %s: %s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.c_str());
    if (!ok) ++failures;
}

std::string text(const uint8_t* p, size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    return s;
}

// ATA strings: two characters per word, high byte first.
std::string ata_text(const std::vector<uint8_t>& id, int first_word, int words) {
    std::string s;
    for (int w = first_word; w < first_word + words; ++w) {
        s += static_cast<char>(id[2 * w + 1]);
        s += static_cast<char>(id[2 * w]);
    }
    return text(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

std::string status_name(DeviceStatus s) {
    return s == DeviceStatus::Ok ? "Ok" : s == DeviceStatus::Failed ? "Failed" : "Unsupported";
}

const LinuxDisk* find(const std::vector<LinuxDisk>& disks, uint32_t bus) {
    for (const auto& d : disks)
        if (d.info.bus_type == bus) return &d;
    return nullptr;
}

std::string drive_path(const LinuxDisk& d) { return "\\\\.\\PHYSICALDRIVE" + std::to_string(d.info.disk_number); }

void print_disks(const std::vector<LinuxDisk>& disks) {
    for (const auto& d : disks) {
        const auto& i = d.info;
        std::printf("DISK %u %s bus=%u removable=%d len=%llu bps=%u scsi=%u:%u:%u:%u location=%u name='%s' "
                    "controller='%s' instance='%s' service='%s' version='%s' interface=%s\n",
                    i.disk_number, i.native_path.c_str(), i.bus_type, i.removable ? 1 : 0,
                    static_cast<unsigned long long>(i.length_bytes), i.bytes_per_sector, i.scsi_port, i.scsi_path_id,
                    i.scsi_target, i.scsi_lun, i.port_location, i.friendly_name.c_str(), i.controller_name.c_str(),
                    i.controller_instance.c_str(), i.controller_service.c_str(), i.driver_version.c_str(),
                    i.interface_path.c_str());
        for (const auto& v : i.volumes)
            std::printf("  VOLUME %c: %s free=%llu total=%llu aligned=%d\n", v.letter, v.native_path.c_str(),
                        static_cast<unsigned long long>(v.free_bytes), static_cast<unsigned long long>(v.total_bytes),
                        v.aligned_4k ? 1 : 0);
    }
}

void nvme_checks(DiskPlatform& platform, const LinuxDisk& d, const std::string& serial, const std::string& model) {
    std::printf("NVMe %s: controller %s\n", d.name.c_str(), d.nvme_controller.c_str());
    check(d.info.controller_service == "nvme", "nvme-service", d.info.controller_service);
    check(d.info.friendly_name == model, "nvme-friendly-name", d.info.friendly_name);
    check(d.info.port_location != 0, "nvme-port-location", std::to_string(d.info.port_location));
    for (const std::string& path : {drive_path(d), "\\\\.\\scsi" + std::to_string(d.info.scsi_port) + ":"}) {
        auto dev = platform.open(path);
        if (!dev) {
            check(false, "nvme-open " + path, "cannot open");
            continue;
        }
        std::vector<uint8_t> id(4096);
        NvmePassThrough req;
        req.command[0] = 0x06;
        req.command[40] = 1;
        req.dir = DataDir::In;
        req.data = id;
        DeviceStatus st = dev->nvme(req);
        uint16_t status = static_cast<uint16_t>(req.completion[14] | req.completion[15] << 8);
        check(st == DeviceStatus::Ok && status == 0, "nvme-identify " + path,
              status_name(st) + " status " + std::to_string(status) + " errno " + std::to_string(dev->last_error()));
        check(text(&id[4], 20) == serial, "nvme-serial " + path, "'" + text(&id[4], 20) + "'");
        check(text(&id[24], 40) == model, "nvme-model " + path, "'" + text(&id[24], 40) + "'");
    }
    auto dev = platform.open(drive_path(d));
    if (!dev) return;
    // An error status travels back in the completion entry: log page 0x06
    // (device self-test) is refused by this controller with Invalid Field.
    std::vector<uint8_t> log(512);
    NvmePassThrough bad;
    bad.command[0] = 0x02;
    bad.command[4] = bad.command[5] = bad.command[6] = bad.command[7] = 0xFF;
    uint32_t cdw10 = 0x06 | ((512 / 4 - 1) << 16);
    std::memcpy(&bad.command[40], &cdw10, 4);
    bad.dir = DataDir::In;
    bad.data = log;
    DeviceStatus st = dev->nvme(bad);
    uint16_t status = static_cast<uint16_t>(bad.completion[14] | bad.completion[15] << 8);
    char half[16];
    std::snprintf(half, sizeof half, "0x%04X", status);
    check(st == DeviceStatus::Ok && ((status >> 1) & 0xFF) == 0x02, "nvme-error-status",
          status_name(st) + " status half-word " + half);
    // One read on the I/O queue: LBA 0 of namespace 1.
    std::vector<uint8_t> block(d.info.bytes_per_sector);
    NvmePassThrough rd;
    rd.command[0] = 0x02;
    rd.command[4] = 1;
    rd.io_queue = true;
    rd.dir = DataDir::In;
    rd.data = block;
    st = dev->nvme(rd);
    status = static_cast<uint16_t>(rd.completion[14] | rd.completion[15] << 8);
    check(st == DeviceStatus::Ok && status == 0, "nvme-io-read",
          status_name(st) + " status " + std::to_string(status) + " errno " + std::to_string(dev->last_error()));
    ScsiPassThrough none;
    check(dev->scsi(none) == DeviceStatus::Unsupported, "nvme-no-sg-io", "SG_IO refused on an NVMe node");
}

void sata_checks(DiskPlatform& platform, const LinuxDisk& d, const std::string& model) {
    check(d.info.friendly_name == model, "sata-friendly-name", d.info.friendly_name);
    check(d.info.controller_service == "ahci", "sata-service", d.info.controller_service);
    auto dev = platform.open(drive_path(d));
    if (!dev) return check(false, "sata-open", "cannot open");
    // IDENTIFY DEVICE through ATA PASS-THROUGH(16): PIO data-in, one block.
    std::vector<uint8_t> id(512);
    ScsiPassThrough req;
    req.cdb = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0};
    req.cdb_length = 16;
    req.dir = DataDir::In;
    req.data = id;
    DeviceStatus st = dev->scsi(req);
    check(st == DeviceStatus::Ok && req.scsi_status == 0, "sata-identify",
          status_name(st) + " scsi status " + std::to_string(req.scsi_status) + " transferred " +
              std::to_string(req.transferred));
    check(ata_text(id, 27, 20) == model, "sata-model", "'" + ata_text(id, 27, 20) + "'");
    NvmePassThrough nv;
    check(dev->nvme(nv) == DeviceStatus::Unsupported, "sata-no-nvme", "NVMe ioctl refused on a SCSI disk");
}

void usb_checks(DiskPlatform& platform, const LinuxDisk& d, const std::string& vendor, uint32_t location) {
    if (location) check(d.info.port_location == location, "usb-port-location", std::to_string(d.info.port_location));
    check(d.info.controller_service == "usb-storage" || d.info.controller_service == "uas", "usb-service",
          d.info.controller_service);
    auto dev = platform.open(drive_path(d));
    if (!dev) return check(false, "usb-open", "cannot open");
    std::vector<uint8_t> inq(38);
    ScsiPassThrough req;
    req.cdb = {0x12, 0, 0, 0, 38, 0};
    req.cdb_length = 6;
    req.dir = DataDir::In;
    req.data = inq;
    DeviceStatus st = dev->scsi(req);
    check(st == DeviceStatus::Ok && req.scsi_status == 0 && req.transferred >= 36, "usb-inquiry",
          status_name(st) + " transferred " + std::to_string(req.transferred));
    check(text(&inq[8], 8) == vendor, "usb-vendor", "'" + text(&inq[8], 8) + "' product '" + text(&inq[16], 16) + "'");
    // This bridge has no SCSI/ATA translation: the command is answered with
    // CHECK CONDITION, which is an answer and not a failed request.
    std::vector<uint8_t> id(512);
    ScsiPassThrough ata;
    ata.cdb = {0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0x40, 0xEC, 0, 0};
    ata.cdb_length = 12;
    ata.dir = DataDir::In;
    ata.data = id;
    st = dev->scsi(ata);
    uint8_t key = (ata.sense[0] & 0x7F) >= 0x72 ? ata.sense[1] & 0x0F : ata.sense[2] & 0x0F;
    check(st == DeviceStatus::Ok && ata.scsi_status == 2 && key == 5, "usb-ata-refused",
          status_name(st) + " scsi status " + std::to_string(ata.scsi_status) + " sense key " + std::to_string(key));
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> opt = {{"--nvme-serials", ""},
                                              {"--nvme-model", "QEMU NVMe Ctrl"},
                                              {"--ata-model", "QEMU HARDDISK"},
                                              {"--usb-vendor", "QEMU"},
                                              {"--usb-location", "0"}};
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!opt.count(argv[i])) {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
        opt[argv[i]] = argv[i + 1];
    }
    auto platform = make_linux_platform();
    check(platform->name() == "linux", "platform", platform->name());
    auto disks = scan_disks(SystemRoots{});
    print_disks(disks);
    check(platform->discover().size() == disks.size(), "discover", std::to_string(disks.size()) + " disks");

    const LinuxDisk* sata = find(disks, kBusSata);
    const LinuxDisk* usb = find(disks, kBusUsb);
    std::vector<std::string> serials;
    for (size_t p = 0, q; p <= opt["--nvme-serials"].size(); p = q + 1) {
        q = opt["--nvme-serials"].find(',', p);
        if (q == std::string::npos) q = opt["--nvme-serials"].size();
        if (q > p) serials.push_back(opt["--nvme-serials"].substr(p, q - p));
    }
    std::vector<const LinuxDisk*> nvmes;
    for (const auto& d : disks)
        if (d.info.bus_type == kBusNvme) nvmes.push_back(&d);
    check(!nvmes.empty() && nvmes.size() == std::max<size_t>(serials.size(), 1), "nvme-found",
          std::to_string(nvmes.size()) + " disks with bus type 17");
    check(sata != nullptr, "sata-found", sata ? sata->name : "no disk with bus type 11");
    check(usb != nullptr, "usb-found", usb ? usb->name : "no disk with bus type 7");
    for (size_t i = 0; i < nvmes.size(); ++i)
        nvme_checks(*platform, *nvmes[i], i < serials.size() ? serials[i] : "", opt["--nvme-model"]);
    if (sata) sata_checks(*platform, *sata, opt["--ata-model"]);
    if (usb) usb_checks(*platform, *usb, opt["--usb-vendor"], static_cast<uint32_t>(std::stoul(opt["--usb-location"])));
    check(platform->open("\\\\.\\PHYSICALDRIVE99") == nullptr, "open-missing", "no such disk");

    std::printf("PROBE RESULT: %d failures\n", failures);
    return failures ? 1 : 0;
}
