#include "platform/linux/linux_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace tb::linuxdisk {

namespace {

uint32_t le32(const std::array<uint8_t, 64>& c, size_t off) {
    return static_cast<uint32_t>(c[off]) | static_cast<uint32_t>(c[off + 1]) << 8 |
           static_cast<uint32_t>(c[off + 2]) << 16 | static_cast<uint32_t>(c[off + 3]) << 24;
}

constexpr uint32_t kDefaultTimeoutS = 60;

uint32_t timeout_ms(uint32_t seconds) { return (seconds ? seconds : kDefaultTimeoutS) * 1000u; }

// The driver byte of SG_IO: the low nibble says what the driver did; "sense"
// only says that sense data came back with the status.
constexpr uint16_t kDriverSense = 0x08;

}  // namespace

nvme_passthru_cmd nvme_request(const NvmePassThrough& req) {
    nvme_passthru_cmd cmd;
    std::memset(&cmd, 0, sizeof cmd);
    const auto& c = req.command;
    cmd.opcode = c[0];
    cmd.flags = c[1];
    cmd.nsid = le32(c, 4);
    cmd.cdw2 = le32(c, 8);
    cmd.cdw3 = le32(c, 12);
    cmd.cdw10 = le32(c, 40);
    cmd.cdw11 = le32(c, 44);
    cmd.cdw12 = le32(c, 48);
    cmd.cdw13 = le32(c, 52);
    cmd.cdw14 = le32(c, 56);
    cmd.cdw15 = le32(c, 60);
    if (req.dir != DataDir::None && !req.data.empty()) {
        cmd.addr = reinterpret_cast<uintptr_t>(req.data.data());
        cmd.data_len = static_cast<uint32_t>(req.data.size());
    }
    cmd.timeout_ms = timeout_ms(req.timeout_s);
    return cmd;
}

void fill_nvme_completion(NvmePassThrough& req, int status, uint32_t result) {
    req.completion.fill(0);
    for (int i = 0; i < 4; ++i) req.completion[i] = static_cast<uint8_t>(result >> (8 * i));
    uint16_t half = static_cast<uint16_t>((static_cast<uint32_t>(status) & 0x7FFF) << 1);
    req.completion[14] = static_cast<uint8_t>(half);
    req.completion[15] = static_cast<uint8_t>(half >> 8);
}

sg_io_hdr scsi_request(ScsiPassThrough& req) {
    sg_io_hdr hdr;
    std::memset(&hdr, 0, sizeof hdr);
    hdr.interface_id = 'S';
    hdr.cmd_len = req.cdb_length ? std::min<uint8_t>(req.cdb_length, 16) : 16;
    hdr.cmdp = req.cdb.data();
    hdr.mx_sb_len = static_cast<unsigned char>(req.sense.size());
    hdr.sbp = req.sense.data();
    hdr.timeout = timeout_ms(req.timeout_s);
    if (req.dir == DataDir::None || req.data.empty()) {
        hdr.dxfer_direction = SG_DXFER_NONE;
    } else {
        hdr.dxfer_direction = req.dir == DataDir::Out ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
        hdr.dxferp = req.data.data();
        hdr.dxfer_len = static_cast<unsigned>(req.data.size());
    }
    return hdr;
}

DeviceStatus read_scsi_answer(const sg_io_hdr& hdr, ScsiPassThrough& req) {
    req.scsi_status = hdr.status;
    int resid = hdr.resid < 0 ? 0 : hdr.resid;
    req.transferred = hdr.dxfer_len > static_cast<unsigned>(resid) ? hdr.dxfer_len - static_cast<unsigned>(resid) : 0;
    if (hdr.sb_len_wr < req.sense.size()) std::fill(req.sense.begin() + hdr.sb_len_wr, req.sense.end(), 0);
    uint16_t driver = hdr.driver_status & 0x0F;
    if (hdr.host_status != 0 || (driver != 0 && driver != kDriverSense)) return DeviceStatus::Failed;
    return DeviceStatus::Ok;
}

DeviceStatus LinuxDevice::nvme(NvmePassThrough& req) {
    nvme_passthru_cmd cmd = nvme_request(req);
    int rc = ::ioctl(fd_.get(), req.io_queue ? NVME_IOCTL_IO_CMD : NVME_IOCTL_ADMIN_CMD, &cmd);
    if (rc < 0) {
        last_error_ = static_cast<uint32_t>(errno);
        req.completion.fill(0);
        // Not an NVMe node at all (a SCSI disk, a file).
        return errno == ENOTTY ? DeviceStatus::Unsupported : DeviceStatus::Failed;
    }
    fill_nvme_completion(req, rc, cmd.result);
    return DeviceStatus::Ok;
}

DeviceStatus LinuxDevice::scsi(ScsiPassThrough& req) {
    req.sense.fill(0);
    sg_io_hdr hdr = scsi_request(req);
    if (::ioctl(fd_.get(), SG_IO, &hdr) < 0) {
        last_error_ = static_cast<uint32_t>(errno);
        req.transferred = 0;
        // NVMe nodes and other non-SCSI nodes have no SG_IO.
        return errno == ENOTTY ? DeviceStatus::Unsupported : DeviceStatus::Failed;
    }
    DeviceStatus st = read_scsi_answer(hdr, req);
    if (st == DeviceStatus::Failed) last_error_ = EIO;
    return st;
}

std::unique_ptr<LinuxDevice> open_linux_device(const std::string& node) {
    // O_NONBLOCK lets a removable disk without medium open for commands.
    int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<LinuxDevice>(UniqueFd(fd), node);
}

}  // namespace tb::linuxdisk
