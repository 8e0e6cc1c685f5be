#include "platform/windows/disk_device_win.h"

#include <cstring>

#include "disk/nvme_requests.h"
#include "disk/windows_requests.h"
#include "platform/host/page_memory.h"
#include "platform/windows/disk_ioctl.h"
#include "platform/windows_io_rules.h"

namespace tb::windisk {

DeviceStatus WindowsDevice::finish(bool ok, uint32_t error) {
    last_error_ = error;
    return ok ? DeviceStatus::Ok : DeviceStatus::Failed;
}

DeviceStatus WindowsDevice::scsi(ScsiPassThrough& req) {
    // The data travels through page-aligned memory: directly addressed
    // buffers must meet the adapter's alignment.
    const bool has_data = req.dir != DataDir::None && !req.data.empty();
    host::PageMemory bounce(has_data ? req.data.size() : 0);
    if (has_data && req.dir == DataDir::Out) std::memcpy(bounce.data(), req.data.data(), req.data.size());
    std::vector<uint8_t> buf =
        winreq::build_scsi_direct(req, has_data ? reinterpret_cast<uintptr_t>(bounce.data()) : 0);
    uint32_t returned = 0, error = 0;
    const bool ok = control_in_place(handle_.get(), kIoctlScsiPassThroughDirect, buf, returned, error);
    winreq::read_scsi_direct_answer(buf, req);
    if (ok && has_data && req.dir == DataDir::In) std::memcpy(req.data.data(), bounce.data(), req.transferred);
    return finish(ok, error);
}

DeviceStatus WindowsDevice::ata(AtaPassThrough& req) {
    std::vector<uint8_t> buf = winreq::build_ata_pass_through_ex(req);
    uint32_t returned = 0, error = 0;
    const bool ok = control_in_place(handle_.get(), winreq::kIoctlAtaPassThrough, buf, returned, error);
    if (ok) winreq::read_ata_pass_through_ex_answer(buf, req);
    return finish(ok, error);
}

DeviceStatus WindowsDevice::control(uint32_t control_code, std::span<uint8_t> buffer) {
    uint32_t returned = 0, error = 0;
    const bool ok = control_in_place(handle_.get(), control_code, buffer, returned, error);
    return finish(ok, error);
}

std::unique_ptr<DiskDevice> open_windows_device(const std::string& path) {
    if (!winio::is_device_namespace(path)) return nullptr;
    host::HostHandle h = open_device(path);
    if (!h) return nullptr;
    return std::make_unique<WindowsDevice>(std::move(h));
}

}  // namespace tb::windisk
