// Sending NVMe commands to a disk through the path its access protocol
// selects: the inbox driver's storage protocol interface, the "NvmeMini" or
// "IntelNvm" miniport requests, or one of the USB-to-NVMe bridge protocols.
// Every request opens its own device handle and closes it before returning.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "disk/disk_record.h"
#include "disk/nvme_command.h"

namespace tb {

// Transport result codes.
enum NvmeCode : int {
    kNvmeOk = 1,
    kNvmeStatusError = 0,      // the controller completed with an error status (miniport path)
    kNvmeOpenFailed = -1,
    kNvmeBadArgument = -2,
    kNvmeActivateFailed = -4,  // the inbox driver refused the firmware activation
    kNvmeRequestFailed = -74,  // the request failed, or CHECK CONDITION
    kNvmeNotOnBridge = -79,    // not available on this bridge or device
    kNvmeNotOnInbox = -81,     // not available through the inbox driver
    kNvmeOther = -255,
};

// The error-table code of a transport result that is not success: each
// transport code has its entry; a controller error status counts as a
// failed request.
int32_t nvme_error_code(int transport_code);

struct NvmeResult {
    int code = kNvmeRequestFailed;
    uint32_t value = 0;  // completion DW0 where the transport gives it
    bool ok() const { return code == kNvmeOk; }
};

enum class NvmeTransport { Inbox, NvmeMini, IntelNvm, JMicron, ASMedia, Rtl9210B, Rtl9210 };

NvmeTransport nvme_transport_for(uint8_t access_protocol);

// The path a transport opens for `record`: the device path for the inbox
// driver, the first volume path (else the device path) for bridges, the port
// device path for the miniport requests.
std::string nvme_open_path(const DiskRecord& record);

// The generic command (the `NVMe` script command and vendor commands):
// not available on an RTL9210 bridge (-79). `data` is the data buffer; its
// size is the data length (a multiple of 4).
NvmeResult nvme_send(const DiskRecord& record, const NvmeCommand& command, NvmeQueue queue, DataDir dir,
                     std::span<uint8_t> data);
inline NvmeResult nvme_send(const DiskRecord& record, const NvmeRequestSpec& spec, std::span<uint8_t> data) {
    return nvme_send(record, spec.command, spec.queue, spec.dir, data);
}

// Identify with a 4096-byte buffer (CNS 0 controller, 1 namespace, 2 active
// namespace list, 3 descriptor list).
int nvme_identify(const DiskRecord& record, uint32_t cns, uint32_t nsid, std::span<uint8_t> buffer);

// Get Log Page of `buffer.size()` bytes (a multiple of 4).
NvmeResult nvme_get_log_page(const DiskRecord& record, uint8_t log_id, uint8_t lsp, bool rae,
                             std::span<uint8_t> buffer);

NvmeResult nvme_get_features(const DiskRecord& record, uint8_t feature_id);
NvmeResult nvme_set_features(const DiskRecord& record, uint8_t feature_id, bool save, uint32_t cdw11);

// Downloads an image in chunks of at most 4096 bytes at increasing offsets;
// `progress(done_bytes, total_bytes)` runs after every chunk (it may pause).
using FirmwareProgress = std::function<void(uint32_t done, uint32_t total)>;
int nvme_firmware_download(const DiskRecord& record, std::span<const uint8_t> image,
                           const FirmwareProgress& progress = {});
// Firmware Commit (slot, commit action); the inbox path maps the action to
// the activate request's flags and waits 1 second after a success.
int nvme_firmware_commit(const DiskRecord& record, uint8_t slot, uint8_t action);

// Format NVM with user-data erase (secure erase setting 1).
int nvme_format_user_erase(const DiskRecord& record);
// Format NVM to LBA format `lba_format` (-81 on the inbox path).
int nvme_format_lba(const DiskRecord& record, uint8_t lba_format);

// Security Send / Receive; the inbox path falls back to SCSI SECURITY
// PROTOCOL OUT / IN when the protocol command fails.
NvmeResult nvme_security_send(const DiskRecord& record, uint8_t protocol, uint16_t sp_specific,
                              std::span<uint8_t> data);
NvmeResult nvme_security_receive(const DiskRecord& record, uint8_t protocol, uint16_t sp_specific,
                                 std::span<uint8_t> data);

// Dataset Management (deallocate) of one range on the I/O queue.
int nvme_deallocate(const DiskRecord& record, uint64_t start_lba, uint32_t blocks);

// The ASMedia bridge variant flags: whether the single-command E6 variant
// worked last for Identify and for Get Log Page (process-wide, unlocked).
struct AsmediaVariantFlags {
    bool identify_e6 = false;
    bool log_page_e6 = false;
};
AsmediaVariantFlags& asmedia_variant_flags();

// Pauses of the NVMe layer (firmware chunks, commit settling, command waits);
// tests replace it to run without waiting. nullptr restores real sleeping.
using NvmeSleeper = void (*)(uint32_t ms);
void set_nvme_sleeper(NvmeSleeper sleeper);
void nvme_sleep_ms(uint32_t ms);

}  // namespace tb
