#include "disk/nvme_transport.h"

#include <chrono>
#include <thread>

namespace tb {

namespace {
NvmeSleeper g_sleeper = nullptr;
}

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

std::string nvme_open_path(const DiskRecord& r) { return r.device_path; }

NvmeResult nvme_send(const DiskRecord&, const NvmeCommand&, NvmeQueue, DataDir, std::span<uint8_t>) {
    return {kNvmeOpenFailed, 0};
}
int nvme_identify(const DiskRecord&, uint32_t, uint32_t, std::span<uint8_t>) { return kNvmeOpenFailed; }
NvmeResult nvme_get_log_page(const DiskRecord&, uint8_t, uint8_t, bool, std::span<uint8_t>) {
    return {kNvmeOpenFailed, 0};
}
NvmeResult nvme_get_features(const DiskRecord&, uint8_t) { return {kNvmeOpenFailed, 0}; }
NvmeResult nvme_set_features(const DiskRecord&, uint8_t, bool, uint32_t) { return {kNvmeOpenFailed, 0}; }
int nvme_firmware_download(const DiskRecord&, std::span<const uint8_t>, const FirmwareProgress&) {
    return kNvmeOpenFailed;
}
int nvme_firmware_commit(const DiskRecord&, uint8_t, uint8_t) { return kNvmeOpenFailed; }
int nvme_format_user_erase(const DiskRecord&) { return kNvmeOpenFailed; }
int nvme_format_lba(const DiskRecord&, uint8_t) { return kNvmeOpenFailed; }
NvmeResult nvme_security_send(const DiskRecord&, uint8_t, uint16_t, std::span<uint8_t>) {
    return {kNvmeOpenFailed, 0};
}
NvmeResult nvme_security_receive(const DiskRecord&, uint8_t, uint16_t, std::span<uint8_t>) {
    return {kNvmeOpenFailed, 0};
}
int nvme_deallocate(const DiskRecord&, uint64_t, uint32_t) { return kNvmeOpenFailed; }

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
