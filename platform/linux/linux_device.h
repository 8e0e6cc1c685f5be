// An opened Linux disk or controller node taking pass-through requests:
// NVMe commands through the NVMe driver's admin and I/O pass-through ioctls,
// SCSI commands through SG_IO. ATA commands take the SCSI/ATA translation
// (ATA PASS-THROUGH CDBs over scsi()); there is no direct ATA path.
#pragma once

#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>

#include <memory>
#include <string>

#include "platform/disk_device.h"
#include "platform/linux/unique_fd.h"

namespace tb::linuxdisk {

// The kernel request for one NVMe command: the submission entry's opcode,
// flags, NSID, CDW2-3 and CDW10-15, the data buffer and the time-out. The
// command identifier, metadata and PRP fields are the driver's.
nvme_passthru_cmd nvme_request(const NvmePassThrough& req);
// Fills the completion entry from the ioctl's answer: DW0 = result, status
// half-word = status << 1 (phase bit 0) at bytes 14-15.
void fill_nvme_completion(NvmePassThrough& req, int status, uint32_t result);

// The SG_IO header for one SCSI command; `sense` receives the sense data.
sg_io_hdr scsi_request(ScsiPassThrough& req);
// Reads the answer back into the request: Ok with status, sense and
// transferred bytes, or Failed when the host adapter or the driver failed
// the request (a CHECK CONDITION with sense is Ok).
DeviceStatus read_scsi_answer(const sg_io_hdr& hdr, ScsiPassThrough& req);

class LinuxDevice final : public DiskDevice {
public:
    LinuxDevice(UniqueFd fd, std::string node) : fd_(std::move(fd)), node_(std::move(node)) {}
    DeviceStatus nvme(NvmePassThrough& req) override;
    DeviceStatus scsi(ScsiPassThrough& req) override;
    uint32_t last_error() const override { return last_error_; }
    const std::string& node() const { return node_; }

private:
    UniqueFd fd_;
    std::string node_;
    uint32_t last_error_ = 0;
};

// Opens a node read-write, else read-only; nullptr (errno set) when neither works.
std::unique_ptr<LinuxDevice> open_linux_device(const std::string& node);

}  // namespace tb::linuxdisk
