#include "disk/report_commands.h"

#include <vector>

#include "common/format.h"
#include "disk/ata_identify.h"
#include "disk/ata_identify_report.h"
#include "disk/ata_transport.h"
#include "disk/disk_record.h"
#include "disk/log_reports.h"
#include "disk/nvme_identify_report.h"
#include "disk/nvme_transport.h"
#include "disk/smart_report.h"
#include "platform/disk_device.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/job_log.h"

namespace tb {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kLogError = 0x01, kLogSmart = 0x02, kLogFirmware = 0x03, kLogEffects = 0x05;

// A transport code other than success through the error policy; a
// controller error status (0) counts as a failed request.
bool failed(int slot, int code, const std::string& name) {
    if (code == kNvmeOk) return false;
    raise_error(slot, nvme_error_code(code), name);
    return true;
}

void trace(int slot, const NvmeRequestSpec& spec) {
    const std::string line = nvme_debug_trace(spec);
    if (!line.empty()) log_text(slot, line, colour::kGrey);
}

bool identify(int slot, const std::string& name, uint32_t cns, uint32_t nsid, Bytes& out) {
    out.assign(kIdentifyLength, 0);
    trace(slot, nvme_identify(cns, nsid));
    return !failed(slot, nvme_identify(current_target(), cns, nsid, out), name);
}

bool log_page(int slot, const std::string& name, uint8_t id, size_t length, Bytes& out) {
    out.assign(length, 0);
    trace(slot, nvme_get_log_page(id, 0, false, static_cast<uint32_t>(length)));
    return !failed(slot, nvme_get_log_page(current_target(), id, 0, false, out).code, name);
}

// A data file of the report: written to a new default file with `extension`
// and attached without being shown.
void attach_report_data(int slot, std::span<const uint8_t> data, const char* extension) {
    const std::string path = output_stem(slot) + extension;
    if (!write_file_bytes(path, {reinterpret_cast<const char*>(data.data()), data.size()})) {
        raise_error(slot, kErrOutputFile, path);
        return;
    }
    attach_data_file(slot, colour::kOlive, path, false);
}

// A required numeric argument by key, else by position.
bool required_u32(int slot, const ArgReader& r, std::string_view key, size_t pos, uint32_t& out) {
    const ArgPair* p = keyed_arg(r, {key}, pos);
    if (!p) {
        raise_error(slot, kErrParam, key);
        return false;
    }
    return arg_u32(slot, p->value, out);
}

bool items_argument(const ArgReader& r, size_t position, std::string& items) {
    std::string raw;
    if (!opt_string(r, keyed_arg(r, {"Items"}, position), raw)) return false;
    items = normalise_items(raw);
    return true;
}

void byte_range_command(int slot, const std::string& args, const std::string& name, uint32_t cns, uint32_t nsid) {
    ArgReader r(slot, args);
    uint32_t start = 0, end = 0;
    if (!required_u32(slot, r, "StartByte", 0, start) || !required_u32(slot, r, "EndByte", 1, end)) return;
    Bytes data;
    if (!identify(slot, name, cns, nsid, data)) return;
    const ReportLines lines = cns == kCnsController ? identify_controller_report(data, start, end)
                                                    : identify_namespace_report(data, start, end);
    if (write_report(slot, lines)) attach_report_data(slot, data, ".Hex");
}

// The PCI Express link of the disk's controller: the capability's maximum
// (Link Capabilities) and negotiated (Link Status) speed and width.
void read_pcie_link(const DiskRecord& disk, NvmeItemContext& cx) {
    std::vector<uint8_t> c;
    if (!disk_platform().read_pci_config(disk.disk_number, false, c) || c.size() < 64) return;
    auto u8 = [&](size_t at) -> uint32_t { return at < c.size() ? c[at] : 0; };
    auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
    if (!(u16(0x06) & 0x10)) return;  // no capability list
    uint32_t cap = u8(0x34) & 0xFC;
    for (int hops = 0; cap >= 0x40 && hops < 48; ++hops) {
        if (u8(cap) == 0x10) {
            const uint32_t link_cap = u16(cap + 0x0C) | u16(cap + 0x0E) << 16;
            const uint32_t status = u16(cap + 0x12);
            cx.support_gen = static_cast<int>(link_cap & 0xF);
            cx.support_width = static_cast<int>((link_cap >> 4) & 0x3F);
            cx.link_gen = static_cast<int>(status & 0xF);
            cx.link_width = static_cast<int>((status >> 4) & 0x3F);
            return;
        }
        cap = u8(cap + 1) & 0xFC;
    }
}

}  // namespace

std::string config_type_text(int kind) {
    switch (kind) {
        case 0: return "ROM Mode";
        case 1: case 2: case 3: return fmt("Config FW %d", kind);
        case 9999: return "Intel";
        default: return "Unknown";
    }
}

void cmd_nvme_Identify(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string items;
    if (!items_argument(r, 0, items)) return;
    Bytes ctrl, ns;
    if (!identify(slot, name, kCnsController, 0, ctrl) || !identify(slot, name, kCnsNamespace, 1, ns)) return;
    NvmeItemContext cx;
    cx.disk = current_target();
    // The volatile write cache setting, as the controller reports it.
    const NvmeResult wc = nvme_get_features(cx.disk, 0x06);
    cx.write_cache = wc.ok() ? static_cast<int>(wc.value & 1) : -1;
    read_pcie_link(cx.disk, cx);
    cx.config_type = config_type_text(cx.disk.firmware_kind);
    cx.original_fw = cx.disk.firmware_revision2.empty() ? cx.disk.firmware_revision : cx.disk.firmware_revision2;
    const ItemSummary s = nvme_identify_items(ctrl, ns, cx, items);
    if (write_report(slot, s.lines)) set_items_result(slot, name, s.values);
}

void cmd_Identify_Controller(int slot, const std::string& args, const std::string& name) {
    byte_range_command(slot, args, name, kCnsController, 0);
}

void cmd_Identify_Namespace(int slot, const std::string& args, const std::string& name) {
    byte_range_command(slot, args, name, kCnsNamespace, 1);
}

void cmd_Identify_ActiveNamespaceID(int slot, const std::string&, const std::string& name) {
    Bytes data;
    if (identify(slot, name, kCnsActiveNamespaces, 0, data)) write_report(slot, active_namespace_report(data));
}

void cmd_Identify_DescriptorNamespac(int slot, const std::string&, const std::string& name) {
    Bytes data;
    if (identify(slot, name, kCnsNamespaceDescriptors, 1, data)) write_report(slot, namespace_descriptor_report(data));
}

void cmd_GetLogPage_ErrorInfo(int slot, const std::string&, const std::string& name) {
    Bytes log;
    if (log_page(slot, name, kLogError, kErrorLogBytes, log)) write_report(slot, error_information_report(log));
}

void cmd_nvme_SMART(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool vendor = false;
    std::string items;
    if (!opt_bool(r, keyed_arg(r, {"ShowVendor", "ShowVSC"}, 0), vendor, false) || !items_argument(r, 1, items)) return;
    Bytes log;
    if (!log_page(slot, name, kLogSmart, kNvmeSmartBytes, log)) return;
    Bytes previous = previous_smart_reading(slot, SmartSource::Nvme);
    if (previous.size() != log.size()) previous = log;  // the first reading of a job is its own previous one
    const SmartReport report = nvme_smart_report(log, previous, vendor, items);
    store_smart_reading(slot, SmartSource::Nvme, log);
    if (!write_report(slot, report.lines)) return;
    if (items.empty()) attach_report_data(slot, log, ".smart");
    else set_items_result(slot, name, report.values);
}

void cmd_GetLogPage_FirmwareSlotInfo(int slot, const std::string&, const std::string& name) {
    Bytes ctrl, log;
    if (!identify(slot, name, kCnsController, 0, ctrl) || !log_page(slot, name, kLogFirmware, 512, log)) return;
    write_report(slot, firmware_slot_report(ctrl, log));
}

void cmd_GetLogPage_CommandEffect(int slot, const std::string&, const std::string& name) {
    Bytes log;
    if (log_page(slot, name, kLogEffects, 4096, log)) write_report(slot, command_effects_report(log));
}

// ---- ATA ---------------------------------------------------------------------

namespace {

bool read_ata_identify(int slot, const std::string& name, IdentifyData& data) {
    const int rc = read_identify_device(current_target(), data);
    if (rc == 1) return true;
    raise_error(slot, rc, name);
    return false;
}

// One SMART subcommand (LBA Mid 0x4F, High 0xC2) with its echo in grey.
int smart_command(int slot, uint8_t feature, uint16_t flags, std::span<uint8_t> data) {
    const AtaLbaBytes lba{0, 0x4F, 0xC2, 0, 0, 0};
    std::string echo;
    const int rc = ata_command_with_echo(ata_op::kSmart, feature, flags, lba, data.empty() ? 0 : 1, data, echo);
    log_text(slot, echo, colour::kGrey);
    return rc;
}

}  // namespace

void cmd_ata_Identify(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string items;
    if (!items_argument(r, 0, items)) return;
    IdentifyData data{};
    if (!read_ata_identify(slot, name, data)) return;
    const DiskRecord& disk = current_target();
    const ItemSummary s = ata_identify_items(data, disk, config_type_text(disk.firmware_kind), items);
    if (write_report(slot, s.lines)) set_items_result(slot, name, s.values);
}

void cmd_IdentifyEx(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t start = 0, end = 0;
    if (!required_u32(slot, r, "StartWord", 0, start) || !required_u32(slot, r, "EndWord", 1, end)) return;
    IdentifyData data{};
    if (!read_ata_identify(slot, name, data)) return;
    write_report(slot, identify_device_report(data, start, end));
}

void cmd_ata_SMART(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string items;
    if (!items_argument(r, 0, items)) return;
    Bytes data(512, 0), thresholds(512, 0);
    int rc = smart_command(slot, 0xD8, kAtaNoData, {});
    if (rc == 1) rc = smart_command(slot, 0xD0, kAtaPioIn, data);
    if (rc == 1) rc = smart_command(slot, 0xD1, kAtaPioIn, thresholds);
    if (rc != 1) {
        raise_error(slot, rc, name);
        return;
    }
    const Bytes previous = previous_smart_reading(slot, SmartSource::Ata);
    const SmartReport report = ata_smart_report(data, thresholds, previous.empty() ? Bytes(data) : previous, items);
    store_smart_reading(slot, SmartSource::Ata, data);
    if (write_report(slot, report.lines) && !items.empty()) set_items_result(slot, name, report.values);
}

}  // namespace tb
