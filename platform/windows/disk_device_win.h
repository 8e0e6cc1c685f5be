// An opened Windows disk, volume or SCSI port taking pass-through requests
// through DeviceIoControl: the storage stack's NVMe requests whole
// (control()), SCSI commands as SCSI_PASS_THROUGH_DIRECT, ATA commands as
// ATA_PASS_THROUGH_EX. The request layouts are the disk layer's.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/disk_device.h"
#include "platform/windows/host_handle.h"

namespace tb::windisk {

class WindowsDevice final : public DiskDevice {
public:
    explicit WindowsDevice(host::HostHandle handle) : handle_(std::move(handle)) {}
    DeviceStatus scsi(ScsiPassThrough& req) override;
    DeviceStatus ata(AtaPassThrough& req) override;
    DeviceStatus control(uint32_t control_code, std::span<uint8_t> buffer) override;
    uint32_t last_error() const override { return last_error_; }

private:
    DeviceStatus finish(bool ok, uint32_t error);

    host::HostHandle handle_;
    uint32_t last_error_ = 0;
};

// Opens "\\.\PHYSICALDRIVE<n>", "\\.\scsi<n>:" or "\\.\C:"; nullptr when the
// path is not a device path or cannot be opened.
std::unique_ptr<DiskDevice> open_windows_device(const std::string& path);

}  // namespace tb::windisk
