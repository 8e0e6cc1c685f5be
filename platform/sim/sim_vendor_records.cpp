#include "platform/sim/sim_vendor_records.h"

#include <algorithm>

#include "platform/sim/sim_common.h"
#include "vendor/record_bytes.h"

namespace tb::sim {

namespace {

// A stable 64-bit value of a text and a salt (FNV-1a).
uint64_t stable_hash(const std::string& text, uint64_t salt) {
    uint64_t h = 1469598103934665603ull ^ (salt * 0x9E3779B97F4A7C15ull);
    for (char ch : text) h = (h ^ static_cast<uint8_t>(ch)) * 1099511628211ull;
    return h;
}

uint64_t serial_hash(const VendorRecordContext& c, uint64_t salt) { return stable_hash(c.disk.serial, salt); }

// Whole GB of the medium by the IDEMA rule of its 512-byte sectors.
uint32_t capacity_gb(uint64_t bytes) {
    uint64_t sectors = bytes / 512;
    return sectors < 21168 ? 0 : static_cast<uint32_t>((sectors - 21168) / 1953504);
}

std::string identity_model(const VendorRecordContext& c) {
    return c.state.identity ? c.state.identity->model : c.disk.model;
}
std::string identity_serial(const VendorRecordContext& c) {
    return c.state.identity ? c.state.identity->serial : c.disk.serial;
}

// A few grown defects per disk, always the same for one serial number.
std::vector<GrownDefect> grown_defect_list(const VendorRecordContext& c) {
    uint64_t h = serial_hash(c, 0x6D);
    size_t n = 2 + h % 5;
    std::vector<GrownDefect> list;
    for (size_t i = 0; i < n; ++i) {
        uint64_t v = stable_hash(c.disk.serial, 0x100 + i);
        GrownDefect d;
        d.channel = static_cast<uint8_t>(v % 4);
        d.ce = static_cast<uint8_t>((v >> 8) % 2);
        d.die = static_cast<uint8_t>(d.channel * 2 + d.ce);
        d.plane = static_cast<uint8_t>((v >> 16) % 2);
        d.block = static_cast<uint16_t>(100 + (v >> 24) % 1900);
        d.reason = static_cast<uint8_t>(1 + (v >> 40) % 3);
        list.push_back(d);
    }
    return list;
}

}  // namespace

std::vector<uint8_t> vendor_log_e1(const VendorRecordContext& c) {
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    r[0] = kRecordValid;
    put_record_number(r, 2, 2, c.disk.vendor.soc_id);
    return r;
}

std::vector<uint8_t> vendor_drive_information(const VendorRecordContext& c, bool ready) {
    DriveInformation d;
    d.ready = ready ? 0 : kDriveNotReady;
    d.soc_id = c.disk.vendor.soc_id;
    d.soc_version = 0x01;
    d.firmware_source = c.state.rom_mode ? 0 : static_cast<uint8_t>(std::max<uint32_t>(1, c.state.firmware_mode));
    d.rom_version = 0x0102;
    uint64_t nand = serial_hash(c, 0x4E);
    d.nand_id = {0x98, 0x3C, static_cast<uint8_t>(nand), static_cast<uint8_t>(nand >> 8), 0x7A, 0x64, 0x08, 0x04};
    d.cpu_mhz = 800;
    d.nand_mhz = 1200;
    d.firmware_revision = c.state.rom_mode ? std::string("ROM") : c.firmware;
    d.firmware_base = "BASE-" + c.disk.firmware;
    d.original_firmware_name = c.disk.firmware + ".bin";
    d.spare_blocks_kept = c.state.spare_blocks_kept;
    return encode_drive_information(d);
}

std::vector<uint8_t> vendor_default_fw_config(const VendorRecordContext& c) {
    FwConfigDefaults d;
    d.model = c.disk.model;
    d.firmware = c.disk.firmware;
    d.serial = c.disk.serial;
    d.capacity_gb = capacity_gb(c.medium_bytes);
    d.eui64 = 0x001F9A0000000000ull | (serial_hash(c, 0xE0) & 0xFFFFFFFFFFull);
    d.wwn = 0x5001F9A000000000ull | (serial_hash(c, 0x77) & 0xFFFFFFFFFull);
    return default_fw_config(d);
}

std::vector<uint8_t> vendor_manufacturing_information(const VendorRecordContext& c) {
    ManufacturingInformation m;
    m.tool_version = "SIM MP 3.1.0";
    m.mp_date = "2026-01-15";
    m.serial = identity_serial(c);
    m.model = identity_model(c);
    m.firmware_revision = c.firmware;
    m.record_length = c.disk.vendor.mp_info_form == kMpInfoShortLength ? kMpInfoShortLength : kMpInfoFullLength;
    m.capacity_gb = capacity_gb(c.medium_bytes);
    m.vendor_word = c.disk.vendor.vendor_word;
    m.soc_id = c.disk.vendor.soc_id;
    m.channels = 4;
    m.ce_per_channel = 2;
    m.blocks_per_die = 2048;
    m.pages_per_block = 1152;
    m.spare_blocks = c.state.spare_blocks_kept ? 640 : 512;
    for (uint32_t die = 0; die < kSimVendorDies; ++die) {
        uint32_t bad = static_cast<uint32_t>(stable_hash(c.disk.serial, 0x200 + die) % 20);
        m.die_defects.push_back(bad);
        m.factory_bad_blocks += bad;
    }
    return encode_manufacturing_information(m);
}

std::vector<uint8_t> vendor_grown_defects(const VendorRecordContext& c) {
    auto list = grown_defect_list(c);
    return encode_grown_defects(list);
}

std::optional<std::vector<uint8_t>> vendor_die_defects(const VendorRecordContext& c, uint32_t first, uint32_t count) {
    if (first >= kSimVendorDies) return std::nullopt;
    uint32_t last = count == 0 ? kSimVendorDies : std::min<uint32_t>(kSimVendorDies, first + count);
    auto grown = grown_defect_list(c);
    std::vector<DieDefects> dies;
    for (uint32_t die = first; die < last; ++die) {
        DieDefects d;
        d.channel = static_cast<uint8_t>(die / 2);
        d.ce = static_cast<uint8_t>(die % 2);
        d.die = static_cast<uint8_t>(die);
        d.grown_blocks = static_cast<uint32_t>(
            std::count_if(grown.begin(), grown.end(), [&](const GrownDefect& g) { return g.die == die; }));
        dies.push_back(d);
    }
    return encode_die_defects(dies);
}

std::vector<uint8_t> vendor_otp(const VendorRecordContext& c) {
    OtpIdentifier o;
    o.soc_uid = serial_hash(c, 0x07);
    o.otp_ate = 0xA7E00000u | c.disk.vendor.soc_id;
    o.otp_fw = 0x00010002;
    o.otp_security = 0;
    o.otp_boot = 0x00000001;
    o.otp_lock = 0x0000000F;
    return encode_otp(o);
}

std::vector<uint8_t> vendor_reconstruction(const VendorRecordContext& c) {
    ReconstructionStatus s;
    s.full_recon = c.state.brand_new_count > 0 ? 1 : 0;
    s.recon_cmpl = 1;
    s.percentage = 100;
    s.rebuilt_blocks = static_cast<uint32_t>(serial_hash(c, 0x52) % 4096);
    return encode_reconstruction(s);
}

std::vector<uint8_t> vendor_vpd(const VendorRecordContext& c) {
    VpdData v;
    v.manufacturer = "TAMBLOR SIM";
    v.model_number = identity_model(c);
    v.serial_number = identity_serial(c);
    v.part_number = "SIM-" + std::to_string(c.disk.vendor.soc_id);
    v.revision = c.firmware;
    return encode_vpd(v);
}

std::vector<uint8_t> vendor_pcie_data(const VendorRecordContext& c) {
    if (!c.state.pcie_data.empty()) return c.state.pcie_data;
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    put_record_text(r, 0, 4, "PCIE");
    put_record_number(r, 4, 2, c.disk.vid);
    put_record_number(r, 6, 2, c.disk.ssvid);
    r[8] = 3;  // link generation
    r[9] = 4;  // link width
    return r;
}

std::vector<uint8_t> vendor_crash_dump(const VendorRecordContext& c) {
    CrashDump dump;
    dump.reason = 1;
    CrashSection regs{"registers", std::vector<uint8_t>(256)};
    for (size_t i = 0; i < regs.data.size(); ++i) regs.data[i] = static_cast<uint8_t>(serial_hash(c, i) >> 13);
    CrashSection trace{"trace", std::vector<uint8_t>(6000)};
    for (size_t i = 0; i < trace.data.size(); ++i) trace.data[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    CrashSection stack{"stack", std::vector<uint8_t>(2048, 0xCD)};
    put_record_number(stack.data, 0, 8, c.power_on_ms);
    dump.sections = {std::move(regs), std::move(trace), std::move(stack)};
    return encode_crash_dump(dump);
}

std::vector<uint8_t> vendor_critical_log(const VendorRecordContext& c) {
    // More entries than one chunk holds, so that a reader walks the chunks.
    std::vector<CriticalEntry> entries;
    for (uint32_t i = 0; i < 150; ++i) {
        CriticalEntry e;
        e.timestamp_ms = 1000ull * 3600 * i + serial_hash(c, i) % 1000;
        e.code = 0x100 + i % 7;
        e.parameter = i;
        e.text = "event " + std::to_string(i);
        entries.push_back(std::move(e));
    }
    return encode_critical_log(entries);
}

std::vector<uint8_t> vendor_event_log(const VendorRecordContext& c) { return encode_event_log(c.state.events); }

std::vector<uint8_t> vendor_spi_debug(const VendorRecordContext& c, uint32_t page) {
    std::vector<uint8_t> r(kVendorRecordBytes, 0);
    put_record_text(r, 0, 4, "SPID");
    put_record_number(r, 4, 4, page);
    for (size_t i = 16; i < r.size(); ++i) r[i] = static_cast<uint8_t>(serial_hash(c, page) >> (i % 56) ^ i);
    return r;
}

}  // namespace tb::sim
