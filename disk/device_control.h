// The driver side of the Windows NVMe request buffers: takes one request
// (control code and its buffer, used for input and output as the drivers
// do), turns it into an NVMe command for DiskDevice::nvme() and writes the
// driver's answer (completion entry, fixed return data, data) back into the
// buffer. Every backend thus sees the same request layouts end to end and
// needs only the nvme()/scsi() primitives.
#pragma once

#include <cstdint>
#include <span>

#include "platform/disk_device.h"

namespace tb {

// A device whose control() takes the request (the Windows storage stack)
// answers it itself. Otherwise this handles IOCTL_STORAGE_PROTOCOL_COMMAND,
// IOCTL_STORAGE_QUERY_PROPERTY and IOCTL_STORAGE_SET_PROPERTY (NVMe
// protocol-specific data), the firmware download and activate requests,
// IOCTL_STORAGE_REINITIALIZE_MEDIA and IOCTL_SCSI_MINIPORT with the
// "NvmeMini", "IntelNvm" and "IntelFw " signatures. Returns Ok when the
// request completed successfully; Failed with `system_error` set when it
// was rejected or the command ended with an error status (the buffer still
// holds what the driver reports); Unsupported for a code or request kind
// that is not handled here.
DeviceStatus device_control(DiskDevice& dev, uint32_t control_code, std::span<uint8_t> buffer,
                            uint32_t& system_error);

}  // namespace tb
