#include "disk/device_control.h"

#include <algorithm>
#include <string>

#include "disk/nvme_command.h"
#include "disk/nvme_requests.h"

namespace tb {

namespace {

bool fits(std::span<const uint8_t> buffer, uint64_t offset, uint64_t length) {
    return offset <= buffer.size() && length <= buffer.size() - offset;
}

// One command delivered to the device.
struct Delivery {
    DeviceStatus status = DeviceStatus::Failed;
    std::array<uint8_t, 16> completion{};
    uint32_t system_error = 0;

    bool nvme_error() const { return completion_status_field(completion) != 0; }
    uint32_t dw0() const { return completion_dw0(completion); }
};

Delivery deliver(DiskDevice& dev, const NvmeCommand& cmd, NvmeQueue queue, DataDir dir, std::span<uint8_t> data,
                 uint32_t timeout_s) {
    NvmePassThrough pt;
    pt.command = cmd.bytes;
    pt.io_queue = queue == NvmeQueue::Io;
    pt.dir = data.empty() ? DataDir::None : dir;
    pt.data = data;
    pt.timeout_s = timeout_s;
    Delivery d;
    d.status = dev.nvme(pt);
    d.completion = pt.completion;
    if (d.status == DeviceStatus::Failed) d.system_error = dev.last_error() ? dev.last_error() : kSysErrorIoDevice;
    if (d.status == DeviceStatus::Unsupported) d.system_error = kSysErrorInvalidFunction;
    return d;
}

DeviceStatus fail(uint32_t& system_error, uint32_t code) {
    system_error = code;
    return DeviceStatus::Failed;
}

DeviceStatus unsupported(uint32_t& system_error) {
    system_error = kSysErrorInvalidFunction;
    return DeviceStatus::Unsupported;
}

// The common ending of the storage-stack requests: a command that ended with
// an error status fails the request.
DeviceStatus finish(const Delivery& d, uint32_t& system_error) {
    if (d.status != DeviceStatus::Ok) {
        system_error = d.system_error;
        return d.status;
    }
    if (d.nvme_error()) return fail(system_error, kSysErrorIoDevice);
    return DeviceStatus::Ok;
}

// Firmware Commit statuses that mean "activated at the next reset".
bool commit_needs_reset(const Delivery& d) {
    uint8_t sc = completion_status_code(d.completion);
    return completion_status_type(d.completion) == 1 && (sc == 0x0B || sc == 0x10 || sc == 0x11);
}

DeviceStatus protocol_command(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < spc::kData || get_le32(buf, spc::kVersion) != 1 ||
        get_le32(buf, spc::kProtocolType) != kProtocolTypeNvme || get_le32(buf, spc::kCommandLength) != 64) {
        if (buf.size() >= spc::kData) put_le32(buf, spc::kReturnStatus, spc::kStatusInvalidRequest);
        return fail(err, kSysErrorInvalidParameter);
    }
    NvmeCommand cmd;
    std::copy_n(buf.begin() + spc::kCommand, 64, cmd.bytes.begin());
    NvmeQueue queue = get_le32(buf, spc::kCommandSpecific) == spc::kNvmCommand ? NvmeQueue::Io : NvmeQueue::Admin;
    uint32_t out_len = get_le32(buf, spc::kToDeviceLength), in_len = get_le32(buf, spc::kFromDeviceLength);
    DataDir dir = DataDir::None;
    std::span<uint8_t> data;
    if (out_len) {
        uint32_t off = get_le32(buf, spc::kToDeviceOffset);
        if (!fits(buf, off, out_len)) return fail(err, kSysErrorInvalidParameter);
        dir = DataDir::Out;
        data = buf.subspan(off, out_len);
    } else if (in_len) {
        uint32_t off = get_le32(buf, spc::kFromDeviceOffset);
        if (!fits(buf, off, in_len)) return fail(err, kSysErrorInvalidParameter);
        dir = DataDir::In;
        data = buf.subspan(off, in_len);
    }
    uint32_t timeout = get_le32(buf, spc::kTimeout);
    Delivery d = deliver(dev, cmd, queue, dir, data, timeout ? timeout : 60);
    uint32_t status = spc::kStatusSuccess;
    if (d.status == DeviceStatus::Unsupported) status = spc::kStatusNotSupported;
    else if (d.status != DeviceStatus::Ok || d.nvme_error()) status = spc::kStatusError;
    put_le32(buf, spc::kReturnStatus, status);
    put_le32(buf, spc::kErrorCode, completion_status_field(d.completion));
    put_le32(buf, spc::kFixedReturn, d.dw0());
    return finish(d, err);
}

DeviceStatus query_property(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < spq::kData) return fail(err, kSysErrorInvalidParameter);
    uint32_t property = get_le32(buf, spq::kPropertyId);
    if ((property != spq::kAdapterProtocolSpecific && property != spq::kDeviceProtocolSpecific) ||
        get_le32(buf, spq::kProtocolType) != kProtocolTypeNvme)
        return unsupported(err);
    const uint32_t type = get_le32(buf, spq::kDataType), value = get_le32(buf, spq::kRequestValue);
    const uint32_t sub = get_le32(buf, spq::kSubValue);
    const uint32_t data_off = spq::kProtocolType + get_le32(buf, spq::kDataOffset);
    const uint32_t data_len = get_le32(buf, spq::kDataLength);
    if (!fits(buf, data_off, data_len) || data_len % 4) return fail(err, kSysErrorInvalidParameter);
    std::span<uint8_t> data = buf.subspan(data_off, data_len);

    NvmeCommand cmd;
    switch (type) {
        case spq::kDataIdentify:
            if (data_len < kIdentifyLength) return fail(err, kSysErrorInvalidParameter);
            cmd = nvme_identify(value, sub).command;
            data = data.first(kIdentifyLength);
            break;
        case spq::kDataLogPage: {
            if (data_len == 0) return fail(err, kSysErrorInvalidParameter);
            uint32_t sub4 = get_le32(buf, spq::kSubValue4);
            cmd = nvme_get_log_page(static_cast<uint8_t>(value), (sub4 >> 1) & 0xF, sub4 & 1, data_len).command;
            cmd.set_cdw(12, sub);                                // offset, low dword
            cmd.set_cdw(13, get_le32(buf, spq::kSubValue2));     // offset, high dword
            break;
        }
        case spq::kDataFeature:
            cmd = nvme_get_features(static_cast<uint8_t>(value)).command;
            cmd.set_cdw(10, value);
            cmd.set_cdw(11, sub);
            break;
        default: return fail(err, kSysErrorInvalidParameter);
    }
    Delivery d = deliver(dev, cmd, NvmeQueue::Admin, DataDir::In, data, 60);
    // The answer is a STORAGE_PROTOCOL_DATA_DESCRIPTOR over the same bytes.
    put_le32(buf, 0, spq::kDescriptorSize);
    put_le32(buf, 4, spq::kDescriptorSize);
    put_le32(buf, spq::kFixedReturn, d.dw0());
    return finish(d, err);
}

DeviceStatus set_property(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < sps::kRequestSize) return fail(err, kSysErrorInvalidParameter);
    if (get_le32(buf, sps::kPropertyId) != spq::kAdapterProtocolSpecific ||
        get_le32(buf, sps::kProtocolType) != kProtocolTypeNvme || get_le32(buf, sps::kDataType) != spq::kDataFeature)
        return unsupported(err);
    NvmeCommand cmd;
    cmd.set_opcode(nvme_op::kSetFeatures);
    cmd.set_cdw(10, get_le32(buf, sps::kValue));
    cmd.set_cdw(11, get_le32(buf, sps::kSubValue));
    Delivery d = deliver(dev, cmd, NvmeQueue::Admin, DataDir::None, {}, 60);
    put_le32(buf, 0, sps::kRequestSize);
    put_le32(buf, 4, sps::kRequestSize);
    put_le32(buf, sps::kFixedReturn, d.dw0());
    return finish(d, err);
}

// Firmware Image Download of one chunk; shared by the storage-stack and RST requests.
DeviceStatus firmware_chunk(DiskDevice& dev, uint64_t offset, std::span<uint8_t> chunk, uint32_t& err) {
    if (chunk.empty() || chunk.size() % 4 || offset % 4) return fail(err, kSysErrorInvalidParameter);
    NvmeRequestSpec s = nvme_firmware_download(static_cast<uint32_t>(offset), static_cast<uint32_t>(chunk.size()));
    return finish(deliver(dev, s.command, s.queue, s.dir, chunk, 60), err);
}

DeviceStatus firmware_activate(DiskDevice& dev, uint8_t slot, uint32_t flags, uint32_t& err) {
    // The request carries no commit action: switching selects action 2;
    // otherwise the downloaded image replaces the slot's and is activated at
    // once when the controller can do that without a reset (Identify
    // Controller byte 260 bit 4), else at the next reset.
    uint8_t action = 2;
    if (!(flags & hwfw::kFlagSwitchToExisting)) {
        std::vector<uint8_t> id(kIdentifyLength, 0);
        NvmeRequestSpec ident = nvme_identify(kCnsController, 0);
        Delivery di = deliver(dev, ident.command, ident.queue, ident.dir, id, 60);
        action = di.status == DeviceStatus::Ok && !di.nvme_error() && (id[260] & 0x10) ? 3 : 1;
    }
    NvmeRequestSpec s = nvme_firmware_commit(slot, action);
    Delivery d = deliver(dev, s.command, s.queue, s.dir, {}, 60);
    if (d.status == DeviceStatus::Ok && d.nvme_error() && commit_needs_reset(d))
        return fail(err, kSysErrorFirmwareNeedsReset);
    return finish(d, err);
}

DeviceStatus hw_firmware_download(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < hwfw::kImage || get_le32(buf, hwfw::kVersion) != hwfw::kDownloadVersion)
        return fail(err, kSysErrorInvalidParameter);
    uint64_t n = get_le64(buf, hwfw::kBufferSize);
    if (!fits(buf, hwfw::kImage, n)) return fail(err, kSysErrorInvalidParameter);
    return firmware_chunk(dev, get_le64(buf, hwfw::kOffset), buf.subspan(hwfw::kImage, n), err);
}

DeviceStatus hw_firmware_activate(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < hwfw::kActivateSize || get_le32(buf, hwfw::kVersion) != hwfw::kActivateSize)
        return fail(err, kSysErrorInvalidParameter);
    return firmware_activate(dev, buf[hwfw::kSlot], get_le32(buf, hwfw::kFlags), err);
}

DeviceStatus reinitialize_media(DiskDevice& dev, uint32_t& err) {
    NvmeRequestSpec s = nvme_format_user_erase();
    return finish(deliver(dev, s.command, s.queue, s.dir, {}, 60), err);
}

DeviceStatus nvme_mini_request(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < nvme_mini::kData || get_le32(buf, srb::kControlCode) != nvme_mini::kControlCode)
        return fail(err, kSysErrorInvalidParameter);
    uint32_t length = get_le32(buf, srb::kLength);
    if (length < 124 || !fits(buf, nvme_mini::kData, length - 124)) return fail(err, kSysErrorInvalidParameter);
    uint32_t dir_value = get_le32(buf, nvme_mini::kDirection);
    if (dir_value > 2) return fail(err, kSysErrorInvalidParameter);
    NvmeCommand cmd;
    std::copy_n(buf.begin() + nvme_mini::kCommand, 64, cmd.bytes.begin());
    NvmeQueue queue = get_le32(buf, nvme_mini::kQueueId) ? NvmeQueue::Io : NvmeQueue::Admin;
    std::span<uint8_t> data = buf.subspan(nvme_mini::kData, length - 124);
    Delivery d = deliver(dev, cmd, queue, static_cast<DataDir>(dir_value), data, get_le32(buf, srb::kTimeout));
    // The controller's status travels in the completion entry; the request
    // itself succeeds whenever the command was delivered.
    std::copy(d.completion.begin(), d.completion.end(), buf.begin() + nvme_mini::kCompletion);
    put_le32(buf, srb::kReturnCode, d.status == DeviceStatus::Ok ? 0 : 1);
    if (d.status != DeviceStatus::Ok) {
        err = d.system_error;
        return d.status;
    }
    return DeviceStatus::Ok;
}

DeviceStatus intel_nvm_request(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < intel_nvm::kData || get_le32(buf, srb::kControlCode) != intel_nvm::kControlCode)
        return fail(err, kSysErrorInvalidParameter);
    uint32_t off = get_le32(buf, intel_nvm::kDataOffset), len = get_le32(buf, intel_nvm::kDataLength);
    if (!fits(buf, off, len)) return fail(err, kSysErrorInvalidParameter);
    NvmeCommand cmd;
    std::copy_n(buf.begin() + intel_nvm::kCommand, 64, cmd.bytes.begin());
    NvmeQueue queue = get_le32(buf, intel_nvm::kQueue) ? NvmeQueue::Io : NvmeQueue::Admin;
    // The request has no direction field: the opcode's transfer bits say it.
    Delivery d = deliver(dev, cmd, queue, opcode_direction(cmd.opcode()), buf.subspan(off, len),
                         get_le32(buf, srb::kTimeout));
    std::copy(d.completion.begin(), d.completion.end(), buf.begin() + intel_nvm::kCompletion);
    put_le32(buf, srb::kReturnCode, d.status == DeviceStatus::Ok && !d.nvme_error() ? 0 : 1);
    return finish(d, err);
}

DeviceStatus intel_fw_request(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    if (buf.size() < intel_fw::kData || get_le32(buf, srb::kControlCode) != intel_fw::kControlCode)
        return fail(err, kSysErrorInvalidParameter);
    uint32_t off = get_le32(buf, intel_fw::kDataOffset), len = get_le32(buf, intel_fw::kDataLength);
    if (!fits(buf, off, len) || off != intel_fw::kData) return fail(err, kSysErrorInvalidParameter);
    DeviceStatus st;
    switch (get_le32(buf, intel_fw::kFunction)) {
        case intel_fw::kFunctionDownload: {
            uint64_t n = len >= 24 ? get_le64(buf, intel_fw::kImageLength) : UINT64_MAX;
            if (!fits(buf, intel_fw::kImage, n) || n + 24 > len) return fail(err, kSysErrorInvalidParameter);
            st = firmware_chunk(dev, get_le64(buf, intel_fw::kImageOffset), buf.subspan(intel_fw::kImage, n), err);
            break;
        }
        case intel_fw::kFunctionActivate:
            if (len < 12) return fail(err, kSysErrorInvalidParameter);
            st = firmware_activate(dev, buf[intel_fw::kSlot], get_le32(buf, intel_fw::kFlags), err);
            break;
        default: return fail(err, kSysErrorInvalidParameter);
    }
    put_le32(buf, srb::kReturnCode, st == DeviceStatus::Ok ? 0 : 1);
    return st;
}

DeviceStatus scsi_miniport(DiskDevice& dev, std::span<uint8_t> buf, uint32_t& err) {
    const std::string sig = srb_signature(buf);
    if (buf.size() >= srb::kHeaderSize && get_le32(buf, srb::kHeaderLength) != srb::kHeaderSize)
        return fail(err, kSysErrorInvalidParameter);
    if (sig == "NvmeMini") return nvme_mini_request(dev, buf, err);
    if (sig == "IntelNvm") return intel_nvm_request(dev, buf, err);
    if (sig == "IntelFw ") return intel_fw_request(dev, buf, err);
    return unsupported(err);
}

}  // namespace

DeviceStatus device_control(DiskDevice& dev, uint32_t control_code, std::span<uint8_t> buffer,
                            uint32_t& system_error) {
    system_error = 0;
    // A storage stack of the machine takes the request as it is.
    const DeviceStatus native = dev.control(control_code, buffer);
    if (native != DeviceStatus::Unsupported) {
        if (native != DeviceStatus::Ok) system_error = dev.last_error() ? dev.last_error() : kSysErrorIoDevice;
        return native;
    }
    switch (control_code) {
        case kIoctlStorageProtocolCommand: return protocol_command(dev, buffer, system_error);
        case kIoctlStorageQueryProperty: return query_property(dev, buffer, system_error);
        case kIoctlStorageSetProperty: return set_property(dev, buffer, system_error);
        case kIoctlStorageFirmwareDownload: return hw_firmware_download(dev, buffer, system_error);
        case kIoctlStorageFirmwareActivate: return hw_firmware_activate(dev, buffer, system_error);
        case kIoctlStorageReinitializeMedia: return reinitialize_media(dev, system_error);
        case kIoctlScsiMiniport: return scsi_miniport(dev, buffer, system_error);
        default: return unsupported(system_error);
    }
}

}  // namespace tb
