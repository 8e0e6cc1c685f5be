#include "disk/nvme_requests.h"

#include <algorithm>
#include <cstring>

namespace tb {

namespace {

void copy_in(std::vector<uint8_t>& buf, size_t off, std::span<const uint8_t> src) {
    std::copy(src.begin(), src.end(), buf.begin() + static_cast<std::ptrdiff_t>(off));
}

void put_srb_header(std::vector<uint8_t>& buf, const char (&signature)[9], uint32_t control_code,
                    uint32_t length) {
    put_le32(buf, srb::kHeaderLength, srb::kHeaderSize);
    std::memcpy(buf.data() + srb::kSignature, signature, 8);
    put_le32(buf, srb::kTimeout, srb::kTimeoutSeconds);
    put_le32(buf, srb::kControlCode, control_code);
    put_le32(buf, srb::kLength, length);
}

}  // namespace

std::vector<uint8_t> build_protocol_command(const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                                            std::span<const uint8_t> data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> buf(spc::kData + n, 0);
    put_le32(buf, spc::kVersion, 1);
    put_le32(buf, spc::kLength, spc::kStructLength);
    put_le32(buf, spc::kProtocolType, kProtocolTypeNvme);
    put_le32(buf, spc::kFlags, spc::kAdapterRequest);
    put_le32(buf, spc::kCommandLength, 64);
    put_le32(buf, spc::kTimeout, 60);
    put_le32(buf, spc::kCommandSpecific, queue == NvmeQueue::Io ? spc::kNvmCommand : spc::kAdminCommand);
    if (dir == DataDir::Out) {
        put_le32(buf, spc::kToDeviceLength, n);
        put_le32(buf, spc::kToDeviceOffset, spc::kData);
        copy_in(buf, spc::kData, data);
    } else if (dir == DataDir::In) {
        put_le32(buf, spc::kFromDeviceLength, n);
        put_le32(buf, spc::kFromDeviceOffset, spc::kData);
    }
    copy_in(buf, spc::kCommand, cmd.bytes);
    return buf;
}

std::vector<uint8_t> build_property_query(uint32_t property_id, uint32_t data_type, uint32_t value,
                                          uint32_t sub_value, uint32_t sub_value4, uint32_t data_length) {
    std::vector<uint8_t> buf(spq::kData + data_length, 0);
    put_le32(buf, spq::kPropertyId, property_id);
    put_le32(buf, spq::kQueryType, 0);
    put_le32(buf, spq::kProtocolType, kProtocolTypeNvme);
    put_le32(buf, spq::kDataType, data_type);
    put_le32(buf, spq::kRequestValue, value);
    put_le32(buf, spq::kSubValue, sub_value);
    put_le32(buf, spq::kDataOffset, spq::kSpecificDataSize);
    put_le32(buf, spq::kDataLength, data_length);
    put_le32(buf, spq::kSubValue4, sub_value4);
    return buf;
}

std::vector<uint8_t> build_identify_query(uint32_t cns, uint32_t nsid) {
    uint32_t property = cns <= 1 ? spq::kAdapterProtocolSpecific : spq::kDeviceProtocolSpecific;
    return build_property_query(property, spq::kDataIdentify, cns, nsid, 0, kIdentifyLength);
}

std::vector<uint8_t> build_log_page_query(uint8_t log_id, uint8_t lsp, bool rae, uint32_t length) {
    uint32_t sub4 = (lsp & 0xFu) * 2 + (rae ? 1u : 0u);
    return build_property_query(spq::kDeviceProtocolSpecific, spq::kDataLogPage, log_id, 0, sub4,
                                std::max<uint32_t>(4096, length));
}

std::vector<uint8_t> build_feature_query(uint8_t feature_id) {
    return build_property_query(spq::kAdapterProtocolSpecific, spq::kDataFeature, feature_id, 0, 0, 0);
}

std::vector<uint8_t> build_set_feature_property(uint32_t cdw10, uint32_t cdw11) {
    std::vector<uint8_t> buf(sps::kRequestSize, 0);
    put_le32(buf, sps::kPropertyId, spq::kAdapterProtocolSpecific);
    put_le32(buf, sps::kSetType, 0);
    put_le32(buf, sps::kProtocolType, kProtocolTypeNvme);
    put_le32(buf, sps::kDataType, spq::kDataFeature);
    put_le32(buf, sps::kValue, cdw10);
    put_le32(buf, sps::kSubValue, cdw11);
    put_le32(buf, sps::kDataOffset, sps::kSpecificDataSize);
    put_le32(buf, sps::kDataLength, 0);
    return buf;
}

std::vector<uint8_t> build_hw_firmware_download(uint64_t offset, std::span<const uint8_t> chunk) {
    const uint32_t n = static_cast<uint32_t>(chunk.size());
    std::vector<uint8_t> buf(hwfw::kDownloadVersion + n, 0);
    put_le32(buf, hwfw::kVersion, hwfw::kDownloadVersion);
    put_le32(buf, hwfw::kSize, hwfw::kDownloadVersion + n);
    put_le32(buf, hwfw::kFlags, hwfw::kFlagController);
    buf[hwfw::kSlot] = 1;
    put_le64(buf, hwfw::kOffset, offset);
    put_le64(buf, hwfw::kBufferSize, n);
    copy_in(buf, hwfw::kImage, chunk);
    return buf;
}

namespace {

// Only action 2 activates the image already in the slot; actions 1 and 3
// (and 0) first replace the slot's image with the one just downloaded, so
// they must not ask for the existing firmware.
uint32_t activation_flags(uint8_t action) {
    return action == 2 ? hwfw::kFlagController | hwfw::kFlagSwitchToExisting : hwfw::kFlagController;
}

}  // namespace

std::vector<uint8_t> build_hw_firmware_activate(uint8_t slot, uint8_t action) {
    std::vector<uint8_t> buf(hwfw::kActivateSize, 0);
    put_le32(buf, hwfw::kVersion, hwfw::kActivateSize);
    put_le32(buf, hwfw::kSize, hwfw::kActivateSize);
    put_le32(buf, hwfw::kFlags,
             activation_flags(action));
    buf[hwfw::kSlot] = slot;
    return buf;
}

std::vector<uint8_t> build_reinitialize_media() {
    std::vector<uint8_t> buf(16, 0);
    put_le32(buf, 0, 16);
    put_le32(buf, 4, 16);
    put_le32(buf, 8, 60);
    return buf;
}

std::string srb_signature(std::span<const uint8_t> buffer) {
    if (buffer.size() < srb::kHeaderSize) return {};
    return std::string(reinterpret_cast<const char*>(buffer.data() + srb::kSignature), 8);
}

std::vector<uint8_t> build_nvme_mini(const NvmeCommand& cmd, NvmeQueue queue, DataDir dir,
                                     std::span<const uint8_t> data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    const uint32_t size = nvme_mini::kData + n;
    std::vector<uint8_t> buf(size, 0);
    put_srb_header(buf, "NvmeMini", nvme_mini::kControlCode, 124 + n);
    copy_in(buf, nvme_mini::kCommand, cmd.bytes);
    put_le32(buf, nvme_mini::kDirection, static_cast<uint32_t>(dir));
    put_le32(buf, nvme_mini::kQueueId, queue == NvmeQueue::Io ? 1 : 0);
    put_le32(buf, nvme_mini::kDataBufferLength, size);
    put_le32(buf, nvme_mini::kMetadataLength, 0);
    put_le32(buf, nvme_mini::kReturnBufferLength, size);
    if (dir == DataDir::Out) copy_in(buf, nvme_mini::kData, data);
    return buf;
}

std::vector<uint8_t> build_intel_nvm(const NvmeCommand& cmd, NvmeQueue queue, uint8_t port,
                                     std::span<const uint8_t> data) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    const uint32_t size = intel_nvm::kExtra + n;
    std::vector<uint8_t> buf(size, 0);
    put_srb_header(buf, "IntelNvm", intel_nvm::kControlCode, size - srb::kHeaderSize);
    buf[intel_nvm::kVersion] = 1;
    buf[intel_nvm::kPort] = port;
    copy_in(buf, intel_nvm::kCommand, cmd.bytes);
    put_le32(buf, intel_nvm::kQueue, queue == NvmeQueue::Io ? 1 : 0);
    put_le32(buf, intel_nvm::kDataOffset, intel_nvm::kData);
    put_le32(buf, intel_nvm::kDataLength, n);
    copy_in(buf, intel_nvm::kData, data);
    return buf;
}

namespace {

std::vector<uint8_t> intel_fw_request(uint8_t path_id, uint32_t function, uint32_t flags, uint32_t payload) {
    const uint32_t size = intel_fw::kData + payload;
    std::vector<uint8_t> buf(size, 0);
    put_srb_header(buf, "IntelFw ", intel_fw::kControlCode, size - srb::kHeaderSize);
    buf[intel_fw::kVersion] = 1;
    buf[intel_fw::kPathId] = path_id;
    put_le32(buf, intel_fw::kBlockVersion, 1);
    put_le32(buf, intel_fw::kBlockSize, 24);
    put_le32(buf, intel_fw::kFunction, function);
    put_le32(buf, intel_fw::kFlags, flags);
    put_le32(buf, intel_fw::kDataOffset, intel_fw::kData);
    put_le32(buf, intel_fw::kDataLength, payload);
    put_le32(buf, intel_fw::kPayloadVersion, 1);
    return buf;
}

}  // namespace

std::vector<uint8_t> build_intel_fw_download(uint8_t path_id, uint64_t offset, std::span<const uint8_t> chunk) {
    const uint32_t n = static_cast<uint32_t>(chunk.size());
    std::vector<uint8_t> buf =
        intel_fw_request(path_id, intel_fw::kFunctionDownload, hwfw::kFlagController, 24 + n);
    put_le32(buf, intel_fw::kPayloadSize, 24 + n);
    put_le64(buf, intel_fw::kImageOffset, offset);
    put_le64(buf, intel_fw::kImageLength, n);
    copy_in(buf, intel_fw::kImage, chunk);
    return buf;
}

std::vector<uint8_t> build_intel_fw_activate(uint8_t path_id, uint8_t slot, uint8_t action) {
    uint32_t flags = activation_flags(action);
    std::vector<uint8_t> buf = intel_fw_request(path_id, intel_fw::kFunctionActivate, flags, 12);
    put_le32(buf, intel_fw::kPayloadSize, 12);
    buf[intel_fw::kSlot] = slot;
    return buf;
}

}  // namespace tb
