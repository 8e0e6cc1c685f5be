#include "platform/sim/sim_bridge.h"

#include <cstring>

namespace tb::sim {

using namespace scsi;

UsbIds bridge_usb_ids(BridgeKind kind) {
    switch (kind) {
        case BridgeKind::JMicron: return {0x152D, 0x0583};
        case BridgeKind::Asm2362: return {0x174C, 0x2362};
        case BridgeKind::Asm2364: return {0x174C, 0x2364};
        case BridgeKind::Rtl9210B: return {0x0BDA, 0x9210};
        case BridgeKind::Rtl9210: return {0x0BDA, 0x9211};
        case BridgeKind::UsbSata: return {0x174C, 0x55AA};
        case BridgeKind::Flash: return {0x0781, 0x5581};
        case BridgeKind::None: break;
    }
    return {};
}

SimUsbBridge::SimUsbBridge(const DiskConfig& config, SimNvmeController* nvme, SimSataDisk* ata,
                           StoreBlockTarget* flash, BridgePowerSink& power)
    : config_(config), kind_(config.bridge), nvme_(nvme), ata_(ata), flash_(flash), power_(power) {
    if (nvme_) nvme_target_.emplace(*nvme_);
    if (ata_) ata_target_.emplace(*ata_);
}

InquiryIdentity SimUsbBridge::inquiry_identity() const {
    InquiryIdentity id;
    id.serial = config_.serial;
    id.revision = "0100";
    auto sig = [&](uint8_t a, uint8_t b) {
        id.has_signature = true;
        id.byte36 = a;
        id.byte37 = b;
    };
    switch (kind_) {
        case BridgeKind::JMicron: id.vendor = "JMicron"; id.product = "JMS583 NVMe"; sig(0x30, 0x35); break;
        case BridgeKind::Asm2362: id.vendor = "ASMT"; id.product = "ASM2362 NVMe"; sig(0x60, 0x23); break;
        case BridgeKind::Asm2364: id.vendor = "ASMT"; id.product = "ASM2364 NVMe"; sig(0x60, 0x23); break;
        case BridgeKind::Rtl9210B: id.vendor = "Realtek"; id.product = "RTL9210B NVME"; break;
        case BridgeKind::Rtl9210: id.vendor = "Realtek"; id.product = "RTL9210 NVME"; break;
        case BridgeKind::UsbSata: id.vendor = "USB-SATA"; id.product = "SATA Bridge"; sig(0x05, 0x21); break;
        case BridgeKind::Flash:
        case BridgeKind::None:
            id.vendor = "TAMBLOR";
            id.product = "USB Flash Disk";
            id.revision = "1.00";
            id.removable = true;
            break;
    }
    if (config_.signature >= 0) sig(static_cast<uint8_t>(config_.signature >> 8), static_cast<uint8_t>(config_.signature));
    if (!config_.bridge_signature && kind_ != BridgeKind::Flash) {
        id.vendor = "USB";
        id.product = "External SSD";
        id.has_signature = false;
        id.byte36 = id.byte37 = 0;
    }
    return id;
}

void SimUsbBridge::reset() {
    have_command_ = false;
    have_completion_ = false;
    power_request_ = -1;
}

bool SimUsbBridge::inner_ready(ScsiPassThrough& r) {
    if (nvme_ && !nvme_->powered()) {
        check(r, kNotReady, 0x04, 0x00);  // logical unit not ready
        return false;
    }
    return true;
}

void SimUsbBridge::run_pending(ScsiPassThrough& r, DataDir dir, uint32_t length) {
    if (!have_command_) {
        sequence_error(r);
        return;
    }
    have_command_ = false;
    if (!inner_ready(r)) return;
    if (length && (r.dir != dir || r.data.size() < length)) {
        invalid_field(r);
        return;
    }
    std::span<uint8_t> data = length ? r.data.first(length) : std::span<uint8_t>();
    NvmeResult res = nvme_->execute(command_, command_io_, length ? dir : DataDir::None, data);
    completion_.fill(0);
    put_le32(completion_, 0, res.dw0);
    put_le16(completion_, 12, command_.cid());
    put_le16(completion_, 14, static_cast<uint16_t>((res.status << 1) | 1));
    have_completion_ = true;
    if (res.status != nvme_status::kSuccess) {
        check(r, kAbortedCommand, 0x00, 0x00, res.status);  // the completion is still readable
        return;
    }
    good(r, length);
}

// ---- JMicron -------------------------------------------------------------

bool SimUsbBridge::jmicron(ScsiPassThrough& r) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xA1) return false;
    uint8_t phase = cdb[1] & 0x7F;
    bool admin = (cdb[1] & 0x80) != 0;
    uint32_t length = get_be24(cdb, 3);
    switch (phase) {
        case 0x00: {  // command block
            if (length != 512 || r.dir != DataDir::Out || r.data.size() < 512 ||
                std::memcmp(r.data.data(), "NVME", 4) != 0) {
                invalid_field(r);
                return true;
            }
            uint8_t v = r.data[72];
            have_completion_ = false;
            if (v != 0) {
                if (v != 2 && v != 4 && v != 5 && v != 6) {
                    invalid_field(r);
                    return true;
                }
                power_request_ = v;
                have_command_ = false;
            } else {
                std::memcpy(command_.bytes.data(), r.data.data() + 8, 64);
                command_io_ = !admin;
                have_command_ = true;
                power_request_ = -1;
            }
            good(r, 512);
            return true;
        }
        case 0x01:
        case 0x02:
        case 0x03: {  // data phase: none, in, out
            if (power_request_ >= 0) {
                int v = power_request_;
                power_request_ = -1;
                if (phase != 0x01) {
                    invalid_field(r);
                    return true;
                }
                power_.bridge_power(v == 6 ? BridgePower::Off : v == 2 ? BridgePower::On
                                    : v == 4 ? BridgePower::Relink : BridgePower::Cycle);
                completion_.fill(0);
                have_completion_ = true;
                good(r);
                return true;
            }
            if (have_command_ && command_io_ == admin) {
                have_command_ = false;
                invalid_field(r);
                return true;
            }
            DataDir dir = phase == 0x02 ? DataDir::In : phase == 0x03 ? DataDir::Out : DataDir::None;
            run_pending(r, dir, phase == 0x01 ? 0 : length);
            return true;
        }
        case 0x0F: {  // completion block
            if (!have_completion_) {
                sequence_error(r);
                return true;
            }
            std::array<uint8_t, 512> block{};
            std::memcpy(block.data(), "NVME", 4);
            std::memcpy(block.data() + 8, completion_.data(), 16);
            have_completion_ = false;
            reply(r, block, length ? length : 512);
            return true;
        }
        default: invalid_field(r); return true;
    }
}

// ---- ASMedia -------------------------------------------------------------

bool SimUsbBridge::asmedia(ScsiPassThrough& r) {
    std::span<const uint8_t> cdb(r.cdb);
    if ((cdb[0] != 0xEA && cdb[0] != 0xEB) || cdb[1] != 0x5A) return false;
    uint8_t phase = cdb[2];
    bool io = cdb[3] == 1;
    uint8_t d = cdb[4];
    uint32_t length = get_be32(cdb, 10);
    if (cdb[0] == 0xEA && (phase == 0x00 || phase == 0x01 || phase == 0x04)) {  // power request
        if (r.dir != DataDir::None && !r.data.empty()) {
            invalid_field(r);
            return true;
        }
        reset();
        power_.bridge_power(phase == 0 ? BridgePower::Off : phase == 1 ? BridgePower::On : BridgePower::Relink);
        good(r);
        return true;
    }
    switch (phase) {
        case 0x80:  // command
            if (cdb[0] != 0xEA || length != 64 || d > 2 || r.dir != DataDir::Out || r.data.size() < 64) {
                invalid_field(r);
                return true;
            }
            std::memcpy(command_.bytes.data(), r.data.data(), 64);
            command_io_ = io;
            have_command_ = true;
            have_completion_ = false;
            good(r, 64);
            return true;
        case 0x81:  // data
            data_phase(r, d, (d == 2) == (cdb[0] == 0xEA), length);
            return true;
        case 0x82:  // completion
            completion_phase(r, cdb[0] == 0xEB, length);
            return true;
        default: invalid_field(r); return true;
    }
}

void SimUsbBridge::data_phase(ScsiPassThrough& r, uint8_t d, bool cdb_fits, uint32_t length) {
    if (d > 2 || !cdb_fits) {
        have_command_ = false;
        invalid_field(r);
        return;
    }
    DataDir dir = d == 1 ? DataDir::In : d == 2 ? DataDir::Out : DataDir::None;
    run_pending(r, dir, d == 0 ? 0 : length);
}

void SimUsbBridge::completion_phase(ScsiPassThrough& r, bool cdb_fits, uint32_t length) {
    if (!cdb_fits || length != 16) {
        invalid_field(r);
        return;
    }
    if (!have_completion_) {
        sequence_error(r);
        return;
    }
    have_completion_ = false;
    reply(r, completion_, 16);
}

void SimUsbBridge::single_read(ScsiPassThrough& r, uint8_t opcode, uint32_t cdw10, uint32_t nsid, uint32_t length) {
    if (!inner_ready(r)) return;
    if (r.dir != DataDir::In || length == 0 || r.data.size() < length || length % 4) {
        invalid_field(r);
        return;
    }
    NvmeCommand c;
    c.bytes[0] = opcode;
    put_le32(c.bytes, 4, nsid);
    if (opcode == 0x02) cdw10 |= ((length / 4 - 1) & 0xFFFF) << 16;
    put_le32(c.bytes, 40, cdw10);
    NvmeResult res = nvme_->execute(c, false, DataDir::In, r.data.first(length));
    if (res.status != nvme_status::kSuccess) {
        check(r, kAbortedCommand, 0x00, 0x00, res.status);
        return;
    }
    good(r, length);
}

bool SimUsbBridge::asmedia_single(ScsiPassThrough& r) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xE6) return false;
    uint8_t opcode = cdb[1];
    if (opcode != 0x06 && opcode != 0x02) {
        invalid_field(r);
        return true;
    }
    // Bytes 6-7 hold the dword count for an all-namespaces command, else byte 7 the NSID.
    bool all = opcode == 0x02 || cdb[6] != 0;
    uint32_t nsid = all ? 0xFFFFFFFF : cdb[7];
    uint32_t length = static_cast<uint32_t>(r.data.size());
    if (all && (cdb[6] | cdb[7])) length = (static_cast<uint32_t>(get_be16(cdb, 6)) + 1) * 4;
    if (opcode == 0x06) length = std::min<uint32_t>(length, 4096);
    single_read(r, opcode, cdb[3], nsid, length);
    return true;
}

// ---- Realtek -------------------------------------------------------------

bool SimUsbBridge::rtl9210b(ScsiPassThrough& r) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xE4 && cdb[0] != 0xE5) return false;
    uint32_t length = get_le16(cdb, 1);
    switch (cdb[3]) {
        case 0xF7:  // command
            if (cdb[0] != 0xE5 || length != 64 || r.dir != DataDir::Out || r.data.size() < 64) {
                invalid_field(r);
                return true;
            }
            std::memcpy(command_.bytes.data(), r.data.data(), 64);
            command_io_ = cdb[4] == 1;
            have_command_ = true;
            have_completion_ = false;
            good(r, 64);
            return true;
        case 0xF8:  // data
            data_phase(r, cdb[6], (cdb[6] == 1) == (cdb[0] == 0xE4), length);
            return true;
        case 0xF9:  // completion
            completion_phase(r, cdb[0] == 0xE4, length);
            return true;
        default: invalid_field(r); return true;
    }
}

bool SimUsbBridge::rtl9210(ScsiPassThrough& r) {
    std::span<const uint8_t> cdb(r.cdb);
    if (cdb[0] != 0xE4) return false;
    uint32_t length = get_le16(cdb, 1);
    uint8_t opcode = cdb[3];
    uint8_t cdw10 = cdb[4];
    if (opcode == 0x06) {
        uint32_t nsid = (cdw10 == 0x00 || cdw10 == 0x03) ? 1 : 0;  // namespace structures are about namespace 1
        single_read(r, opcode, cdw10, nsid, length);
    } else if (opcode == 0x02) {
        single_read(r, opcode, cdw10, 0xFFFFFFFF, length);
    } else {
        invalid_field(r);  // only reads of identify data and log pages pass this chip
    }
    return true;
}

// ---- dispatch ------------------------------------------------------------

void SimUsbBridge::scsi(ScsiPassThrough& r) {
    bool handled = false;
    switch (kind_) {
        case BridgeKind::JMicron: handled = jmicron(r); break;
        case BridgeKind::Asm2362:
        case BridgeKind::Asm2364: handled = asmedia(r) || asmedia_single(r); break;
        case BridgeKind::Rtl9210B: handled = rtl9210b(r); break;
        case BridgeKind::Rtl9210: handled = rtl9210(r); break;
        case BridgeKind::UsbSata: handled = ata_ && ata_pass_through_cdb(r, *ata_); break;
        default: break;
    }
    if (handled) return;
    InquiryIdentity id = inquiry_identity();
    BlockTarget* target = nvme_target_ ? static_cast<BlockTarget*>(&*nvme_target_)
                          : ata_target_ ? static_cast<BlockTarget*>(&*ata_target_)
                                        : static_cast<BlockTarget*>(flash_);
    if (target && block_command(r, *target, id)) return;
    invalid_opcode(r);
}

}  // namespace tb::sim
