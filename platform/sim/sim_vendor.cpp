#include "platform/sim/sim_vendor.h"

#include <algorithm>
#include <cstring>

namespace tb::sim {

namespace {

constexpr uint32_t kNotReadyReads = 2;
constexpr uint32_t kSpiDebugPages = 16;
constexpr size_t kMaxEvents = 256;

// Event codes of the event log (vendor/vendor_records.h names them).
constexpr uint16_t kEventFirmwareUpdate = 0x0030, kEventBrandNew = 0x0031, kEventCleanSmart = 0x0032,
                   kEventControllerReset = 0x0040;

// Copies the part of `record` at `offset` into `out`; zeros past its end.
void copy_piece(std::span<uint8_t> out, const std::vector<uint8_t>& record, uint64_t offset) {
    size_t from = static_cast<size_t>(std::min<uint64_t>(offset, record.size()));
    size_t n = std::min(out.size(), record.size() - from);
    if (n) std::memcpy(out.data(), record.data() + from, n);
    if (out.size() > n) std::memset(out.data() + n, 0, out.size() - n);
}

}  // namespace

SimVendor::SimVendor(const DiskConfig& disk, VendorDeviceHooks hooks) : disk_(disk), hooks_(std::move(hooks)) {
    state_.rom_mode = disk_.vendor.start_in_rom;
    if (state_.rom_mode) state_.firmware_mode = 0;
}

bool SimVendor::take_dirty() {
    bool d = dirty_;
    dirty_ = false;
    return d;
}

VendorRecordContext SimVendor::context() const {
    return {disk_, state_, hooks_.medium_bytes(), hooks_.power_on_ms(), hooks_.running_firmware()};
}

uint64_t SimVendor::shown_bytes(uint64_t medium_bytes) const {
    if (state_.rom_mode) return 0;
    if (state_.thin_bytes) return std::min(state_.thin_bytes, medium_bytes);
    return medium_bytes;
}

std::optional<std::vector<uint8_t>> SimVendor::log_e1() const {
    if (!disk_.vendor.answers_log_e1()) return std::nullopt;
    return vendor_log_e1(context());
}

void SimVendor::reset() {
    if (!state_.fw_config.empty()) {
        auto text = [&](const char* name) { return fw_config_item_text(state_.fw_config, *find_fw_config_item(name)); };
        state_.identity = VendorIdentity{text("vendor_model_name"), text("drv_serial_number"), text("vendor_fw_name")};
        dirty_ = true;
    }
    state_.vpd_armed = false;
    state_.pcie_write_armed = false;
    state_.crash_chunk = 0;
}

void SimVendor::power_off() {
    state_.forget_volatile();
    dirty_ = true;
}

void SimVendor::note_event(uint16_t code, uint32_t parameter) {
    if (state_.events.size() >= kMaxEvents) state_.events.erase(state_.events.begin());
    state_.events.push_back({hooks_.power_on_ms(), code, 0, parameter});
    dirty_ = true;
}

VendorOutcome SimVendor::run(const VendorRequest& r) {
    if (r.op == VendorOp::EnableVendorMode) {
        state_.vendor_mode = true;
        dirty_ = true;
        return VendorOutcome::Done;
    }
    if (disk_.vendor.needs_enable && !state_.vendor_mode) return VendorOutcome::UnknownCommand;
    if (r.op != VendorOp::CrashDumpChunk) state_.crash_chunk = 0;
    return run_unlocked(r);
}

VendorOutcome SimVendor::run_unlocked(const VendorRequest& r) {
    switch (r.op) {
        case VendorOp::EnableVendorMode: return VendorOutcome::Done;
        case VendorOp::BrandNew: return brand_new();
        case VendorOp::CleanSmart:
            hooks_.clear_health_counters();
            note_event(kEventCleanSmart);
            return VendorOutcome::Done;
        case VendorOp::FtlVirgin:
            dirty_ = true;
            return hooks_.empty_mapping() ? VendorOutcome::Done : VendorOutcome::MediumFailed;
        case VendorOp::ForceFirmwareMode: return force_mode(r.args.a);
        case VendorOp::RecoveryMode:
            state_.rom_mode = true;
            note_event(kEventControllerReset, 0);
            return VendorOutcome::Done;
        case VendorOp::KeepSpareBlocks:
            state_.spare_blocks_kept = true;
            dirty_ = true;
            return VendorOutcome::Done;
        case VendorOp::ThinCapacity: return thin_capacity(r.args.a, r.args.b);
        case VendorOp::FwConfigWrite: return write_config(r);
        case VendorOp::PcieDataWrite: {
            if (r.dir == DataDir::None) return two_step(r, state_.pcie_write_armed);
            if (r.two_steps_needed && r.step == 1 && !state_.pcie_write_armed) return VendorOutcome::OutOfSequence;
            state_.pcie_write_armed = false;
            if (r.dir != DataDir::Out || r.offset != 0 || r.data.size() < kVendorRecordBytes) return VendorOutcome::BadField;
            state_.pcie_data.assign(r.data.begin(), r.data.begin() + kVendorRecordBytes);
            dirty_ = true;
            return VendorOutcome::Done;
        }
        case VendorOp::VpdData:
            if (r.dir == DataDir::None) return two_step(r, state_.vpd_armed);
            if (r.two_steps_needed && !state_.vpd_armed) return VendorOutcome::OutOfSequence;
            state_.vpd_armed = false;
            return send_record(r, vendor_vpd(context()));
        default: return read_operation(r);
    }
}

VendorOutcome SimVendor::two_step(const VendorRequest& r, bool& armed) {
    if (!r.data.empty() && r.dir != DataDir::None) return VendorOutcome::BadField;
    armed = true;
    return VendorOutcome::Done;
}

VendorOutcome SimVendor::send_record(const VendorRequest& r, const std::vector<uint8_t>& record) {
    if (r.dir != DataDir::In || r.data.empty()) return VendorOutcome::BadField;
    copy_piece(r.data, record, r.offset);
    return VendorOutcome::Done;
}

VendorOutcome SimVendor::read_operation(const VendorRequest& r) {
    const VendorRecordContext c = context();
    switch (r.op) {
        case VendorOp::DriveInformation: {
            if (!disk_.vendor.drive_information) return VendorOutcome::UnknownCommand;
            bool ready = state_.not_ready_reads == 0;
            VendorOutcome out = send_record(r, vendor_drive_information(c, ready));
            if (out == VendorOutcome::Done && !ready) {
                --state_.not_ready_reads;
                dirty_ = true;
            }
            return out;
        }
        case VendorOp::FwConfigRead:
            return send_record(r, state_.fw_config.empty() ? vendor_default_fw_config(c) : state_.fw_config);
        case VendorOp::PcieDataRead: return send_record(r, vendor_pcie_data(c));
        case VendorOp::CrashDumpChunk: return crash_dump_chunk(r);
        case VendorOp::CriticalLogChunk: {
            auto log = vendor_critical_log(c);
            uint64_t at = static_cast<uint64_t>(r.args.a) * kVendorRecordBytes;
            if (at >= log.size()) return VendorOutcome::BadField;
            return send_record({r.op, r.step, r.args, r.dir, r.data, static_cast<uint32_t>(at + r.offset)}, log);
        }
        case VendorOp::ManufacturingInfo:
            if (disk_.vendor.mp_info_form == 0) return VendorOutcome::UnknownCommand;
            if (r.args.a != 0) return VendorOutcome::BadField;
            return send_record(r, vendor_manufacturing_information(c));
        case VendorOp::GrownDefectList: return send_record(r, vendor_grown_defects(c));
        case VendorOp::DieGrownDefectList: {
            auto record = vendor_die_defects(c, r.args.b, r.args.c);
            if (!record) return VendorOutcome::BadField;
            return send_record(r, *record);
        }
        case VendorOp::OtpIdentifier: return send_record(r, vendor_otp(c));
        case VendorOp::ReconstructionStatus: return send_record(r, vendor_reconstruction(c));
        case VendorOp::SpiDebugInfo:
            if (r.args.b >= kSpiDebugPages) return VendorOutcome::BadField;
            return send_record(r, vendor_spi_debug(c, r.args.b));
        default: return VendorOutcome::UnknownCommand;
    }
}

VendorOutcome SimVendor::crash_dump_chunk(const VendorRequest& r) {
    auto dump = vendor_crash_dump(context());
    uint32_t chunks = static_cast<uint32_t>(dump.size() / kVendorRecordBytes);
    uint32_t chunk = state_.crash_chunk % std::max<uint32_t>(1, chunks);
    uint64_t at = static_cast<uint64_t>(chunk) * kVendorRecordBytes + r.offset;
    VendorOutcome out = send_record({r.op, r.step, r.args, r.dir, r.data, static_cast<uint32_t>(at)}, dump);
    if (out == VendorOutcome::Done && r.offset == 0) state_.crash_chunk = (chunk + 1) % std::max<uint32_t>(1, chunks);
    return out;
}

VendorOutcome SimVendor::force_mode(uint32_t mode) {
    if (mode > 3) return VendorOutcome::BadField;
    state_.rom_mode = mode == 0;
    state_.firmware_mode = mode;
    note_event(kEventFirmwareUpdate, mode);
    return VendorOutcome::Done;
}

VendorOutcome SimVendor::thin_capacity(uint32_t size, uint32_t unit) {
    if (unit > 1) return VendorOutcome::BadField;
    if (size == 0) {
        state_.thin_bytes = 0;
        dirty_ = true;
        return VendorOutcome::Done;
    }
    uint64_t bytes;
    if (unit == 1) {
        bytes = static_cast<uint64_t>(size) << 30;
    } else if (hooks_.block_size() == 4096) {
        bytes = (244188ull * size + 2646) * 4096;
    } else {
        bytes = (1953504ull * size + 21168) * 512;
    }
    uint64_t medium = hooks_.medium_bytes();
    if (bytes > medium) return VendorOutcome::BadField;
    state_.thin_bytes = bytes == medium ? 0 : bytes;
    dirty_ = true;
    return VendorOutcome::Done;
}

VendorOutcome SimVendor::write_config(const VendorRequest& r) {
    if (r.dir != DataDir::Out || r.offset != 0 || r.data.size() < kVendorRecordBytes) return VendorOutcome::BadField;
    std::span<const uint8_t> record = r.data.first(kVendorRecordBytes);
    if (fw_config_checksum(record) != r.args.checksum || !fw_config_checksum_ok(record)) return VendorOutcome::BadField;
    state_.fw_config.assign(record.begin(), record.end());
    dirty_ = true;
    return VendorOutcome::Done;
}

VendorOutcome SimVendor::brand_new() {
    hooks_.clear_health_counters();
    bool emptied = hooks_.empty_mapping();
    state_.not_ready_reads = kNotReadyReads;
    ++state_.brand_new_count;
    note_event(kEventBrandNew);
    return emptied ? VendorOutcome::Done : VendorOutcome::MediumFailed;
}

VendorOutcome SimVendor::run_ata_only(AtaOnlyOp op, std::span<uint8_t> data, uint32_t offset) {
    if (disk_.vendor.needs_enable && !state_.vendor_mode) return VendorOutcome::UnknownCommand;
    switch (op) {
        case AtaOnlyOp::CleanEventLog:
            state_.events.clear();
            dirty_ = true;
            return VendorOutcome::Done;
        case AtaOnlyOp::TrainDdrEye:
            ++state_.ddr_trainings;
            dirty_ = true;
            return VendorOutcome::Done;
        case AtaOnlyOp::ReadEventLog: {
            if (data.empty()) return VendorOutcome::BadField;
            copy_piece(data, vendor_event_log(context()), offset);
            return VendorOutcome::Done;
        }
    }
    return VendorOutcome::UnknownCommand;
}

}  // namespace tb::sim
