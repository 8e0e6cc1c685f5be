#include "disk/nvme_command.h"

#include <algorithm>

#include "common/format.h"
#include "script/app_context.h"

namespace tb {

uint32_t get_le32(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

uint16_t get_le16(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
}

uint64_t get_le64(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint64_t>(get_le32(b, off)) | static_cast<uint64_t>(get_le32(b, off + 4)) << 32;
}

void put_le32(std::span<uint8_t> b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

void put_le16(std::span<uint8_t> b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

void put_le64(std::span<uint8_t> b, size_t off, uint64_t v) {
    put_le32(b, off, static_cast<uint32_t>(v));
    put_le32(b, off + 4, static_cast<uint32_t>(v >> 32));
}

uint32_t get_be32(std::span<const uint8_t> b, size_t off) {
    return static_cast<uint32_t>(b[off]) << 24 | static_cast<uint32_t>(b[off + 1]) << 16 |
           static_cast<uint32_t>(b[off + 2]) << 8 | static_cast<uint32_t>(b[off + 3]);
}

void put_be32(std::span<uint8_t> b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void put_be24(std::span<uint8_t> b, size_t off, uint32_t v) {
    for (int i = 0; i < 3; ++i) b[off + i] = static_cast<uint8_t>(v >> (16 - 8 * i));
}

uint32_t NvmeCommand::cdw(int i) const { return get_le32(bytes, static_cast<size_t>(i) * 4); }

void NvmeCommand::set_cdw(int i, uint32_t v) { put_le32(bytes, static_cast<size_t>(i) * 4, v); }

uint32_t completion_dw0(std::span<const uint8_t> completion) { return get_le32(completion, 0); }

uint16_t completion_status_field(std::span<const uint8_t> completion) {
    return static_cast<uint16_t>(get_le16(completion, 14) >> 1);
}

uint8_t completion_status_code(std::span<const uint8_t> completion) {
    return static_cast<uint8_t>(get_le16(completion, 14) >> 1);
}

uint8_t completion_status_type(std::span<const uint8_t> completion) {
    return static_cast<uint8_t>((get_le16(completion, 14) >> 9) & 7);
}

void set_completion(std::span<uint8_t> completion, uint32_t dw0, uint8_t status_code, uint8_t status_type) {
    std::fill(completion.begin(), completion.end(), uint8_t{0});
    put_le32(completion, 0, dw0);
    put_le16(completion, 14, static_cast<uint16_t>((status_type & 7) << 9 | status_code << 1));
}

namespace {

NvmeRequestSpec admin(uint8_t opcode, uint32_t nsid, uint32_t cdw10, DataDir dir, uint32_t length) {
    NvmeRequestSpec s;
    s.command.set_opcode(opcode);
    s.command.set_nsid(nsid);
    s.command.set_cdw(10, cdw10);
    s.dir = dir;
    s.length = length;
    return s;
}

}  // namespace

NvmeRequestSpec nvme_identify(uint32_t cns, uint32_t nsid) {
    return admin(nvme_op::kIdentify, nsid, cns, DataDir::In, kIdentifyLength);
}

NvmeRequestSpec nvme_get_log_page(uint8_t log_id, uint8_t lsp, bool rae, uint32_t length) {
    uint32_t numd = length / 4 - 1;  // 0's based dword count
    uint32_t cdw10 = log_id + (lsp & 0xFu) * 0x100 + (rae ? 0x8000u : 0u) + numd * 0x10000u;
    return admin(nvme_op::kGetLogPage, kNvmeAllNamespaces, cdw10, DataDir::In, length);
}

NvmeRequestSpec nvme_get_features(uint8_t feature_id) {
    return admin(nvme_op::kGetFeatures, 0, feature_id, DataDir::None, 0);
}

NvmeRequestSpec nvme_set_features(uint8_t feature_id, bool save, uint32_t cdw11) {
    NvmeRequestSpec s = admin(nvme_op::kSetFeatures, 0, feature_id + (save ? 0x80000000u : 0u), DataDir::None, 0);
    s.command.set_cdw(11, cdw11);
    return s;
}

NvmeRequestSpec nvme_firmware_download(uint32_t offset, uint32_t chunk_length) {
    NvmeRequestSpec s =
        admin(nvme_op::kFirmwareDownload, kNvmeAllNamespaces, chunk_length / 4 - 1, DataDir::Out, chunk_length);
    s.command.set_cdw(11, offset / 4);
    return s;
}

NvmeRequestSpec nvme_firmware_commit(uint8_t slot, uint8_t action) {
    return admin(nvme_op::kFirmwareCommit, 0, slot + static_cast<uint32_t>(action) * 8, DataDir::None, 0);
}

NvmeRequestSpec nvme_format_user_erase() {
    return admin(nvme_op::kFormatNvm, kNvmeAllNamespaces, 0x200, DataDir::None, 0);
}

NvmeRequestSpec nvme_format_lba(uint8_t lba_format) {
    return admin(nvme_op::kFormatNvm, kNvmeAllNamespaces, (lba_format & 0xFu) + 0x200u, DataDir::None, 0);
}

namespace {

NvmeRequestSpec security(uint8_t opcode, uint8_t protocol, uint16_t sp_specific, uint32_t length, DataDir dir) {
    uint32_t cdw10 = static_cast<uint32_t>(protocol) * 0x1000000u + static_cast<uint32_t>(sp_specific) * 0x100u;
    NvmeRequestSpec s = admin(opcode, kNvmeAllNamespaces, cdw10, length ? dir : DataDir::None, length);
    s.command.set_cdw(11, length);
    return s;
}

}  // namespace

NvmeRequestSpec nvme_security_send(uint8_t protocol, uint16_t sp_specific, uint32_t length) {
    return security(nvme_op::kSecuritySend, protocol, sp_specific, length, DataDir::Out);
}

NvmeRequestSpec nvme_security_receive(uint8_t protocol, uint16_t sp_specific, uint32_t length) {
    return security(nvme_op::kSecurityReceive, protocol, sp_specific, length, DataDir::In);
}

NvmeRequestSpec nvme_dataset_management() {
    NvmeRequestSpec s = admin(nvme_op::kDatasetManagement, 1, 0, DataDir::Out, 4096);
    s.command.set_cdw(11, 4);  // attribute: deallocate
    s.queue = NvmeQueue::Io;
    return s;
}

void fill_dsm_range(std::span<uint8_t> buffer, uint64_t start_lba, uint32_t blocks) {
    put_le32(buffer, 0, 0);
    put_le32(buffer, 4, blocks);
    put_le64(buffer, 8, start_lba);
}

DataDir opcode_direction(uint8_t opcode) {
    switch (opcode & 3) {
        case 1: return DataDir::Out;
        case 2: return DataDir::In;
        default: return DataDir::None;
    }
}

NvmeRequestSpec nvme_vendor_command(uint8_t opcode, uint32_t length, uint32_t cdw12, uint32_t cdw13,
                                    uint32_t cdw14, uint32_t cdw15) {
    bool ns1 = opcode == 0xD1 || (opcode == 0xFC && cdw12 == 0x10A) || (opcode == 0xC0 && cdw12 == 0x85);
    NvmeRequestSpec s = admin(opcode, ns1 ? 1u : kNvmeAllNamespaces, length / 4,
                              length ? opcode_direction(opcode) : DataDir::None, length);
    s.command.set_cdw(2, kVendorSignature);
    s.command.set_cdw(12, cdw12);
    s.command.set_cdw(13, cdw13);
    s.command.set_cdw(14, cdw14);
    s.command.set_cdw(15, cdw15);
    return s;
}

const char* io_text(DataDir dir) {
    switch (dir) {
        case DataDir::Out: return "OUT";
        case DataDir::In: return "IN";
        default: return "NODATA";
    }
}

std::string nvme_trace_text(const NvmeCommand& c, DataDir dir, uint32_t length) {
    return fmt("NVMe(IO:\"%s\", DataLenByte:%d, OpCode:0x%X, NSID:0x%X, CDW10:0x%X, CDW12:0x%X, CDW13:0x%X, "
               "CDW14:0x%X, CDW15:0x%X);",
               io_text(dir), length, c.opcode(), c.nsid(), c.cdw(10), c.cdw(12), c.cdw(13), c.cdw(14), c.cdw(15));
}

std::string nvme_vendor_trace_text(const NvmeCommand& c, DataDir dir, uint32_t length) {
    return fmt("NVMe(IO:\"%s\", DataLenByte:%d, OpCode:0x%X, NSID:0x%X, CDW2:0x%X, CDW10:0x%X, CDW12:0x%X, "
               "CDW13:0x%X, CDW14:0x%X, CDW15:0x%X);",
               io_text(dir), length, c.opcode(), c.nsid(), c.cdw(2), c.cdw(10), c.cdw(12), c.cdw(13), c.cdw(14),
               c.cdw(15));
}

std::string nvme_debug_trace(const NvmeRequestSpec& spec, bool vendor_form) {
    if (app().debug_level == 0) return {};
    return vendor_form ? nvme_vendor_trace_text(spec.command, spec.dir, spec.length)
                       : nvme_trace_text(spec.command, spec.dir, spec.length);
}

}  // namespace tb
