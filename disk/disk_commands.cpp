#include "disk/disk_commands.h"

#include "common/format.h"
#include "common/text.h"
#include "disk/capacity.h"
#include "disk/disk_discovery.h"
#include "disk/disk_identity.h"
#include "disk/port_identifier.h"
#include "disk/target_match.h"
#include "disk/target_select.h"
#include "disk/vendor_identification.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/operator_dialogs.h"
#include "ui/command_args.h"
#include "ui/job_log.h"

namespace tb {

namespace {

constexpr uint64_t kMiB = 1048576;
constexpr uint64_t kGiB = 1073741824;

// The capacity column: a disk in decimal GB, a volume in binary MB or GB.
std::string capacity_text(const DiskRecord& r) {
    if (r.record_kind == kRecordVolume) {
        if (r.size_b <= kGiB) return fmt("%dMB", static_cast<int64_t>(r.size_b / kMiB));
        return fmt("%dGB", static_cast<int64_t>(r.size_b / kGiB));
    }
    return fmt("%dGB", static_cast<int64_t>(capacity_gb(r.bytes_per_sector, r.size_b)));
}

std::string path_column(const DiskRecord& r) {
    if (r.native_path.empty()) return r.device_path;
    return fmt("%s (%s)", r.device_path, r.native_path);
}

std::string disk_list_line(const DiskRecord& r, bool column) {
    const char* form = column ? "%-38s|%-10s|%-8s|%-14s|%-9s|%-6s|%s" : "%-38s %-10s %-8s %-14s %-9s %-6s %s";
    if (r.record_kind == kRecordVolume)
        return fmt(form, fmt("        \xE2\x88\x9F%s", r.display_name), "", capacity_text(r), "", "", "",
                   path_column(r));
    std::string vid = r.pci_vendor_id ? fmt("%04X", r.pci_vendor_id) : std::string();
    return fmt(form, r.display_name, r.firmware_revision, capacity_text(r), port_identifier(r), protocol_name(r),
               vid, path_column(r));
}

void set_flag(int slot, const std::string& name, bool value) { set_result_number(slot, name, value ? 1 : 0); }

// ---------------------------------------------------------------- selection prompt

// Asks for a disk; empty when cancelled.
std::string ask_for_disk(int slot) {
    std::vector<DiskChoice> choices = disk_choices();
    ChoiceRequest request;
    request.title = "Targit Disk";
    const std::string& current = app().target;
    for (size_t i = 0; i < choices.size(); ++i) {
        request.items.push_back(choices[i].text);
        if (request.preselected < 0 && !current.empty() && iequals(choices[i].physical_path, current))
            request.preselected = static_cast<int>(i);
    }
    int chosen = operator_dialogs()->choose(slot, request);
    if (chosen < 0 || static_cast<size_t>(chosen) >= choices.size()) return {};
    return choices[static_cast<size_t>(chosen)].physical_path;
}

}  // namespace

std::vector<DiskChoice> disk_choices() {
    std::vector<DiskChoice> out;
    const DiskTable& table = disk_table();
    for (int i = 0; i < table.count; ++i) {
        const DiskRecord& r = table.records[static_cast<size_t>(i)];
        std::string text;
        if (r.record_kind == kRecordVolume)
            text = fmt("        \xE2\x88\x9F%s", r.display_name);
        else
            text = fmt("%-38s %-8s %-10s %-14s %-9s %s", r.display_name, capacity_text(r), r.drive_letters,
                       port_identifier(r), protocol_name(r), r.physical_path);
        out.push_back({text, r.physical_path});
    }
    return out;
}

// ---------------------------------------------------------------- DiskList

void cmd_DiskList(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    bool show_volumes = false, column = false, master = true;
    std::string filter;
    if (!opt_bool(r, keyed_arg(r, {"ShowVolumn"}, 0), show_volumes, false) ||
        !opt_bool(r, keyed_arg(r, {"Column"}, 1), column, false) ||
        !opt_string(r, keyed_arg(r, {"Filter"}, 2), filter) ||
        !opt_bool(r, keyed_arg(r, {"Master"}, 3), master, true))
        return;

    DiskTable& table = disk_table();
    std::string result;
    if (discover(table, kDiskTableCapacity) > 0) {
        const bool vendor_filter = selector_needs_vendor_id(filter);
        for (int i = 0; i < table.count; ++i) {
            DiskRecord& rec = table.records[static_cast<size_t>(i)];
            if (!master && rec.system_flag == 1) continue;
            if (rec.record_kind == kRecordVolume && !show_volumes) continue;
            if (vendor_filter && rec.soc_id == 0) identify_vendor(rec);
            if (!filter.empty() && !match_target(filter, rec)) continue;
            write_line(slot, disk_list_line(rec, column), LineFormat::Normal, 10, colour::kCyan);
            if (!result.empty()) result += ",";
            result += fmt("\"%s\"", rec.device_path);
        }
    }
    set_result_string(slot, name, result);
}

// ---------------------------------------------------------------- ChangeDisk

void cmd_ChangeDisk(int slot, const std::string& args, const std::string& name) {
    write_line(slot, fmt("%s(%s);", name, args), LineFormat::Normal, 10, colour::kGreen);
    ArgReader r(slot, args);
    std::string wanted;
    if (!opt_string(r, keyed_arg(r, {"PhysicalName"}, 0), wanted)) return;

    if (wanted.empty()) {
        wanted = ask_for_disk(slot);
        if (wanted.empty()) {
            log_text(slot, "---- Cancel Command ----", colour::kCyan);
            return;
        }
    }

    const DiskTable& table = disk_table();
    const DiskRecord* found = nullptr;
    for (int i = 0; i < table.count && !found; ++i) {
        const DiskRecord& rec = table.records[static_cast<size_t>(i)];
        if (!rec.physical_path.empty() && iequals(rec.physical_path, wanted)) found = &rec;
    }
    if (!found) {
        raise_error(slot, kErrOpenDisk, fmt("Cannot find %s", wanted));
        return;
    }

    std::string disk_name = to_upper(wanted);
    DiskRecord chosen = *found;
    // A console run has no window to hand the switch to: it happens here.
    if (app().console_run() || !disk_notice_handler_installed()) set_current_target(chosen);
    app().target = disk_name;
    notify_disk_change(slot, DiskNotice::ChangeRequested, disk_name);
    write_line(slot, fmt("Change to Disk: %s", disk_name), LineFormat::Normal, 10, colour::kBlue);
}

// ---------------------------------------------------------------- identity

void cmd_GetDiskInfo(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string item;
    if (!r.get_string(0, item)) return;
    item = trim(item);
    const DiskRecord& target = current_target();
    if (iequals(item, "Drive Path")) {
        set_result_string(slot, name, target.physical_path);
        return;
    }
    std::string value;
    if (iequals(item, "Model Name") || iequals(item, "Serial Number") || iequals(item, "Firmware Version")) {
        DriveIdentity id = read_drive_identity(target);
        if (id.ok) {
            if (iequals(item, "Model Name")) value = id.model;
            else if (iequals(item, "Serial Number")) value = id.serial;
            else value = id.firmware;
        }
    }
    set_result_string(slot, name, value);
}

void cmd_GetSocID(int slot, const std::string& args, const std::string& name) {
    uint32_t soc = identify_vendor(current_target());
    set_result_number(slot, name, soc, ValueType::Hex);
}

void cmd_IsDiskExist(int slot, const std::string& args, const std::string& name) {
    set_flag(slot, name, has_current_target() && read_drive_identity(current_target()).ok);
}

void cmd_IsNVMEDisk(int slot, const std::string& args, const std::string& name) {
    set_flag(slot, name, is_nvme_protocol(current_target().access_protocol));
}

void cmd_IsRAWDisk(int slot, const std::string& args, const std::string& name) {
    set_flag(slot, name, current_target().raw_flag == 1);
}

void cmd_IsUSBPort(int slot, const std::string& args, const std::string& name) {
    set_flag(slot, name, current_target().bus_type == kBusUsb);
}

void cmd_IsROMDrive(int slot, const std::string& args, const std::string& name) {
    set_flag(slot, name, current_target().firmware_kind == 0);
}

void cmd_IsFWCfgDisk(int slot, const std::string& args, const std::string& name) {
    int32_t kind = current_target().firmware_kind;
    set_flag(slot, name, kind >= 1 && kind <= 3);
}

// This build runs on Linux: scripts that branch on the operating system take
// their non-Windows path.
void cmd_IsWinOS(int slot, const std::string& args, const std::string& name) { set_flag(slot, name, false); }

}  // namespace tb
