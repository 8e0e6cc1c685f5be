#include "disk/nvme_transport.h"

#include "script/error_policy.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "disk/device_control.h"
#include "disk/nvme_bridge.h"
#include "disk/nvme_requests.h"
#include "platform/disk_device.h"

namespace tb {

int32_t nvme_error_code(int transport_code) {
    switch (transport_code) {
        case kNvmeOpenFailed: return kErrOpenDisk;
        case kNvmeBadArgument: return kErrParam;
        case kNvmeActivateFailed: return kErrWriteIO;
        case kNvmeNotOnBridge: return kErrNotSupported;
        case kNvmeNotOnInbox: return kErrOfaDriver;
        case kNvmeOther: return kErrGeneric;
        case kNvmeStatusError:
        case kNvmeRequestFailed:
        default: return transport_code < 0 && find_error(transport_code) ? transport_code : kErrIoControl;
    }
}

namespace {

NvmeSleeper g_sleeper = nullptr;

constexpr uint32_t kFirmwareChunk = 4096;

std::unique_ptr<DiskDevice> open_device(const DiskRecord& record) {
    return disk_platform().open(nvme_open_path(record));
}

// One Windows request on a freshly opened handle.
struct ControlResult {
    bool opened = false;
    DeviceStatus status = DeviceStatus::Failed;
    uint32_t system_error = 0;
    bool ok() const { return opened && status == DeviceStatus::Ok; }
};

ControlResult control(const DiskRecord& record, uint32_t code, std::vector<uint8_t>& buffer) {
    ControlResult r;
    std::unique_ptr<DiskDevice> dev = open_device(record);
    if (!dev) return r;
    r.opened = true;
    r.status = device_control(*dev, code, buffer, r.system_error);
    return r;
}

int failed_code(const ControlResult& r) { return r.opened ? kNvmeRequestFailed : kNvmeOpenFailed; }

void copy_back(std::span<uint8_t> dst, const std::vector<uint8_t>& buf, size_t off) {
    size_t n = std::min(dst.size(), buf.size() > off ? buf.size() - off : 0);
    std::copy_n(buf.begin() + static_cast<std::ptrdiff_t>(off), n, dst.begin());
}

// ---- the per-transport generic senders -------------------------------------

NvmeResult send_inbox(const DiskRecord& record, const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                      std::span<uint8_t> data) {
    std::vector<uint8_t> buf = build_protocol_command(cmd, queue, dir, data);
    ControlResult r = control(record, kIoctlStorageProtocolCommand, buf);
    if (!r.ok() || get_le32(buf, spc::kReturnStatus) != spc::kStatusSuccess) return {failed_code(r), 0};
    if (dir == DataDir::In) copy_back(data, buf, spc::kData);
    return {kNvmeOk, get_le32(buf, spc::kFixedReturn)};
}

NvmeResult send_nvme_mini(const DiskRecord& record, const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                          std::span<uint8_t> data) {
    std::vector<uint8_t> buf = build_nvme_mini(cmd, queue, dir, data);
    ControlResult r = control(record, kIoctlScsiMiniport, buf);
    if (!r.ok()) return {failed_code(r), 0};
    std::span<const uint8_t> completion(buf.data() + nvme_mini::kCompletion, 16);
    uint32_t value = completion_dw0(completion);
    uint8_t sc = completion_status_code(completion);
    if (sc != 0 && sc != 0x0B) return {kNvmeStatusError, value};
    copy_back(data, buf, nvme_mini::kData);
    return {kNvmeOk, value};
}

NvmeResult send_intel_nvm(const DiskRecord& record, const NvmeCommand& cmd, NvmeQueue queue,
                          std::span<uint8_t> data) {
    std::vector<uint8_t> buf = build_intel_nvm(cmd, queue, static_cast<uint8_t>(record.scsi_path_id), data);
    ControlResult r = control(record, kIoctlScsiMiniport, buf);
    if (!r.ok()) return {failed_code(r), 0};
    copy_back(data, buf, intel_nvm::kData);
    return {kNvmeOk, get_le32(buf, intel_nvm::kCompletion)};
}

NvmeResult send_bridge(const DiskRecord& record, BridgeProtocol protocol, const NvmeCommand& cmd,
                       NvmeQueue queue, DataDir dir, std::span<uint8_t> data) {
    std::unique_ptr<DiskDevice> dev = open_device(record);
    if (!dev) return {kNvmeOpenFailed, 0};
    BridgeSequence seq = build_bridge_sequence(protocol, cmd, queue, dir, data);
    BridgeOutcome out = run_bridge_sequence(*dev, seq);
    if (!out.ok) return {kNvmeRequestFailed, 0};
    return {kNvmeOk, out.value};
}

// The RTL9210 single-command protocol carries only an opcode, the low byte
// of CDW10 and a data-in length: Identify and Get Log Page.
bool rtl9210_carries(const NvmeCommand& cmd, NvmeQueue queue, DataDir dir) {
    return queue == NvmeQueue::Admin && dir == DataDir::In &&
           (cmd.opcode() == nvme_op::kIdentify || cmd.opcode() == nvme_op::kGetLogPage);
}

// Every internal operation ends here when its transport has no request of
// its own for it.
NvmeResult send_any(const DiskRecord& record, const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                    std::span<uint8_t> data) {
    if (data.size() % 4) return {kNvmeBadArgument, 0};
    if (data.empty()) dir = DataDir::None;
    switch (nvme_transport_for(record.access_protocol)) {
        case NvmeTransport::Inbox: return send_inbox(record, cmd, queue, dir, data);
        case NvmeTransport::NvmeMini: return send_nvme_mini(record, cmd, queue, dir, data);
        case NvmeTransport::IntelNvm: return send_intel_nvm(record, cmd, queue, data);
        case NvmeTransport::JMicron: return send_bridge(record, BridgeProtocol::JMicron, cmd, queue, dir, data);
        case NvmeTransport::ASMedia: return send_bridge(record, BridgeProtocol::ASMedia, cmd, queue, dir, data);
        case NvmeTransport::Rtl9210B: return send_bridge(record, BridgeProtocol::Rtl9210B, cmd, queue, dir, data);
        case NvmeTransport::Rtl9210:
            if (!rtl9210_carries(cmd, queue, dir)) return {kNvmeNotOnBridge, 0};
            return send_bridge(record, BridgeProtocol::Rtl9210, cmd, queue, dir, data);
    }
    return {kNvmeOther, 0};
}

NvmeResult send_spec(const DiskRecord& record, const NvmeRequestSpec& spec, std::span<uint8_t> data) {
    return send_any(record, spec.command, spec.queue, spec.dir, data);
}

// ASMedia: the remembered variant first, the other one on failure; a
// success of the other one flips the flag.
NvmeResult send_asmedia_variant(const DiskRecord& record, const NvmeRequestSpec& spec, std::span<uint8_t> data,
                                bool& e6_flag) {
    auto attempt = [&](bool e6) {
        return send_bridge(record, e6 ? BridgeProtocol::AsmediaE6 : BridgeProtocol::ASMedia, spec.command,
                           spec.queue, spec.dir, data);
    };
    NvmeResult r = attempt(e6_flag);
    if (r.ok() || r.code == kNvmeOpenFailed) return r;
    r = attempt(!e6_flag);
    if (r.ok()) e6_flag = !e6_flag;
    return r;
}

// SCSI SECURITY PROTOCOL OUT (0xB5) / IN (0xA2) on the device path.
NvmeResult scsi_security(const DiskRecord& record, bool send, uint8_t protocol, uint16_t sp_specific,
                         std::span<uint8_t> data) {
    std::unique_ptr<DiskDevice> dev = open_device(record);
    if (!dev) return {kNvmeOpenFailed, 0};
    ScsiPassThrough s;
    s.cdb_length = 12;
    s.cdb[0] = send ? 0xB5 : 0xA2;
    s.cdb[1] = protocol;
    s.cdb[2] = static_cast<uint8_t>(sp_specific >> 8);
    s.cdb[3] = static_cast<uint8_t>(sp_specific);
    put_be32(s.cdb, 6, static_cast<uint32_t>(data.size()));
    s.dir = data.empty() ? DataDir::None : send ? DataDir::Out : DataDir::In;
    s.data = data;
    s.timeout_s = 60;
    if (dev->scsi(s) != DeviceStatus::Ok || s.scsi_status == 2) return {kNvmeRequestFailed, 0};
    return {kNvmeOk, 0};
}

NvmeResult security(const DiskRecord& record, bool send, uint8_t protocol, uint16_t sp_specific,
                    std::span<uint8_t> data) {
    NvmeRequestSpec spec = send ? nvme_security_send(protocol, sp_specific, static_cast<uint32_t>(data.size()))
                                : nvme_security_receive(protocol, sp_specific, static_cast<uint32_t>(data.size()));
    NvmeResult r = send_spec(record, spec, data);
    if (r.ok() || r.code == kNvmeOpenFailed || r.code == kNvmeBadArgument ||
        nvme_transport_for(record.access_protocol) != NvmeTransport::Inbox)
        return r;
    return scsi_security(record, send, protocol, sp_specific, data);
}

}  // namespace

NvmeTransport nvme_transport_for(uint8_t p) {
    switch (p) {
        case kProtoNvm: return NvmeTransport::Inbox;
        case kProtoIrstNvm: return NvmeTransport::IntelNvm;
        case kProtoJmi: return NvmeTransport::JMicron;
        case kProtoAsm2362:
        case kProtoAsm2364: return NvmeTransport::ASMedia;
        case kProtoRtl9210B: return NvmeTransport::Rtl9210B;
        case kProtoRtl9210: return NvmeTransport::Rtl9210;
        default: return NvmeTransport::NvmeMini;
    }
}

std::string nvme_open_path(const DiskRecord& r) {
    switch (nvme_transport_for(r.access_protocol)) {
        case NvmeTransport::Inbox: return r.device_path;
        case NvmeTransport::NvmeMini:
        case NvmeTransport::IntelNvm: return r.port_device_path;
        default: return r.first_volume_path.empty() ? r.device_path : r.first_volume_path;
    }
}

NvmeResult nvme_send(const DiskRecord& record, const NvmeCommand& command, NvmeQueue queue, DataDir dir,
                     std::span<uint8_t> data) {
    if (nvme_transport_for(record.access_protocol) == NvmeTransport::Rtl9210) return {kNvmeNotOnBridge, 0};
    return send_any(record, command, queue, dir, data);
}

int nvme_identify(const DiskRecord& record, uint32_t cns, uint32_t nsid, std::span<uint8_t> buffer) {
    if (buffer.size() < kIdentifyLength) return kNvmeBadArgument;
    buffer = buffer.first(kIdentifyLength);
    const NvmeRequestSpec spec = nvme_identify(cns, nsid);
    switch (nvme_transport_for(record.access_protocol)) {
        case NvmeTransport::Inbox: {
            std::vector<uint8_t> buf = build_identify_query(cns, nsid);
            ControlResult r = control(record, kIoctlStorageQueryProperty, buf);
            if (!r.ok()) return failed_code(r);
            copy_back(buffer, buf, spq::kData);
            return kNvmeOk;
        }
        case NvmeTransport::ASMedia:
            return send_asmedia_variant(record, spec, buffer, asmedia_variant_flags().identify_e6).code;
        default: return send_spec(record, spec, buffer).code;
    }
}

NvmeResult nvme_get_log_page(const DiskRecord& record, uint8_t log_id, uint8_t lsp, bool rae,
                             std::span<uint8_t> buffer) {
    if (buffer.empty() || buffer.size() % 4) return {kNvmeBadArgument, 0};
    const uint32_t length = static_cast<uint32_t>(buffer.size());
    const NvmeRequestSpec spec = nvme_get_log_page(log_id, lsp, rae, length);
    switch (nvme_transport_for(record.access_protocol)) {
        case NvmeTransport::Inbox: {
            std::vector<uint8_t> buf = build_log_page_query(log_id, lsp, rae, length);
            ControlResult r = control(record, kIoctlStorageQueryProperty, buf);
            if (!r.ok()) return {failed_code(r), 0};
            copy_back(buffer, buf, spq::kData);
            return {kNvmeOk, get_le32(buf, spq::kFixedReturn)};
        }
        case NvmeTransport::ASMedia:
            return send_asmedia_variant(record, spec, buffer, asmedia_variant_flags().log_page_e6);
        default: return send_spec(record, spec, buffer);
    }
}

NvmeResult nvme_get_features(const DiskRecord& record, uint8_t feature_id) {
    switch (nvme_transport_for(record.access_protocol)) {
        case NvmeTransport::Inbox: {
            std::vector<uint8_t> buf = build_feature_query(feature_id);
            ControlResult r = control(record, kIoctlStorageQueryProperty, buf);
            if (!r.ok()) return {failed_code(r), 0};
            return {kNvmeOk, get_le32(buf, spq::kFixedReturn)};
        }
        default: return send_spec(record, nvme_get_features(feature_id), {});
    }
}

NvmeResult nvme_set_features(const DiskRecord& record, uint8_t feature_id, bool save, uint32_t cdw11) {
    const NvmeRequestSpec spec = nvme_set_features(feature_id, save, cdw11);
    if (nvme_transport_for(record.access_protocol) != NvmeTransport::Inbox) return send_spec(record, spec, {});
    if (feature_id == 0x06) return {kNvmeNotOnInbox, 0};  // volatile write cache: the driver keeps it
    std::vector<uint8_t> buf = build_set_feature_property(spec.command.cdw(10), cdw11);
    ControlResult r = control(record, kIoctlStorageSetProperty, buf);
    if (!r.ok()) return {failed_code(r), 0};
    return {kNvmeOk, get_le32(buf, sps::kFixedReturn)};
}

int nvme_firmware_download(const DiskRecord& record, std::span<const uint8_t> image,
                           const FirmwareProgress& progress) {
    if (image.empty()) return kNvmeBadArgument;
    const NvmeTransport transport = nvme_transport_for(record.access_protocol);
    const uint32_t total = static_cast<uint32_t>(image.size());
    std::vector<uint8_t> chunk;
    for (uint32_t offset = 0; offset < total;) {
        const uint32_t n = std::min(kFirmwareChunk, total - offset);
        // The last piece is padded with zeros to whole dwords.
        chunk.assign(image.begin() + offset, image.begin() + offset + n);
        chunk.resize((n + 3) / 4 * 4, 0);
        int code;
        if (transport == NvmeTransport::Inbox || transport == NvmeTransport::IntelNvm) {
            std::vector<uint8_t> buf = transport == NvmeTransport::Inbox
                                           ? build_hw_firmware_download(offset, chunk)
                                           : build_intel_fw_download(static_cast<uint8_t>(record.scsi_path_id),
                                                                     offset, chunk);
            ControlResult r = control(
                record, transport == NvmeTransport::Inbox ? kIoctlStorageFirmwareDownload : kIoctlScsiMiniport, buf);
            code = r.ok() ? kNvmeOk : failed_code(r);
        } else {
            NvmeRequestSpec spec = nvme_firmware_download(offset, static_cast<uint32_t>(chunk.size()));
            code = send_spec(record, spec, chunk).code;
        }
        if (code != kNvmeOk) return code;
        offset += n;
        if (progress) progress(offset, total);
    }
    return kNvmeOk;
}

int nvme_firmware_commit(const DiskRecord& record, uint8_t slot, uint8_t action) {
    const NvmeTransport transport = nvme_transport_for(record.access_protocol);
    if (transport == NvmeTransport::Inbox || transport == NvmeTransport::IntelNvm) {
        std::vector<uint8_t> buf = transport == NvmeTransport::Inbox
                                       ? build_hw_firmware_activate(slot, action)
                                       : build_intel_fw_activate(static_cast<uint8_t>(record.scsi_path_id), slot,
                                                                 action);
        ControlResult r = control(
            record, transport == NvmeTransport::Inbox ? kIoctlStorageFirmwareActivate : kIoctlScsiMiniport, buf);
        if (!r.opened) return kNvmeOpenFailed;
        if (!r.ok() && r.system_error != kSysErrorFirmwareNeedsReset)
            return transport == NvmeTransport::Inbox ? kNvmeActivateFailed : kNvmeRequestFailed;
        if (transport == NvmeTransport::Inbox) nvme_sleep_ms(1000);
        return kNvmeOk;
    }
    return send_spec(record, nvme_firmware_commit(slot, action), {}).code;
}

int nvme_format_user_erase(const DiskRecord& record) {
    if (nvme_transport_for(record.access_protocol) == NvmeTransport::Inbox) {
        std::vector<uint8_t> buf = build_reinitialize_media();
        ControlResult r = control(record, kIoctlStorageReinitializeMedia, buf);
        return r.ok() ? kNvmeOk : failed_code(r);
    }
    return send_spec(record, nvme_format_user_erase(), {}).code;
}

int nvme_format_lba(const DiskRecord& record, uint8_t lba_format) {
    if (nvme_transport_for(record.access_protocol) == NvmeTransport::Inbox) return kNvmeNotOnInbox;
    return send_spec(record, nvme_format_lba(lba_format), {}).code;
}

NvmeResult nvme_security_send(const DiskRecord& record, uint8_t protocol, uint16_t sp_specific,
                              std::span<uint8_t> data) {
    return security(record, true, protocol, sp_specific, data);
}

NvmeResult nvme_security_receive(const DiskRecord& record, uint8_t protocol, uint16_t sp_specific,
                                 std::span<uint8_t> data) {
    return security(record, false, protocol, sp_specific, data);
}

int nvme_deallocate(const DiskRecord& record, uint64_t start_lba, uint32_t blocks) {
    NvmeRequestSpec spec = nvme_dataset_management();
    std::vector<uint8_t> ranges(spec.length, 0);
    fill_dsm_range(ranges, start_lba, blocks);
    return send_spec(record, spec, ranges).code;
}

AsmediaVariantFlags& asmedia_variant_flags() {
    static AsmediaVariantFlags flags;
    return flags;
}

void set_nvme_sleeper(NvmeSleeper s) { g_sleeper = s; }

void nvme_sleep_ms(uint32_t ms) {
    if (g_sleeper) g_sleeper(ms);
    else std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tb
