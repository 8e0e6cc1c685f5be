// The simulated machine: discovery, paths, plugging, power, faults, config.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "sim_test_helpers.h"

namespace tb::sim::test {
namespace {

TEST(SimMachine, BuiltInMachineIsDiscovered) {
    Bench b;
    auto disks = b.platform().discover();
    ASSERT_EQ(disks.size(), 4u);
    EXPECT_EQ(b.platform().name(), "sim");
    // Disk 0: SATA system disk with C: and D:.
    EXPECT_EQ(disks[0].disk_number, 0u);
    EXPECT_EQ(disks[0].bus_type, uint32_t(kBusSata));
    EXPECT_EQ(disks[0].controller_service, "storahci");
    EXPECT_EQ(disks[0].length_bytes, 31277232ull * 512);
    ASSERT_EQ(disks[0].volumes.size(), 2u);
    EXPECT_EQ(disks[0].volumes[0].letter, 'C');
    EXPECT_EQ(disks[0].volumes[0].total_bytes, 12ull << 30);
    EXPECT_EQ(disks[0].volumes[0].free_bytes, 5ull << 30);
    EXPECT_EQ(disks[0].volumes[1].letter, 'D');
    EXPECT_EQ(disks[0].native_path, "sim:sata0");
    // Disk 1: raw NVMe on the inbox driver at PCIe 02:00.0.
    EXPECT_EQ(disks[1].bus_type, uint32_t(kBusNvme));
    EXPECT_EQ(disks[1].controller_service, "stornvme");
    EXPECT_EQ(disks[1].controller_name, "Standard NVM Express Controller");
    EXPECT_EQ(disks[1].port_location, 2u * 256);
    EXPECT_EQ(disks[1].scsi_port, 1u);
    EXPECT_EQ(disks[1].driver_version, "10.0.19041.1");
    EXPECT_TRUE(disks[1].volumes.empty());
    EXPECT_EQ(disks[1].native_path, "sim:nvme1");
    EXPECT_EQ(disks[1].bytes_per_sector, 512u);
    // Disks 2, 3: USB with their port paths.
    EXPECT_EQ(disks[2].bus_type, uint32_t(kBusUsb));
    EXPECT_EQ(disks[2].port_location, 103u);
    EXPECT_EQ(disks[2].controller_instance.rfind("USB\\VID_174C&PID_2362\\", 0), 0u);
    EXPECT_EQ(disks[3].port_location, 10402u);
    EXPECT_EQ(disks[3].controller_service, "USBSTOR");
    for (const auto& d : disks) EXPECT_NE(d.interface_path.find("{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"), std::string::npos);
}

TEST(SimMachine, PathsOpenTheRightDisk) {
    Bench b;
    auto serial_of = [&](DiskDevice& d) {
        std::vector<uint8_t> vpd(64, 0);
        auto r = cdb({0x12, 0x01, 0x80, 0, 64, 0}, DataDir::In, vpd);
        EXPECT_EQ(d.scsi(r), DeviceStatus::Ok);
        return std::string(reinterpret_cast<char*>(vpd.data() + 4), vpd[3]);
    };
    auto c = b.open("\\\\.\\C:");
    ASSERT_TRUE(c);
    EXPECT_EQ(serial_of(*c), "SIMS00000000000000A0");
    auto dd = b.open("\\\\.\\d:");
    ASSERT_TRUE(dd);
    EXPECT_EQ(serial_of(*dd), "SIMS00000000000000A0");
    auto port = b.open("\\\\.\\Scsi1:");
    ASSERT_TRUE(port);
    EXPECT_EQ(text_at(identify(*port, 1), 4, 20), "SIMN00000000000000B1");  // miniport-style path answers NVMe
    auto p3 = b.open("\\\\.\\PhysicalDrive3");
    ASSERT_TRUE(p3);
    EXPECT_EQ(serial_of(*p3), "SIMS00000000000000D3");
    NvmePassThrough n = nvme_request(0x06, 0, {1});
    EXPECT_EQ(p3->nvme(n), DeviceStatus::Unsupported);  // behind a bridge only its CDBs carry NVMe
    AtaPassThrough a;
    EXPECT_EQ(port->ata(a), DeviceStatus::Unsupported);
    for (const char* bad : {"\\\\.\\PHYSICALDRIVE9", "\\\\.\\E:", "\\\\.\\scsi7:", "PHYSICALDRIVE0", "\\\\.\\PHYSICALDRIVEx",
                            "\\\\.\\B:", ""})
        EXPECT_FALSE(b.open(bad)) << bad;
}

TEST(SimMachine, UnplugFailsOpensAndHandlesReplugRestores) {
    Bench b;
    auto d = b.drive(1);
    ASSERT_TRUE(d);
    ASSERT_TRUE(b.machine().unplug(1));
    EXPECT_EQ(b.platform().discover().size(), 3u);
    EXPECT_FALSE(b.drive(1));
    EXPECT_FALSE(b.open("\\\\.\\scsi1:"));
    std::vector<uint8_t> buf(4096, 0);
    auto r = nvme_request(0x06, 0, {1}, DataDir::In, buf);
    EXPECT_EQ(d->nvme(r), DeviceStatus::Failed);
    EXPECT_EQ(d->last_error(), kErrorNotConnected);
    ASSERT_TRUE(b.machine().replug(1));
    EXPECT_EQ(b.platform().discover().size(), 4u);
    EXPECT_EQ(d->nvme(r), DeviceStatus::Failed);  // the old handle stays dead
    auto fresh = b.drive(1);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->nvme(r), DeviceStatus::Ok);
    // The replug was a power cycle.
    EXPECT_EQ(get_le64(get_log(*fresh, 0x02), 112), 1u);
    EXPECT_FALSE(b.machine().unplug(17));
}

TEST(SimMachine, DeviceStateRemovalAndRescan) {
    Bench b;
    ASSERT_TRUE(b.platform().set_device_enabled(1, false));
    EXPECT_EQ(b.platform().discover().size(), 3u);
    EXPECT_FALSE(b.drive(1));
    ASSERT_TRUE(b.platform().set_device_enabled(1, true));
    EXPECT_TRUE(b.drive(1));
    ASSERT_TRUE(b.platform().remove_device(2));
    EXPECT_FALSE(b.drive(2));
    EXPECT_FALSE(b.platform().remove_device(2));
    EXPECT_FALSE(b.platform().set_device_enabled(2, true));
    b.machine().rescan();
    EXPECT_TRUE(b.drive(2));
    EXPECT_FALSE(b.platform().set_device_enabled(9, true));
}

TEST(SimMachine, InjectedErrorsReturnTheirStatusForTheirCount) {
    Bench b;
    auto d = b.drive(1);
    ASSERT_TRUE(b.machine().inject(1, NvmeFault{false, 0x06, 1, 0x0006, 0}));
    std::vector<uint8_t> buf(4096, 0);
    auto r = nvme_request(0x06, 0, {1}, DataDir::In, buf);
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), 0x0006);
    EXPECT_EQ(get_le16(r.completion, 14), 0x000D);  // on the wire: status << 1 | phase
    ASSERT_EQ(d->nvme(r), DeviceStatus::Ok);
    EXPECT_EQ(status_of(r), 0);  // once only
    // I/O-queue faults do not hit admin commands of the same opcode.
    ASSERT_TRUE(b.machine().inject(1, NvmeFault{true, 0x02, 2, 0x0281, 0}));
    std::vector<uint8_t> blk(512, 0);
    EXPECT_EQ(nvme_io(*d, 0x02, 0, 1, blk), 0x0281);
    EXPECT_EQ(get_le64(get_log(*d, 0x02), 176), 2u);  // both errors logged
    EXPECT_EQ(nvme_io(*d, 0x02, 0, 1, blk), 0x0281);
    EXPECT_EQ(nvme_io(*d, 0x02, 0, 1, blk), 0);
    // ATA, SCSI and whole-request faults.
    auto s = b.drive(0);
    ASSERT_TRUE(b.machine().inject(0, AtaFault{0xEC, -1, 1, 0x04, 0x51}));
    std::vector<uint8_t> id(512, 0);
    auto a = ata_request(0xEC, kAtaDriveReady | kAtaDataIn, 0, 1, 0, id);
    ASSERT_EQ(s->ata(a), DeviceStatus::Ok);
    EXPECT_EQ(a.current[kAtaStatus], 0x51);
    EXPECT_EQ(a.current[kAtaError], 0x04);
    a = ata_request(0xEC, kAtaDriveReady | kAtaDataIn, 0, 1, 0, id);  // the registers came back as output
    ASSERT_EQ(s->ata(a), DeviceStatus::Ok);
    EXPECT_TRUE(ata_ok(a));
    ASSERT_TRUE(b.machine().inject(0, ScsiFault{0x28, -1, 1, 0x03, 0x11, 0x00}));
    auto rd = cdb({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, DataDir::In, blk);
    ASSERT_EQ(s->scsi(rd), DeviceStatus::Ok);
    EXPECT_EQ(rd.scsi_status, 2);
    EXPECT_EQ(sense_key(rd), 0x03);
    EXPECT_EQ(rd.sense[12], 0x11);
    ASSERT_EQ(s->scsi(rd), DeviceStatus::Ok);
    EXPECT_EQ(rd.scsi_status, 0);
    ASSERT_TRUE(b.machine().inject(0, RequestFault{1, 1117}));
    EXPECT_EQ(s->scsi(rd), DeviceStatus::Failed);
    EXPECT_EQ(s->last_error(), 1117u);
    EXPECT_EQ(s->scsi(rd), DeviceStatus::Ok);
    // Through a bridge an injected NVMe error shows as CHECK CONDITION.
    ASSERT_TRUE(b.machine().inject(2, NvmeFault{false, 0x06, 1, 0x0006, 0}));
    auto u = b.drive(2);
    auto e6 = cdb({0xE6, 0x06, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, DataDir::In, buf);
    ASSERT_EQ(u->scsi(e6), DeviceStatus::Ok);
    EXPECT_EQ(e6.scsi_status, 2);
    ASSERT_EQ(u->scsi(e6), DeviceStatus::Ok);
    EXPECT_EQ(e6.scsi_status, 0);
}

TEST(SimMachine, DroppedAndCorruptedWrites) {
    Bench b;
    auto d = b.drive(1);
    auto old_data = pattern(512, 1), new_data = pattern(512, 2);
    ASSERT_EQ(nvme_io(*d, 0x01, 10, 1, old_data), 0);
    ASSERT_TRUE(b.machine().drop_writes(1, 1, 10, 10));
    ASSERT_EQ(nvme_io(*d, 0x01, 20, 1, new_data), 0);  // outside the range: stored
    ASSERT_EQ(nvme_io(*d, 0x01, 10, 1, new_data), 0);  // reported successful
    std::vector<uint8_t> back(512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 10, 1, back), 0);
    EXPECT_EQ(back, old_data);
    ASSERT_EQ(nvme_io(*d, 0x02, 20, 1, back), 0);
    EXPECT_EQ(back, new_data);
    ASSERT_EQ(nvme_io(*d, 0x01, 10, 1, new_data), 0);  // the fault is used up
    ASSERT_EQ(nvme_io(*d, 0x02, 10, 1, back), 0);
    EXPECT_EQ(back, new_data);

    ASSERT_TRUE(b.machine().corrupt_writes(1, 1));
    ASSERT_EQ(nvme_io(*d, 0x01, 30, 1, new_data), 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 30, 1, back), 0);
    EXPECT_EQ(back[0], static_cast<uint8_t>(new_data[0] ^ 0xFF));
    EXPECT_EQ(back[256], static_cast<uint8_t>(new_data[256] ^ 0xFF));
    EXPECT_EQ(0, std::memcmp(back.data() + 1, new_data.data() + 1, 255));
    auto stats = b.machine().store(1)->stats();
    EXPECT_EQ(stats.dropped_writes, 1u);
    EXPECT_EQ(stats.corrupted_writes, 1u);
    // A callback can decide per write, until the faults are cleared.
    b.machine().store(1)->set_write_hook([](uint64_t, uint64_t) { return WriteFate::Drop; });
    ASSERT_EQ(nvme_io(*d, 0x01, 30, 1, old_data), 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 30, 1, back), 0);
    EXPECT_NE(back, old_data);
    ASSERT_TRUE(b.machine().clear_faults(1));
    ASSERT_EQ(nvme_io(*d, 0x01, 30, 1, old_data), 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 30, 1, back), 0);
    EXPECT_EQ(back, old_data);
}

TEST(SimMachine, PowerLossDropsOnlyUnflushedCachedWrites) {
    Bench b;
    auto d = b.drive(1);
    auto a = pattern(4096, 1), c = pattern(4096, 2), f = pattern(4096, 3);
    ASSERT_EQ(nvme_io(*d, 0x01, 0, 8, a), 0);
    auto flush = nvme_request(0x00, 1, {}, DataDir::None, {}, true);
    ASSERT_EQ(d->nvme(flush), DeviceStatus::Ok);
    ASSERT_EQ(nvme_io(*d, 0x01, 0, 8, c), 0);                // cached, not flushed
    ASSERT_EQ(nvme_io(*d, 0x01, 64, 8, f, 1u << 30), 0);     // FUA: durable
    EXPECT_EQ(b.file_bytes(1, 0, 4096), c);                   // visible before the loss
    ASSERT_TRUE(b.machine().power_off(1));
    EXPECT_FALSE(b.drive(1));
    EXPECT_EQ(d->nvme(flush), DeviceStatus::Failed);
    ASSERT_TRUE(b.machine().power_on(1));
    d = b.drive(1);
    std::vector<uint8_t> back(4096, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 0, 8, back), 0);
    EXPECT_EQ(back, a);
    ASSERT_EQ(nvme_io(*d, 0x02, 64, 8, back), 0);
    EXPECT_EQ(back, f);
    auto smart = get_log(*d, 0x02);
    EXPECT_EQ(get_le64(smart, 144), 1u);  // unsafe shutdowns
    // With the cache off every write is durable; a graceful power-off loses nothing.
    auto off = nvme_request(0x09, 0, {0x06, 0});
    ASSERT_EQ(d->nvme(off), DeviceStatus::Ok);
    ASSERT_EQ(nvme_io(*d, 0x01, 0, 8, c), 0);
    ASSERT_TRUE(b.machine().power_cycle(1));
    d = b.drive(1);
    ASSERT_EQ(nvme_io(*d, 0x02, 0, 8, back), 0);
    EXPECT_EQ(back, c);
    ASSERT_EQ(nvme_io(*d, 0x01, 8, 8, a), 0);
    ASSERT_TRUE(b.machine().power_cycle(1, true));
    d = b.drive(1);
    ASSERT_EQ(nvme_io(*d, 0x02, 8, 8, back), 0);
    EXPECT_EQ(back, a);
    EXPECT_EQ(get_le64(get_log(*d, 0x02), 144), 2u);
}

TEST(SimMachine, DeviceStatePersistsAcrossMachines) {
    Bench b({}, true);
    {
        auto d = b.drive(1);
        std::vector<uint8_t> image(4096, 7);
        std::memcpy(image.data(), "FWREV:KEPT0001", 14);
        auto dl = nvme_request(0x11, 0, {1023, 0}, DataDir::Out, image);
        ASSERT_EQ(d->nvme(dl), DeviceStatus::Ok);
        auto commit = nvme_request(0x10, 0, {2 | (3 << 3)});
        ASSERT_EQ(d->nvme(commit), DeviceStatus::Ok);
        ASSERT_EQ(status_of(commit), 0);
        auto data = pattern(512, 5);
        ASSERT_EQ(nvme_io(*d, 0x01, 3, 1, data), 0);
    }
    b.rebuild({}, true);
    auto d = b.drive(1);
    EXPECT_EQ(text_at(identify(*d, 1), 64, 8), "KEPT0001");
    std::vector<uint8_t> back(512, 0);
    ASSERT_EQ(nvme_io(*d, 0x02, 3, 1, back), 0);
    EXPECT_EQ(back, pattern(512, 5));
    EXPECT_EQ(get_le64(get_log(*d, 0x02), 80), 1u);  // the counters too
    b.rebuild({}, false);  // without persistence: the configured state
    EXPECT_EQ(text_at(identify(*b.drive(1), 1), 64, 8), "NV1.0.B1");
}

TEST(SimMachine, ConcurrentHandlesKeepTheirData) {
    Bench b;
    constexpr int kThreads = 6, kRounds = 40;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto d = b.drive(t % 2 ? 1 : 2);
            for (int i = 0; i < kRounds; ++i) {
                uint64_t lba = static_cast<uint64_t>(t) * 1000 + static_cast<uint64_t>(i) * 8;
                auto data = pattern(4096, static_cast<uint8_t>(t * 31 + i));
                auto w = rw16(true, lba, 8, data);
                std::vector<uint8_t> back(4096, 0);
                auto r = rw16(false, lba, 8, back);
                if (d->scsi(w) != DeviceStatus::Ok || w.scsi_status || d->scsi(r) != DeviceStatus::Ok ||
                    r.scsi_status || back != data)
                    ++failures;
            }
        });
    }
    std::thread chaos([&] {
        for (int i = 0; i < 50; ++i) {
            b.platform().discover();
            b.machine().advance_time(1);
        }
    });
    for (auto& th : threads) th.join();
    chaos.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(SimMachine, ConfigTextIsParsedAndCheckedAndBackedByFiles) {
    std::string error;
    auto cfg = parse_sim_config(R"([machine]
folder = /tmp/x   ; backing files
[disk4]
type = nvme
capacity = 1GiB
sector_size = 4096
service = secnvme
pci = 3:1.2
volumes = E:512MiB:100MiB:unaligned F
vendor_log = 0xE1, 0xE2
[disk2]
type = usb
bridge = rtl9210
)",
                                &error);
    ASSERT_TRUE(cfg) << error;
    EXPECT_EQ(cfg->folder, "/tmp/x");
    ASSERT_EQ(cfg->disks.size(), 2u);
    EXPECT_EQ(cfg->disks[0].number, 2u);  // sorted by number
    EXPECT_EQ(cfg->disks[0].inner(), InnerKind::Nvme);
    const DiskConfig& n = cfg->disks[1];
    EXPECT_EQ(n.capacity_bytes, 1ull << 30);
    EXPECT_EQ(n.sector_size, 4096u);
    EXPECT_EQ(n.pci_bus * 256 + n.pci_device * 8 + n.pci_function, 3u * 256 + 10);
    ASSERT_EQ(n.volumes.size(), 2u);
    EXPECT_EQ(n.volumes[0].total_bytes, 512ull << 20);
    EXPECT_EQ(n.volumes[0].free_bytes, 100ull << 20);
    EXPECT_FALSE(n.volumes[0].aligned_4k);
    EXPECT_GT(n.volumes[1].total_bytes, 0u);
    EXPECT_EQ(n.vendor_logs, (std::vector<uint8_t>{0xE1, 0xE2}));
    EXPECT_EQ(parse_size("8GB"), 15649200ull * 512);
    EXPECT_EQ(parse_size("8GB", 4096), 1956150ull * 4096);
    EXPECT_EQ(parse_size("0x1000"), 4096u);
    EXPECT_FALSE(parse_size("8 parsecs"));
    for (const char* bad : {"[disk0]\ntype = floppy\n", "[disk0]\ntype = usb\n", "[disk0]\ncolour = red\n",
                            "[disk0]\n[disk0]\n", "[diskX]\n", "[disk0]\nsector_size = 520\n", "[other]\n",
                            "[disk0]\nusb = 1\n"}) {
        EXPECT_FALSE(parse_sim_config(bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    // The built-in machine parses, and the NVMe miniport disk is no inbox disk.
    EXPECT_EQ(default_sim_config().disks.size(), 4u);
    Bench b("[disk0]\ntype = nvme\nservice = secnvme\ncapacity = 1GiB\nsector_size = 4096\n");
    auto disks = b.platform().discover();
    ASSERT_EQ(disks.size(), 1u);
    EXPECT_EQ(disks[0].controller_service, "secnvme");
    EXPECT_NE(disks[0].controller_name, "Standard NVM Express Controller");
    EXPECT_EQ(disks[0].bytes_per_sector, 4096u);
    EXPECT_EQ(get_le64(identify(*b.drive(0), 0, 1), 0), 262144u);
    // One sparse file per disk, of the disk's size.
    EXPECT_EQ(std::filesystem::file_size(host_path(b.image(0))), 1ull << 30);
    EXPECT_LT(b.machine().disk(0)->store().allocated_bytes(), 1ull << 20);
}

TEST(SimMachine, TheInstalledSimulatorIsReachable) {
    Bench b("[disk0]\ntype = nvme\ncapacity = 1GiB\n");
    std::string error;
    auto cfg = parse_sim_config("[machine]\nfolder = " + b.folder() + "\npersist = 0\n[disk5]\ntype = sata\n", &error);
    ASSERT_TRUE(cfg) << error;
    auto p = make_sim_platform_from_config(*cfg, &error);
    ASSERT_TRUE(p) << error;
    SimMachine* m = &p->machine();
    set_disk_platform(std::move(p));
    EXPECT_EQ(current_sim_machine(), m);
    EXPECT_EQ(disk_platform().discover().at(0).disk_number, 5u);
    struct Other final : DiskPlatform {
        std::string name() const override { return "other"; }
        std::vector<DiscoveredDisk> discover() override { return {}; }
        std::unique_ptr<DiskDevice> open(const std::string&) override { return nullptr; }
    };
    set_disk_platform(std::make_unique<Other>());
    EXPECT_EQ(current_sim_machine(), nullptr);
    set_disk_platform(nullptr);  // the next use builds the default machine again
}

}  // namespace
}  // namespace tb::sim::test
