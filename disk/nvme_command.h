// One NVMe command: the 64-byte submission queue entry (CDW0..CDW15,
// little-endian; opcode in byte 0, NSID = CDW1), the 16-byte completion
// entry, the builders of every standard admin command the system sends and
// of the vendor commands, and the debug trace texts.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/disk_device.h"

namespace tb {

// Which submission queue a command goes to.
enum class NvmeQueue : uint8_t { Admin = 0, Io = 1 };

struct NvmeCommand {
    std::array<uint8_t, 64> bytes{};

    uint32_t cdw(int i) const;          // i in 0..15
    void set_cdw(int i, uint32_t v);
    uint8_t opcode() const { return bytes[0]; }
    void set_opcode(uint8_t op) { bytes[0] = op; }
    uint32_t nsid() const { return cdw(1); }
    void set_nsid(uint32_t v) { set_cdw(1, v); }
};

// A built command with where and how it travels.
struct NvmeRequestSpec {
    NvmeCommand command;
    NvmeQueue queue = NvmeQueue::Admin;
    DataDir dir = DataDir::None;
    uint32_t length = 0;  // data bytes
};

// Completion entry helpers (16 bytes: DW0 at 0, status half-word at 14-15).
uint32_t completion_dw0(std::span<const uint8_t> completion);
uint16_t completion_status_field(std::span<const uint8_t> completion);  // bits 15..1 of the half-word
uint8_t completion_status_code(std::span<const uint8_t> completion);    // bits 1-8 (SC)
uint8_t completion_status_type(std::span<const uint8_t> completion);    // bits 9-11 (SCT)
// Writes DW0 and the status half-word (phase bit 0 left clear) from SCT/SC.
void set_completion(std::span<uint8_t> completion, uint32_t dw0, uint8_t status_code, uint8_t status_type = 0);

// Little-endian field helpers shared by the request codecs.
uint32_t get_le32(std::span<const uint8_t> b, size_t off);
uint16_t get_le16(std::span<const uint8_t> b, size_t off);
uint64_t get_le64(std::span<const uint8_t> b, size_t off);
void put_le32(std::span<uint8_t> b, size_t off, uint32_t v);
void put_le16(std::span<uint8_t> b, size_t off, uint16_t v);
void put_le64(std::span<uint8_t> b, size_t off, uint64_t v);
uint32_t get_be32(std::span<const uint8_t> b, size_t off);
void put_be32(std::span<uint8_t> b, size_t off, uint32_t v);
void put_be24(std::span<uint8_t> b, size_t off, uint32_t v);

// Opcodes.
namespace nvme_op {
constexpr uint8_t kGetLogPage = 0x02;
constexpr uint8_t kIdentify = 0x06;
constexpr uint8_t kSetFeatures = 0x09;
constexpr uint8_t kGetFeatures = 0x0A;
constexpr uint8_t kFirmwareCommit = 0x10;
constexpr uint8_t kFirmwareDownload = 0x11;
constexpr uint8_t kFormatNvm = 0x80;
constexpr uint8_t kSecuritySend = 0x81;
constexpr uint8_t kSecurityReceive = 0x82;
constexpr uint8_t kDatasetManagement = 0x09;  // I/O queue
}  // namespace nvme_op

constexpr uint32_t kNvmeAllNamespaces = 0xFFFFFFFF;
constexpr uint32_t kIdentifyLength = 4096;
// Identify CNS values.
constexpr uint32_t kCnsNamespace = 0, kCnsController = 1, kCnsActiveNamespaces = 2, kCnsNamespaceDescriptors = 3;
constexpr uint32_t kVendorSignature = 0x717A7673;  // CDW2 of every vendor command

// Standard admin commands (NSID 0xFFFFFFFF unless the command says otherwise).
NvmeRequestSpec nvme_identify(uint32_t cns, uint32_t nsid);                        // 4096 in
NvmeRequestSpec nvme_get_log_page(uint8_t log_id, uint8_t lsp, bool rae, uint32_t length);  // in
NvmeRequestSpec nvme_get_features(uint8_t feature_id);                             // NSID 0, no data
NvmeRequestSpec nvme_set_features(uint8_t feature_id, bool save, uint32_t cdw11);  // NSID 0, no data
NvmeRequestSpec nvme_firmware_download(uint32_t offset, uint32_t chunk_length);    // out
NvmeRequestSpec nvme_firmware_commit(uint8_t slot, uint8_t action);                // NSID 0, no data
NvmeRequestSpec nvme_format_user_erase();                                          // CDW10 0x200
NvmeRequestSpec nvme_format_lba(uint8_t lba_format);                               // f + 0x200
NvmeRequestSpec nvme_security_send(uint8_t protocol, uint16_t sp_specific, uint32_t length);
NvmeRequestSpec nvme_security_receive(uint8_t protocol, uint16_t sp_specific, uint32_t length);
// Dataset Management (deallocate) on the I/O queue: NSID 1, one range in 4096 bytes out.
NvmeRequestSpec nvme_dataset_management();
// Fills the first range entry (context attributes 0, length in blocks, starting block).
void fill_dsm_range(std::span<uint8_t> buffer, uint64_t start_lba, uint32_t blocks);

// Vendor command: CDW2 = signature, CDW10 = length / 4, NSID 0xFFFFFFFF
// except 1 for opcode 0xD1, 0xFC with CDW12 0x10A and 0xC0 with CDW12 0x85.
// The direction follows the opcode's transfer bits (01 out, 10 in) when
// there is data.
NvmeRequestSpec nvme_vendor_command(uint8_t opcode, uint32_t length, uint32_t cdw12, uint32_t cdw13 = 0,
                                    uint32_t cdw14 = 0, uint32_t cdw15 = 0);
// The data direction an opcode's transfer bits name (bits 0-1: 01 out, 10 in).
DataDir opcode_direction(uint8_t opcode);

// "NODATA", "OUT" or "IN".
const char* io_text(DataDir dir);

// The trace line of a command ("NVMe(IO:\"%s\", DataLenByte:%d, ...);"); the
// vendor form also shows CDW2.
std::string nvme_trace_text(const NvmeCommand& cmd, DataDir dir, uint32_t length);
std::string nvme_vendor_trace_text(const NvmeCommand& cmd, DataDir dir, uint32_t length);
// The trace line at the process's debug level: empty at level 0.
std::string nvme_debug_trace(const NvmeRequestSpec& spec, bool vendor_form = false);

}  // namespace tb
