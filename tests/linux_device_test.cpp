// Linux pass-through requests: how NVMe and SCSI requests become kernel
// requests and how the answers come back, then the same against whatever
// real NVMe and SCSI disks this machine has (skipped when there are none or
// they cannot be opened).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/linux/linux_device.h"
#include "platform/linux/linux_discovery.h"
#include "platform/linux/linux_platform.h"

using namespace tb;
using namespace tb::linuxdisk;

namespace {

void put32(std::array<uint8_t, 64>& c, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) c[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string ascii(std::span<const uint8_t> bytes) {
    std::string s(bytes.begin(), bytes.end());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

}  // namespace

TEST(LinuxPassThrough, NvmeRequestTakesTheSubmissionEntryFields) {
    std::vector<uint8_t> buf(4096);
    NvmePassThrough req;
    req.command[0] = 0x02;
    req.command[1] = 0x40;
    req.command[2] = 0x34;  // command identifier: the driver's
    put32(req.command, 4, 0xFFFFFFFF);
    put32(req.command, 8, 0x717A7673);
    put32(req.command, 24, 0xDEADBEEF);  // PRP: the driver's
    for (int i = 0; i < 6; ++i) put32(req.command, 40 + 4 * i, 0x1000u + i);
    req.dir = DataDir::In;
    req.data = buf;
    req.timeout_s = 5;
    nvme_passthru_cmd k = nvme_request(req);
    EXPECT_EQ(k.opcode, 0x02);
    EXPECT_EQ(k.flags, 0x40);
    EXPECT_EQ(k.nsid, 0xFFFFFFFFu);
    EXPECT_EQ(k.cdw2, 0x717A7673u);
    EXPECT_EQ(k.cdw3, 0u);
    EXPECT_EQ(k.cdw10, 0x1000u);
    EXPECT_EQ(k.cdw15, 0x1005u);
    EXPECT_EQ(k.addr, reinterpret_cast<uintptr_t>(buf.data()));
    EXPECT_EQ(k.data_len, 4096u);
    EXPECT_EQ(k.metadata, 0u);
    EXPECT_EQ(k.timeout_ms, 5000u);

    req.dir = DataDir::None;  // a buffer without direction is not sent
    req.timeout_s = 0;
    k = nvme_request(req);
    EXPECT_EQ(k.addr, 0u);
    EXPECT_EQ(k.data_len, 0u);
    EXPECT_EQ(k.timeout_ms, 60000u);
}

TEST(LinuxPassThrough, NvmeCompletionEntry) {
    NvmePassThrough req;
    req.completion.fill(0xEE);
    fill_nvme_completion(req, 0x4002, 0x12345678);  // DNR + invalid field
    EXPECT_EQ(req.completion[0], 0x78);
    EXPECT_EQ(req.completion[3], 0x12);
    EXPECT_EQ(req.completion[14] | req.completion[15] << 8, 0x8004);
    EXPECT_TRUE(std::all_of(req.completion.begin() + 4, req.completion.begin() + 14, [](uint8_t b) { return b == 0; }));
    fill_nvme_completion(req, 0, 1);
    EXPECT_EQ(req.completion[14] | req.completion[15] << 8, 0);
}

TEST(LinuxPassThrough, ScsiRequestAndAnswer) {
    std::vector<uint8_t> buf(512);
    ScsiPassThrough req;
    req.cdb = {0xA1, 0x08, 0x0E};
    req.cdb_length = 12;
    req.dir = DataDir::In;
    req.data = buf;
    sg_io_hdr h = scsi_request(req);
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.cmd_len, 12);
    EXPECT_EQ(h.cmdp, req.cdb.data());
    EXPECT_EQ(h.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(h.dxfer_len, 512u);
    EXPECT_EQ(h.mx_sb_len, 64);
    EXPECT_EQ(h.timeout, 60000u);
    req.dir = DataDir::Out;
    EXPECT_EQ(scsi_request(req).dxfer_direction, SG_DXFER_TO_DEV);
    req.dir = DataDir::None;
    EXPECT_EQ(scsi_request(req).dxfer_direction, SG_DXFER_NONE);
    EXPECT_EQ(scsi_request(req).dxferp, nullptr);

    // CHECK CONDITION with sense (the ATA return descriptor of CK_COND) is an answer.
    h.status = 2;
    h.driver_status = 0x08;
    h.resid = 12;
    h.sb_len_wr = 22;
    req.sense.fill(0xAA);
    EXPECT_EQ(read_scsi_answer(h, req), DeviceStatus::Ok);
    EXPECT_EQ(req.scsi_status, 2);
    EXPECT_EQ(req.transferred, 500u);
    EXPECT_EQ(req.sense[21], 0xAA);
    EXPECT_EQ(req.sense[22], 0) << "sense past what was written is cleared";
    h.driver_status = 0;
    h.host_status = 0x03;  // timed out on the host adapter
    EXPECT_EQ(read_scsi_answer(h, req), DeviceStatus::Failed);
    h.host_status = 0;
    h.driver_status = 0x06;
    EXPECT_EQ(read_scsi_answer(h, req), DeviceStatus::Failed);
    h.driver_status = 0;
    h.resid = 4096;
    EXPECT_EQ(read_scsi_answer(h, req), DeviceStatus::Ok);
    EXPECT_EQ(req.transferred, 0u);
}

TEST(LinuxPassThrough, OpenMissingNode) {
    EXPECT_EQ(open_linux_device("/nonexistent/tamblor-node"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

// This machine's own disks.
class LinuxRealMachine : public ::testing::Test {
protected:
    std::vector<LinuxDisk> disks = scan_disks(SystemRoots{});
    const LinuxDisk* first(Transport t) {
        for (const auto& d : disks)
            if (d.transport == t) return &d;
        return nullptr;
    }
};

TEST_F(LinuxRealMachine, DiscoveryIsConsistent) {
    if (disks.empty()) GTEST_SKIP() << "no disks in /sys/block";
    int system_disks = 0;
    for (size_t i = 0; i < disks.size(); ++i) {
        const auto& d = disks[i].info;
        EXPECT_EQ(d.disk_number, i);
        EXPECT_TRUE(std::filesystem::exists(d.native_path)) << d.native_path;
        for (const auto& v : d.volumes) {
            system_disks += v.letter == 'C';
            EXPECT_GE(v.total_bytes, v.free_bytes);
        }
        auto back = disk_for_device_path("\\\\.\\PHYSICALDRIVE" + std::to_string(i), disks);
        EXPECT_EQ(back, i);
    }
    EXPECT_LE(system_disks, 1);
}

TEST_F(LinuxRealMachine, NvmeIdentifyController) {
    const LinuxDisk* d = first(Transport::Nvme);
    if (!d) GTEST_SKIP() << "no NVMe disk";
    auto platform = make_linux_platform();
    auto dev = platform->open("\\\\.\\PHYSICALDRIVE" + std::to_string(d->info.disk_number));
    if (!dev) GTEST_SKIP() << "cannot open " << d->info.native_path;
    std::vector<uint8_t> id(4096);
    NvmePassThrough req;
    req.command[0] = 0x06;
    req.command[40] = 1;  // CNS 1: controller
    req.dir = DataDir::In;
    req.data = id;
    ASSERT_EQ(dev->nvme(req), DeviceStatus::Ok) << "errno " << dev->last_error();
    EXPECT_EQ(req.completion[14] | req.completion[15] << 8, 0);
    EXPECT_EQ(ascii(std::span(id).subspan(24, 40)), d->info.friendly_name);
}

TEST_F(LinuxRealMachine, ScsiInquiry) {
    const LinuxDisk* d = nullptr;
    for (const auto& x : disks)
        if (!x.scsi_device_path.empty()) d = d ? d : &x;
    if (!d) GTEST_SKIP() << "no SCSI disk";
    auto dev = make_linux_platform()->open("\\\\.\\PHYSICALDRIVE" + std::to_string(d->info.disk_number));
    if (!dev) GTEST_SKIP() << "cannot open " << d->info.native_path;
    std::vector<uint8_t> inq(36);
    ScsiPassThrough req;
    req.cdb = {0x12, 0, 0, 0, 36, 0};
    req.cdb_length = 6;
    req.dir = DataDir::In;
    req.data = inq;
    ASSERT_EQ(dev->scsi(req), DeviceStatus::Ok) << "errno " << dev->last_error();
    EXPECT_EQ(req.scsi_status, 0);
    EXPECT_GE(req.transferred, 36u);
    EXPECT_EQ(inq[0] & 0x1F, 0) << "direct-access device";
}
