#include "disk/ata_transport.h"
#include "script/error_policy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "common/format.h"
#include "common/text.h"
#include "disk/nvme_transport.h"
#include "script/app_context.h"

namespace tb {

namespace {

// A data buffer on a 16-byte boundary, as the ATA pass-through wants it.
class AlignedBuffer {
public:
    explicit AlignedBuffer(size_t size)
        : size_(size),
          data_(size ? static_cast<uint8_t*>(::operator new(size, std::align_val_t{16})) : nullptr) {}
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    ~AlignedBuffer() {
        if (data_) ::operator delete(data_, std::align_val_t{16});
    }
    std::span<uint8_t> span() { return {data_, size_}; }

private:
    size_t size_;
    uint8_t* data_;
};

bool send_ata_pass_through(DiskDevice& device, const AtaCommand& cmd) {
    AtaPassThrough req = build_ata_pass_through(cmd);
    AlignedBuffer buffer(req.data.size());
    std::span<uint8_t> aligned = buffer.span();
    if (cmd.data_out() && !aligned.empty()) std::memcpy(aligned.data(), req.data.data(), aligned.size());
    std::span<uint8_t> caller = req.data;
    req.data = aligned;
    if (device.ata(req) != DeviceStatus::Ok) return false;
    if (cmd.data_in() && !aligned.empty()) std::memcpy(caller.data(), aligned.data(), aligned.size());
    return ata_status_ok(req.current[kAtaStatus]);
}

const char* echo_io(uint16_t flags) {
    if (flags == kAtaPioIn || flags == kAtaDmaIn) return "IN";
    if (flags == kAtaPioOut || flags == kAtaDmaOut) return "OUT";
    return "NODATA";
}

// A SCSI request of the bridge protocols: 16-byte CDB; a failed request and
// CHECK CONDITION both fail.
bool bridge_request(DiskDevice& device, std::initializer_list<uint8_t> cdb, DataDir dir,
                    std::span<uint8_t> data) {
    ScsiPassThrough req;
    std::copy(cdb.begin(), cdb.end(), req.cdb.begin());
    req.cdb_length = 16;
    req.dir = dir;
    req.data = data;
    req.timeout_s = 60;
    return device.scsi(req) == DeviceStatus::Ok && req.scsi_status != 2;
}

std::string ansi_field(std::span<const uint8_t> bytes) {
    std::string s;
    for (uint8_t b : bytes) {
        if (b == 0) break;
        s.push_back(static_cast<char>(b));
    }
    return s;
}

// Identify Controller through one bridge protocol; the data when it worked.
bool probe_identify(const DiskRecord& record, uint8_t protocol, std::span<uint8_t> buffer) {
    DiskRecord probe = record;
    probe.access_protocol = protocol;
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    return nvme_identify(probe, 1, 0, buffer) == kNvmeOk;
}

// The Realtek test: a non-zero PCI vendor id and a printable byte 20.
bool realtek_identify_plausible(std::span<const uint8_t> id) {
    const uint16_t vid = static_cast<uint16_t>(id[0] | (id[1] << 8));
    return vid != 0 && id[20] >= 0x21 && id[20] <= 0x7E;
}

}  // namespace

bool send_ata_translated(DiskDevice& device, const AtaCommand& cmd) {
    ScsiPassThrough req = build_ata_cdb(cmd);
    return device.scsi(req) == DeviceStatus::Ok;
}

bool send_ata(uint8_t access_protocol, DiskDevice& device, const AtaCommand& cmd) {
    if (access_protocol != kProtoUsbAta && send_ata_pass_through(device, cmd)) return true;
    return send_ata_translated(device, cmd);
}

bool send_ata(uint8_t access_protocol, DiskDevice& device, uint8_t command, uint16_t feature, uint16_t flags,
              uint32_t lba_low, uint32_t lba_high, std::span<uint8_t> data) {
    const uint64_t lba = (static_cast<uint64_t>(lba_high & 0xFFFF) << 32) | lba_low;
    return send_ata(access_protocol, device, make_ata_command(command, feature, flags, lba, data));
}

uint64_t AtaLbaBytes::lba() const {
    const uint64_t low32 = low + mid * 0x100ULL + high * 0x10000ULL + ex_low * 0x1000000ULL;
    const uint64_t high16 = ex_mid + ex_high * 0x100ULL;
    return (high16 << 32) | low32;
}

AtaLbaBytes AtaLbaBytes::of(uint64_t lba) {
    AtaLbaBytes b;
    b.low = static_cast<uint8_t>(lba);
    b.mid = static_cast<uint8_t>(lba >> 8);
    b.high = static_cast<uint8_t>(lba >> 16);
    b.ex_low = static_cast<uint8_t>(lba >> 24);
    b.ex_mid = static_cast<uint8_t>(lba >> 32);
    b.ex_high = static_cast<uint8_t>(lba >> 40);
    return b;
}

std::string ata_echo_text(uint8_t command, uint16_t feature, uint16_t flags, const AtaLbaBytes& lba,
                          uint32_t sector_count) {
    if (app().debug_level == 0) return {};
    return fmt("ATA( IO:\"%s\", ATACmd:0x%X, Feature:%d, SectorCount:%d, Low:0x%X, Mid:0x%X, High:0x%X, "
               "ExLow:0x%X, ExMid:0x%X, ExHigh:0x%X );",
               echo_io(flags), command, feature, sector_count, lba.low, lba.mid, lba.high, lba.ex_low, lba.ex_mid,
               lba.ex_high);
}

int ata_command_with_echo(const DiskRecord& record, uint8_t command, uint16_t feature, uint16_t flags,
                          const AtaLbaBytes& lba, uint32_t sector_count, std::span<uint8_t> data,
                          std::string& echo) {
    echo = ata_echo_text(command, feature, flags, lba, sector_count);
    std::unique_ptr<DiskDevice> device = disk_platform().open(record.device_path);
    if (!device) return kErrOpenDisk;
    AtaCommand cmd;
    cmd.command = command;
    cmd.feature = feature;
    cmd.flags = flags;
    cmd.lba = lba.lba();
    cmd.sector_count = sector_count;
    if (cmd.data_in() || cmd.data_out()) {
        const size_t length = static_cast<size_t>(sector_count) * kAtaSectorBytes;
        cmd.data = data.first(std::min(length, data.size()));
    }
    if (send_ata(record.access_protocol, *device, cmd)) return 1;
    send_ata(record.access_protocol, *device, make_ata_command(ata_op::kIdleImmediate, 0, kAtaNoData, 0));
    if (cmd.data_out()) return kErrWriteIO;
    if (cmd.data_in()) return kErrReadIO;
    return kErrOpenDisk;
}

int ata_command_with_echo(uint8_t command, uint16_t feature, uint16_t flags, const AtaLbaBytes& lba,
                          uint32_t sector_count, std::span<uint8_t> data, std::string& echo) {
    return ata_command_with_echo(current_target(), command, feature, flags, lba, sector_count, data, echo);
}

uint8_t bridge_from_inquiry(std::span<const uint8_t> inquiry) {
    std::array<uint8_t, 38> reply{};
    std::copy_n(inquiry.begin(), std::min(inquiry.size(), reply.size()), reply.begin());
    const uint8_t b36 = reply[36], b37 = reply[37];
    const std::string vendor = ansi_field(std::span(reply).subspan(8, 8));
    const std::string product = ansi_field(std::span(reply).subspan(16, 16));

    uint8_t result = kProtoFlashDrv;
    if (b36 == 0x60 && b37 == 0x23) result = icontains(product, "2364") ? kProtoAsm2364 : kProtoAsm2362;
    if ((b36 == 0x35 && b37 == 0x35) || (b36 == 0x30 && b37 == 0x35)) result = kProtoJmi;
    if (product.find("9210B") != std::string::npos) result = kProtoRtl9210B;
    else if (product.find("9210") != std::string::npos) result = kProtoRtl9210;
    if (b36 == 0x05 && b37 == 0x21) result = kProtoUsbAta;
    if (icontains(vendor, "SATA")) return kProtoUsbAta;
    return result;
}

uint8_t detect_bridge(const DiskRecord& record) {
    std::unique_ptr<DiskDevice> device = disk_platform().open(record.physical_path);
    if (!device) return kProtoFlashDrv;
    std::array<uint8_t, 38> reply{};
    ScsiPassThrough inquiry;
    inquiry.cdb = {0x12, 0, 0, 0, static_cast<uint8_t>(reply.size()), 0};
    inquiry.cdb_length = 6;
    inquiry.dir = DataDir::In;
    inquiry.data = reply;
    inquiry.timeout_s = 60;
    device->scsi(inquiry);  // a failed INQUIRY leaves the reply zero
    device.reset();         // the probes open their own paths

    uint8_t result = bridge_from_inquiry(reply);
    if (result != kProtoFlashDrv) return result;
    if (reply[1] != 0) return result;  // removable medium: a flash drive

    std::vector<uint8_t> id(kIdentifyLength);
    // The ASMedia probe is meant for the three-phase protocol: start with it
    // and leave the remembered variant as it was.
    AsmediaVariantFlags& flags = asmedia_variant_flags();
    const AsmediaVariantFlags saved = flags;
    flags.identify_e6 = false;
    const bool asmedia = probe_identify(record, kProtoAsm2362, id);
    flags = saved;
    if (asmedia) return kProtoAsm2362;
    if (probe_identify(record, kProtoJmi, id)) return kProtoJmi;
    if (probe_identify(record, kProtoRtl9210B, id) && realtek_identify_plausible(id)) return kProtoRtl9210B;
    if (probe_identify(record, kProtoRtl9210, id) && realtek_identify_plausible(id)) return kProtoRtl9210;
    return kProtoFlashDrv;
}

int asmedia_power_request(DiskDevice& device, uint8_t value) {
    return bridge_request(device, {0xEA, 0x5A, value}, DataDir::None, {}) ? 1 : kErrIoControl;
}

int jmicron_power_request(DiskDevice& device, uint8_t value) {
    std::array<uint8_t, 512> block{};
    std::memcpy(block.data(), "NVME", 4);
    block[72] = value;
    if (!bridge_request(device, {0xA1, 0x80, 0, 0x00, 0x02, 0x00}, DataDir::Out, block)) return kErrIoControl;
    if (!bridge_request(device, {0xA1, 0x81}, DataDir::None, {})) return kErrIoControl;
    std::array<uint8_t, 512> completion{};
    bridge_request(device, {0xA1, 0x8F, 0, 0x00, 0x02, 0x00}, DataDir::In, completion);
    return 1;
}

int asmedia_power_request(const DiskRecord& record, uint8_t value) {
    std::unique_ptr<DiskDevice> device = disk_platform().open(record.physical_path);
    return device ? asmedia_power_request(*device, value) : -1;
}

int jmicron_power_request(const DiskRecord& record, uint8_t value) {
    std::unique_ptr<DiskDevice> device = disk_platform().open(record.physical_path);
    return device ? jmicron_power_request(*device, value) : -1;
}

}  // namespace tb
