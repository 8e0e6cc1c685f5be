#include "disk/nvme_commands.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/ata_transport.h"
#include "disk/disk_presence.h"
#include "disk/feature_report.h"
#include "disk/nvme_transport.h"
#include "disk/refind.h"
#include "platform/disk_device.h"
#include "platform/system_settings.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "ui/output_commands.h"
#include "ui/status.h"

namespace tb {

namespace {

constexpr const char* kCancelText = "---- Cancel Command ----";
constexpr const char* kNotRawText = "Use ChangeDisk() or Partition_Delete() then try again.";
constexpr size_t kMaxResultHexItems = 32;

// ---------------------------------------------------------------------------
// Work these commands leave to other parts.

// Deleting partitions needs the system's partitioning tool, so a disk that is
// not RAW cannot be prepared.
int delete_partitions(int, DiskRecord&) { return kErrRawModeOnly; }

// The whole-disk trim belongs to the workload commands.
int trim_whole_disk(int, const DiskRecord&) { return kErrNotSupported; }

// ---------------------------------------------------------------------------
// Shared pieces.

// Reports a transport code that is not success: negative codes as they are;
// a controller error status (0) counts as a failed request.
bool report_failure(int slot, int code, std::string_view detail) {
    if (code == kNvmeOk) return false;
    raise_error(slot, nvme_error_code(code), detail);
    return true;
}

// The command's trace line in grey at a debug level other than 0.
void trace(int slot, const NvmeRequestSpec& spec) {
    const std::string line = nvme_debug_trace(spec);
    if (!line.empty()) log_text(slot, line, colour::kGrey);
}

std::string_view bytes_view(std::span<const uint8_t> data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

// Writes the data to a new default ".Hex" file; empty on failure (raised).
std::string write_default_hex(int slot, std::span<const uint8_t> data, bool append = false) {
    const std::string path = output_stem(slot) + ".Hex";
    if (!write_file_bytes(path, bytes_view(data), append)) {
        raise_error(slot, kErrOutputFile, path);
        return {};
    }
    return path;
}

// Keyed arguments with a positional fallback, as the table rows are written.
bool get_u32(const ArgReader& r, std::string_view key, size_t pos, uint32_t& out, uint32_t def) {
    return opt_u32(r, keyed_arg(r, {key}, pos), out, def);
}
bool get_bool(const ArgReader& r, std::string_view key, size_t pos, bool& out, bool def) {
    return opt_bool(r, keyed_arg(r, {key}, pos), out, def);
}
// A required argument: false (quietly) when missing or unreadable.
bool need_u32(const ArgReader& r, std::string_view key, size_t pos, uint32_t& out) {
    const ArgPair* p = keyed_arg(r, {key}, pos);
    return p && arg_u32(r.slot(), p->value, out);
}
bool need_bool(const ArgReader& r, std::string_view key, size_t pos, bool& out) {
    const ArgPair* p = keyed_arg(r, {key}, pos);
    return p && arg_bool(r.slot(), p->value, out);
}

// ---------------------------------------------------------------------------
// NVMe.

enum class IoKind { In, InNoShow, Out, OutNoShow, NoData, Bad };

IoKind io_kind(std::string_view text) {
    const std::string t = to_upper(trim(text));
    if (t == "IN" || t == "READ") return IoKind::In;
    if (t == "IN_NOSHOW") return IoKind::InNoShow;
    if (t == "OUT" || t == "WRITE") return IoKind::Out;
    if (t == "OUT_NOSHOW") return IoKind::OutNoShow;
    if (t == "NODATA" || t.empty()) return IoKind::NoData;
    return IoKind::Bad;
}

// Each "start:length:kind" item of the list runs the ResultHex command into "ResultHex%d".
void run_result_hex_items(int slot, const std::string& list) {
    std::vector<std::string> items = split(list, '|');
    for (size_t i = 0; i < items.size() && i < kMaxResultHexItems; ++i) {
        std::vector<std::string> f = split(items[i], ':');
        if (f.size() != 3) continue;
        for (std::string& s : f) s = trim(s);
        if (f[0].empty() || f[1].empty() || f[2].empty()) continue;
        cmd_ResultHex(slot, fmt("ByteStart:%s, Len:%s, HexParse:\"%s\", ShowResult:TRUE", f[0], f[1], f[2]),
                      fmt("ResultHex%d", static_cast<int>(i)));
    }
}

}  // namespace

void cmd_NVMe(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string io_text, io_file, result_hex;
    uint32_t length = 0;
    if (!r.get_string(0, io_text) || !r.get_u32(1, length)) return;
    NvmeCommand cmd;
    for (int i = 0; i < 16; ++i) {
        if (const ArgPair* p = r.find_key(fmt("CDW%d", i))) {
            uint32_t v = 0;
            if (!arg_u32(slot, p->value, v)) return;
            cmd.set_cdw(i, v);
        }
    }
    uint32_t opcode = 0, nsid = 0;
    if (!opt_u32(r, r.find_key("OpCode"), opcode, 0) || !opt_string(r, r.find_key("IOFile"), io_file) ||
        !opt_string(r, r.find_key("ResultHex"), result_hex))
        return;
    if (const ArgPair* p = r.find_key("NSID")) {
        if (!arg_u32(slot, p->value, nsid)) return;
        cmd.set_nsid(nsid);
    }
    cmd.set_opcode(static_cast<uint8_t>(opcode));

    const IoKind kind = io_kind(io_text);
    if (kind == IoKind::Bad) {
        raise_error(slot, kErrParam, "IO Parameter Error ");
        return;
    }
    const DiskRecord& target = current_target();
    const bool in = kind == IoKind::In || kind == IoKind::InNoShow;
    const bool out = kind == IoKind::Out || kind == IoKind::OutNoShow;
    std::vector<uint8_t> data(in || out ? length : 0, 0);

    // The data file: chosen before the command is sent.
    if (!io_file.empty()) {
        switch (resolve_file_argument(slot, io_file, in, "Hex", "Hex File")) {
            case FileResolve::Chosen: break;
            case FileResolve::Cancelled: set_cancel(slot); return;
            case FileResolve::NotFound: raise_error(slot, kErrFileOpen, io_file); return;
        }
        if (out) {
            log_text(slot, fmt("IOFile   : %s", io_file), colour::kCyan);
            std::string content;
            if (!read_file_bytes(io_file, content)) {
                raise_error(slot, kErrFileOpen, io_file);
                return;
            }
            std::copy_n(content.begin(), std::min(content.size(), data.size()), data.begin());
        }
    }

    const DataDir dir = in ? DataDir::In : out ? DataDir::Out : DataDir::None;
    const NvmeResult res = nvme_send(target, cmd, NvmeQueue::Admin, dir, data);
    if (report_failure(slot, res.code, name)) return;
    set_result_number(slot, name, res.value, ValueType::Hex);

    const bool show = result_hex.empty();
    if (in) {
        std::string path = io_file;
        if (path.empty()) {
            path = write_default_hex(slot, data, true);
            if (path.empty()) return;
        } else if (!write_file_bytes(path, bytes_view(data))) {
            raise_error(slot, kErrOutputFile, path);
            return;
        }
        if (kind == IoKind::In) attach_data_file(slot, colour::kOlive, path, show);
        if (!result_hex.empty()) run_result_hex_items(slot, result_hex);
    } else if (kind == IoKind::Out) {
        std::string path = io_file.empty() ? write_default_hex(slot, data) : io_file;
        if (path.empty()) return;
        attach_data_file(slot, colour::kOrange, path, show);
    }
    log_text(slot, fmt("ResultValue : 0x%04X", res.value));
}

void cmd_GetLogPage(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t id = 0, lsp = 0, length = 0;
    bool rae = false;
    if (!need_u32(r, "ID", 0, id) || !get_u32(r, "LSP", 1, lsp, 0) || !get_bool(r, "RAE", 2, rae, false) ||
        !get_u32(r, "DataLenByte", 3, length, 0))
        return;
    if (length == 0) length = 512;
    if (length % 4) {
        raise_error(slot, kErrParam, fmt("DataLenByte:%d", length));
        return;
    }
    trace(slot, nvme_get_log_page(static_cast<uint8_t>(id), static_cast<uint8_t>(lsp), rae, length));
    std::vector<uint8_t> data(length, 0);
    const NvmeResult res =
        nvme_get_log_page(current_target(), static_cast<uint8_t>(id), static_cast<uint8_t>(lsp), rae, data);
    if (report_failure(slot, res.code, name)) return;
    set_result_number(slot, name, res.value, ValueType::Hex);
    log_text(slot, fmt("Return Value  : 0x%08X", res.value));
    const std::string path = write_default_hex(slot, data);
    if (!path.empty()) attach_data_file(slot, colour::kOlive, path, true);
}

namespace {

// Get Features with its trace; false when it failed (reported).
bool get_feature(int slot, const std::string& name, uint8_t fid, uint32_t& value) {
    trace(slot, nvme_get_features(fid));
    const NvmeResult res = nvme_get_features(current_target(), fid);
    if (report_failure(slot, res.code, name)) return false;
    value = res.value;
    set_result_number(slot, name, value, ValueType::Hex);
    return true;
}

void set_feature(int slot, const std::string& name, uint8_t fid, bool save, uint32_t cdw11) {
    trace(slot, nvme_set_features(fid, save, cdw11));
    report_failure(slot, nvme_set_features(current_target(), fid, save, cdw11).code, name);
}

}  // namespace

// GetFeature( FeatureId ): the feature's name (when it has a decoding), the
// value (0 stored when the command fails) and its decoded fields.
void cmd_GetFeature(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t fid = 0;
    if (!need_u32(r, "FeatureId", 0, fid)) return;
    const uint8_t id = static_cast<uint8_t>(fid);
    if (const char* feature = feature_name(id)) log_text(slot, fmt("Feature ID %s", feature), colour::kCyan);
    uint32_t value = 0;
    if (!get_feature(slot, name, id, value)) {
        set_result_number(slot, name, 0, ValueType::Hex);
        return;
    }
    log_text(slot, fmt("Feature Value  : 0x%08X", value), colour::kYellow);
    write_report(slot, feature_field_lines(id, value));
}

void cmd_SetFeature(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t fid = 0, cdw11 = 0;
    bool save = false;
    if (!need_u32(r, "FeatureId", 0, fid) || !need_bool(r, "Save", 1, save) || !need_u32(r, "CDW11", 2, cdw11))
        return;
    set_feature(slot, name, static_cast<uint8_t>(fid), save, cdw11);
}

void cmd_GetFeature_TemperatureTH(int slot, const std::string&, const std::string& name) {
    uint32_t value = 0;
    if (!get_feature(slot, name, 0x10, value)) return;
    log_text(slot, fmt("Thermal Management Temperature 1 (TMT1) : %u Kelvin", value >> 16));
    log_text(slot, fmt("Thermal Management Temperature 2 (TMT2) : %u Kelvin", value & 0xFFFF));
}

void cmd_SetFeature_TemperatureTH(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t t1 = 0, t2 = 0;
    if (!need_u32(r, "KTemperature1", 0, t1) || !need_u32(r, "KTemperature2", 1, t2)) return;
    set_feature(slot, name, 0x10, true, t1 * 65536u + t2);
}

void cmd_GetFeature_WriteCache(int slot, const std::string&, const std::string& name) {
    uint32_t value = 0;
    if (!get_feature(slot, name, 0x06, value)) return;
    log_text(slot, fmt("Device Cache Enable : %d", value & 1));
}

void cmd_SetFeature_WriteCache(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t enable = 0;
    if (!need_u32(r, "Enable", 0, enable)) return;
    set_feature(slot, name, 0x06, true, enable);
}

void cmd_nvme_FWActive(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t fw_slot = 0, commit = 0;
    if (!need_u32(r, "Slot", 0, fw_slot) || !need_u32(r, "Commit", 1, commit)) return;
    trace(slot, nvme_firmware_commit(static_cast<uint8_t>(fw_slot), static_cast<uint8_t>(commit)));
    report_failure(slot,
                   nvme_firmware_commit(current_target(), static_cast<uint8_t>(fw_slot), static_cast<uint8_t>(commit)),
                   name);
}

namespace {

bool behind_bridge(uint8_t p) { return p >= kProtoJmi && p <= kProtoRtl9210; }
bool asmedia(uint8_t p) { return p == kProtoAsm2362 || p == kProtoAsm2364; }

// "Progress: %d%%" in a status line that each chunk rewrites.
struct DownloadProgress {
    int slot;
    int line = -1;
    void operator()(uint32_t done, uint32_t total) {
        const int percent = static_cast<int>(static_cast<uint64_t>(done) * 100 / total);
        const std::string text = fmt("Progress: %d%%", percent);
        set_status_text(slot, text);
        if (line < 0) line = log_text(slot, text, colour::kGrey);
        else rewrite_line(slot, line, text);
        sleep_cancellable(slot, done < total ? 10 : 1000);
    }
};

// Brings the controller back after a commit from ROM mode.
void relink(int slot, const DiskRecord& target) {
    log_text(slot, "ReLink Disk");
    const uint8_t p = target.access_protocol;
    if (p == kProtoNvm) {
        disk_platform().set_device_enabled(target.disk_number, false);
        disk_platform().set_device_enabled(target.disk_number, true);
    } else if (p == kProtoJmi) {
        jmicron_power_request(target, kJmiRelink);
    } else if (asmedia(p)) {
        asmedia_power_request(target, kAsmRelink);
    }
}

void power_reset(int slot, const DiskRecord& target) {
    log_text(slot, "Power Reset");
    const uint8_t p = target.access_protocol;
    if (p == kProtoJmi) {
        jmicron_power_request(target, kJmiPowerCycle);
    } else if (asmedia(p)) {
        asmedia_power_request(target, kAsmPowerOff);
        sleep_cancellable(slot, 3000);
        asmedia_power_request(target, kAsmPowerOn);
    }
}

}  // namespace

void cmd_nvme_UpdateFW(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string file, cfg_item, set_value;
    uint32_t fw_slot = 1, commit = 0, ext_delay = 0;
    bool auto_reset = true, keep_cfg = false;
    if (!opt_string(r, keyed_arg(r, {"File"}, 0), file) || !get_u32(r, "Slot", 1, fw_slot, 1) ||
        !get_u32(r, "Commit", 2, commit, 0) || !get_bool(r, "AutoReset", 3, auto_reset, true) ||
        !get_u32(r, "ExtDelay", 4, ext_delay, 0) || !get_bool(r, "KeepSSDcfg", 5, keep_cfg, false) ||
        !opt_string(r, keyed_arg(r, {"FWCfgItem"}, 6), cfg_item) ||
        !opt_string(r, keyed_arg(r, {"SetValue"}, 7), set_value))
        return;

    (void)keep_cfg;  // configuration keeping applies to the maker's containers only
    switch (resolve_file_argument(slot, file, false, "bin", "FW File")) {
        case FileResolve::Chosen: break;
        case FileResolve::Cancelled: set_cancel(slot); return;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
    }
    log_text(slot, fmt("FW File : %s", file));

    const DiskRecord target = current_target();
    std::vector<uint8_t> id(kIdentifyLength, 0);
    if (report_failure(slot, nvme_identify(target, kCnsController, 0, id), name)) return;
    if (fw_slot == 1 && (id[260] & 1)) fw_slot = 2;  // slot 1 is read-only

    const bool rom_mode = target.firmware_kind == 0;
    uint32_t action = commit;
    if (action == 0) action = rom_mode && target.access_protocol == kProtoNvm ? 3 : 1;

    std::string image;
    if (!read_file_bytes(file, image) || image.empty()) {
        raise_error(slot, kErrFileOpen, file);
        return;
    }
    // A maker's container must carry its configuration block.
    if (image.compare(0, 4, "CMFG") == 0 && image.find("CONF") == std::string::npos) {
        raise_error(slot, kErrGeneric, "No Found CONF block");
        return;
    }

    DownloadProgress progress{slot};
    const int rc = nvme_firmware_download(
        target, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(image.data()), image.size()),
        [&progress](uint32_t done, uint32_t total) { progress(done, total); });
    if (rc != kNvmeOk) {
        raise_error(slot, nvme_error_code(rc), "FW Download Error");
        return;
    }
    if (action == 255) {
        log_text(slot, "No Commit");
        return;
    }
    log_text(slot, fmt("Commit Action: %d", action));
    trace(slot, nvme_firmware_commit(static_cast<uint8_t>(fw_slot), static_cast<uint8_t>(action)));
    const int commit_rc = nvme_firmware_commit(target, static_cast<uint8_t>(fw_slot), static_cast<uint8_t>(action));
    if (commit_rc != kNvmeOk) {
        raise_error(slot, commit_rc < 0 ? commit_rc : kErrIoControl, "FW Commit Error");
        return;
    }
    sleep_cancellable(slot, 3000);
    if (rom_mode) {
        log_text(slot, "Delay", colour::kGrey);
        sleep_cancellable(slot, 5000);
        if (ext_delay) {
            log_text(slot, "Extra Delay", colour::kGrey);
            sleep_cancellable(slot, ext_delay * 1000);
        }
        relink(slot, target);
    } else {
        sleep_cancellable(slot, 10000);
        if (ext_delay) sleep_cancellable(slot, ext_delay * 1000);
        if (auto_reset && behind_bridge(target.access_protocol)) power_reset(slot, target);
    }
    if (cancel_requested(slot)) return;
    wait_for_disk(slot, 60);
}

void cmd_UpdateFWex(int slot, const std::string& args, const std::string& name) { cmd_nvme_UpdateFW(slot, args, name); }

void cmd_nvme_SecurErase(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool confirm = false;
    if (!need_bool(r, "ConfirmMsg", 0, confirm)) return;
    if (confirm && !operator_dialogs()->confirm(slot, "Security Erase?")) {
        log_text(slot, kCancelText, colour::kCyan);
        return;
    }
    DiskRecord& target = current_target();
    if (!target.raw_flag) {
        const bool was_volume = target.record_kind == kRecordVolume;
        const int rc = delete_partitions(slot, target);
        if (rc != 1) {
            raise_error(slot, rc, kNotRawText);
            return;
        }
        if (was_volume) log_text(slot, fmt("Change to Disk: %s", target.physical_path), colour::kBlue);
    }
    trace(slot, nvme_format_user_erase());
    if (nvme_format_user_erase(target) == kNvmeOk) {
        sleep_cancellable(slot, 3000);
        return;
    }
    log_text(slot, "Security Erase Fail, Try again by TRIM all disk...", colour::kOrange);
    const int trim_rc = trim_whole_disk(slot, target);
    sleep_cancellable(slot, 3000);
    if (trim_rc != 1) raise_error(slot, trim_rc < 0 ? trim_rc : kErrIoControl, name);
}

// Every attempt looks the target disk up afresh: once it is removed, a
// machine that numbers disks by their place gives its number to the next
// disk, which must never be removed in its stead.
void cmd_SafeRemoveNVMe(int slot, const std::string&, const std::string&) {
    const DiskRecord target = current_target();
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::optional<uint32_t> number = present_disk_number(target);
        if (!number) break;
        log_text(slot, "Remove Disk & Parent Controller Driver");
        if (!disk_platform().remove_device(*number)) {
            raise_error(slot, kErrGeneric, "Remove NVMe Fail");
            return;
        }
    }
    log_text(slot, "You can safely remove the device");
    log_text(slot, "After replug device, find new device by command: ReScanDriver();");
}

void cmd_SetSystem_NVMeEnable(int slot, const std::string& args, const std::string&) {
    ArgReader r(slot, args);
    bool enable = true;
    if (!need_bool(r, "Enable", 0, enable)) return;
    if (!disk_platform().set_device_enabled(current_target().disk_number, enable))
        raise_error(slot, kErrChangeDriver, enable ? "enable" : "disable");
}

// The host-memory-buffer policy is a value of the system settings store
// (the storage port's key).
void cmd_SetSystem_HMB(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t set = 0;
    if (!get_u32(r, "HmbSet", 0, set, 0)) return;
    constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Control\\StorPort";
    constexpr const char* kValue = "HmbAllocationPolicy";
    uint32_t now = 0;
    get_system_value(kKey, kValue, now);
    log_text(slot, fmt("Now Host HMB Value: %d", static_cast<int>(now)));
    if (set == 255) return;
    if (set > 2) set = 2;
    if (!set_system_value(kKey, kValue, set)) {
        raise_error(slot, kErrGeneric, fmt("%s\\%s", kKey, kValue));
        return;
    }
    log_text(slot, fmt("Set Host HMB Value: %d", static_cast<int>(set)));
    log_text(slot, "Please Reboot PC for Active HMB Setting.");
}

namespace {

uint16_t cfg16(const std::vector<uint8_t>& c, size_t off) {
    return off + 1 < c.size() ? static_cast<uint16_t>(c[off] | (c[off + 1] << 8)) : 0;
}
uint32_t cfg32(const std::vector<uint8_t>& c, size_t off) {
    return static_cast<uint32_t>(cfg16(c, off)) | (static_cast<uint32_t>(cfg16(c, off + 2)) << 16);
}

// Offset of the PCI Express capability, 0 when the list has none.
uint32_t express_capability(const std::vector<uint8_t>& c) {
    if (c.size() < 64 || !(cfg16(c, 0x06) & 0x10)) return 0;
    uint32_t at = c[0x34] & 0xFC;
    for (int guard = 0; at >= 0x40 && at + 1 < c.size() && guard < 48; ++guard) {
        if (c[at] == 0x10) return at;
        at = c[at + 1] & 0xFC;
    }
    return 0;
}

// PCI configuration access is for disks on the PCI bus behind an NVMe driver.
bool pci_disk(int slot) {
    const uint8_t p = current_target().access_protocol;
    if (p != kProtoNvm && p != kProtoOfaNvm) {
        raise_error(slot, kErrNotSupported, "Not PCI Device");
        return false;
    }
    return true;
}

}  // namespace

// Sets the target link speed of the port above the disk's controller (Link
// Control 2) and retrains the link (Link Control, Retrain Link).
void cmd_SetSystem_PCISpeed(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t gen = 0;
    if (!get_u32(r, "Gen", 0, gen, 3)) return;
    if (!pci_disk(slot)) return;
    const uint32_t disk = current_target().disk_number;
    std::vector<uint8_t> port;
    if (!disk_platform().read_pci_config(disk, true, port) || port.size() < 256) {
        raise_error(slot, kErrGeneric, "Load Kernel Driver Fail");
        return;
    }
    const uint32_t cap = express_capability(port);
    if (cap == 0 || gen < 1 || gen > 15) {
        raise_error(slot, kErrParam, fmt("Gen:%u", gen));
        return;
    }
    uint16_t ctl2 = static_cast<uint16_t>((cfg16(port, cap + 0x30) & ~0xFu) | gen);
    uint16_t ctl = static_cast<uint16_t>(cfg16(port, cap + 0x10) | 0x20);
    const uint8_t ctl2_bytes[2] = {static_cast<uint8_t>(ctl2), static_cast<uint8_t>(ctl2 >> 8)};
    const uint8_t ctl_bytes[2] = {static_cast<uint8_t>(ctl), static_cast<uint8_t>(ctl >> 8)};
    if (!disk_platform().write_pci_config(disk, true, cap + 0x30, ctl2_bytes) ||
        !disk_platform().write_pci_config(disk, true, cap + 0x10, ctl_bytes)) {
        raise_error(slot, kErrGeneric, "Create Driver Object Fail");
        return;
    }
    sleep_cancellable(slot, 100);  // link training
}

void cmd_PCIInfo(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool ext = false;
    if (!get_bool(r, "ExtData", 0, ext, false)) return;
    if (!pci_disk(slot)) return;
    const DiskRecord& target = current_target();
    std::vector<uint8_t> c;
    if (!disk_platform().read_pci_config(target.disk_number, false, c) || c.size() < 64) {
        raise_error(slot, kErrGeneric, "Load Kernel Driver Fail");
        return;
    }
    const uint32_t loc = target.port_location;
    log_text(slot, fmt("Port ID        : PCIE-%02X:%02X.%X", (loc >> 8) & 0xFF, (loc >> 3) & 0x1F, loc & 7));
    log_text(slot, fmt("VendorID       : %04X", cfg16(c, 0x00)));
    log_text(slot, fmt("DeviceID       : %04X", cfg16(c, 0x02)));
    log_text(slot, fmt("SubsystemID    : %04X", cfg16(c, 0x2E)));
    log_text(slot, fmt("SubsystemVID   : %04X", cfg16(c, 0x2C)));
    log_text(slot, fmt("Command        : 0x%02X", cfg16(c, 0x04)));
    log_text(slot, fmt("Status         : %u", cfg16(c, 0x06)));
    log_text(slot, fmt("RevisionID     : %u", c[0x08]));
    log_text(slot, fmt("ClassCode      : 0x%02X%02X%02X", c[0x0B], c[0x0A], c[0x09]));
    log_text(slot, fmt("CacheLineSize  : %u", c[0x0C]));
    log_text(slot, fmt("LatencyTimer   : %u", c[0x0D]));
    log_text(slot, fmt("HeaderType     : %u", c[0x0E]));
    log_text(slot, fmt("BIST           : %u", c[0x0F]));
    for (int i = 0; i < 6; ++i) {
        const uint32_t bar = cfg32(c, 0x10 + 4 * static_cast<size_t>(i));
        if (bar == 0) log_text(slot, fmt("BAR%d           : 0x00000000", i));
        else if (bar & 1) log_text(slot, fmt("BAR%d           : 0x%08X (PIO)", i, bar));
        else log_text(slot, fmt("BAR%d           : 0x%08X (MMIO)", i, bar));
    }
    // The link lines need the capability list, beyond the header a user other
    // than root may read.
    if (const uint32_t cap = express_capability(c); cap != 0 && cap + 0x14 <= c.size()) {
        const uint32_t link_cap = cfg32(c, cap + 0x0C);
        const uint16_t link_status = cfg16(c, cap + 0x12);
        log_text(slot, fmt("Max Support Gen x Lane : %d x %d ", static_cast<int>(link_cap & 0xF),
                           static_cast<int>((link_cap >> 4) & 0x3F)));
        log_text(slot, fmt("Current Link Gen x Lane: %d x %d ", static_cast<int>(link_status & 0xF),
                           static_cast<int>((link_status >> 4) & 0x3F)));
    }
    (void)ext;  // the maker's calibration and link statistics come with its vendor commands
}

}  // namespace tb
