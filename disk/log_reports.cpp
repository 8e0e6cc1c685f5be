#include "disk/log_reports.h"

#include <algorithm>

#include "common/format.h"

namespace tb {

namespace {

uint64_t le_at(std::span<const uint8_t> d, size_t off, size_t n) {
    if (off + n > d.size()) return 0;
    return le_value(d.subspan(off, n));
}

}  // namespace

ReportLines error_information_report(std::span<const uint8_t> log) {
    ReportLines out;
    add_line(out, "ErrorID :            ErrCount| SubmissionQ| CommandID| Status| ErrByte| ErrBit|                 LBA| "
                  "Namespace");
    for (size_t i = 0; i < kErrorLogEntries; ++i) {
        const size_t at = i * 64;
        const uint64_t count = le_at(log, at, 8);
        const uint64_t sqid = le_at(log, at + 8, 2), cid = le_at(log, at + 10, 2);
        const uint64_t status = le_at(log, at + 12, 2) >> 1;  // bit 0 is the phase tag
        const uint64_t location = le_at(log, at + 14, 2);
        const uint64_t lba = le_at(log, at + 16, 8), nsid = le_at(log, at + 24, 4);
        add_line(out, fmt("Error%02d :%20I64d|  %10d|%10X|  %5X|   %5X|  %5X|%20X|%5X", i, count, sqid, cid, status,
                          location & 0xFF, (location >> 8) & 0x7, lba & 0xFFFFFFFF, nsid));
    }
    return out;
}

ReportLines firmware_slot_report(std::span<const uint8_t> ctrl, std::span<const uint8_t> slots) {
    ReportLines out;
    const unsigned mdts = static_cast<unsigned>(le_at(ctrl, 77, 1));
    const unsigned fwug = static_cast<unsigned>(le_at(ctrl, 319, 1));
    const unsigned frmw = static_cast<unsigned>(le_at(ctrl, 260, 1));
    const unsigned afi = static_cast<unsigned>(le_at(slots, 0, 1));
    const unsigned count = (frmw >> 1) & 7;
    // 4 KiB is the smallest memory page a controller may report.
    const uint64_t mdts_kb = mdts < 48 ? uint64_t{4} << mdts : 0;
    add_line(out, fmt("Maximum Data Transfer Size (MDTS)   : %d | %I64dKB", mdts, mdts_kb));
    add_line(out, fmt("Firmware Update Granularity (FWUG)  : %d | %dKB", fwug, fwug * 4));
    add_line(out, fmt("Slot 1 ReadOnly                     : %d", frmw & 1));
    add_line(out, fmt("Active Without Reset                : %d", (frmw >> 4) & 1));
    add_line(out, fmt("Active Slot                         : %d", afi & 7));
    add_line(out, fmt("Pending Activate Slot               : %d", (afi >> 4) & 7));
    add_line(out, fmt("Firmware Slot Count                 : %d", count));
    for (unsigned n = 1; n <= count; ++n) {
        const size_t at = 8 * n;
        const std::string rev = at + 8 <= slots.size() ? ascii_field(slots.subspan(at, 8)) : std::string();
        add_line(out, fmt("Slot%d Firmware                      : %S", n, rev), colour::kGrey);
    }
    return out;
}

const char* admin_opcode_name(uint8_t op) {
    switch (op) {
        case 0x00: return "Delete IO Submission Queue";
        case 0x01: return "Create IO Submission Queue";
        case 0x02: return "Get Log Page";
        case 0x04: return "Delete IO Completion Queue";
        case 0x05: return "Create IO Completion Queue";
        case 0x06: return "Identify";
        case 0x08: return "Abort";
        case 0x09: return "Set Features";
        case 0x0A: return "Get Features";
        case 0x0C: return "Asynchronous Event Request";
        case 0x0D: return "Namespace Management";
        case 0x10: return "Firmware Commit";
        case 0x11: return "Firmware Image Download";
        case 0x14: return "Device Self-test";
        case 0x15: return "Namespace Attachment";
        case 0x18: return "Keep Alive";
        case 0x19: return "Directive Send";
        case 0x1A: return "Directive Receive";
        case 0x1C: return "Virtualization Management";
        case 0x1D: return "NVMe-MI Send";
        case 0x1E: return "NVMe-MI Receive";
        case 0x7C: return "Doorbell Buffer Config";
        case 0x80: return "Format NVM";
        case 0x81: return "Security Send";
        case 0x82: return "Security Receive";
        case 0x84: return "Sanitize";
        case 0x86: return "Get LBA Status";
        default: return "Vendor Command";
    }
}

const char* io_opcode_name(uint8_t op) {
    switch (op) {
        case 0x00: return "Flush";
        case 0x01: return "Write";
        case 0x02: return "Read";
        case 0x04: return "Write Uncorrectable";
        case 0x05: return "Compare";
        case 0x08: return "Write Zeroes";
        case 0x09: return "Dataset Management";
        case 0x0C: return "Verify";
        case 0x0D: return "Reservation Register";
        case 0x0E: return "Reservation Report";
        case 0x11: return "Reservation Acquire";
        case 0x15: return "Reservation Release";
        case 0x19: return "Copy";
        default: return "Vendor Command";
    }
}

namespace {

void effects_entries(ReportLines& out, std::span<const uint8_t> log, size_t base, const char* kind,
                     const char* (*name)(uint8_t)) {
    struct Bits {
        const char* label;
        unsigned hi, lo;
    };
    static constexpr Bits kBits[] = {
        {"    Bit 19-31", 31, 19}, {"    Bit 16-18", 18, 16}, {"    Bit 5-15", 15, 5}, {"    Bit 4", 4, 4},
        {"    Bit 3", 3, 3},       {"    Bit 2", 2, 2},       {"    Bit 1", 1, 1},     {"    Bit 0", 0, 0}};
    static constexpr const char* kText[] = {
        "Reserved", "Command Submission and Execution (CSE)", "Reserved", "Controller Capability Change (CCC)",
        "Namespace Inventory Change (NIC)", "Namespace Capability Change (NCC)",
        "Logical Block Content Change (LBCC)", "Command Supported (CSUPP)"};
    for (unsigned op = 0; op < 256; ++op) {
        const uint32_t entry = static_cast<uint32_t>(le_at(log, base + 4 * op, 4));
        if (entry == 0) continue;
        const std::string title = fmt("%s Command Opcode (%02X)", kind, op);
        add_line(out, fmt("%-16s: %-40s| %s", fmt("DWORD %-4d", op), title, name(static_cast<uint8_t>(op))));
        for (size_t i = 0; i < 8; ++i) {
            const uint32_t v = (entry >> kBits[i].lo) & ((1u << (kBits[i].hi - kBits[i].lo)) * 2 - 1);
            add_line(out, fmt("%-16s: %-40s| 0x%X", kBits[i].label, kText[i], v));
        }
    }
}

}  // namespace

ReportLines command_effects_report(std::span<const uint8_t> log) {
    ReportLines out;
    effects_entries(out, log, 0, "Admin", admin_opcode_name);
    effects_entries(out, log, 1024, "IO", io_opcode_name);
    return out;
}

ReportLines namespace_descriptor_report(std::span<const uint8_t> list) {
    ReportLines out;
    if (list.size() < 4) return out;
    const unsigned type = list[0], length = list[1];
    const char* name = type == 1 ? "IEEE Extended Unique ID" : type == 2 ? "Globally Unique ID" : type == 3 ? "UUID"
                                                                                                           : nullptr;
    add_line(out, fmt("Namespace ID Type (NIDT):  0x%04X | %s", type, name ? name : "UNKNOW"),
             name ? colour::kYellow : colour::kGrey);
    add_line(out, fmt("Namespace ID Length (NIDL) :  %d", length));
    const size_t shown = std::min<size_t>({length, 100, list.size() - 4});
    std::string id;
    for (size_t i = shown; i-- > 0;) id += fmt("%02X", list[4 + i]);
    add_line(out, fmt("Namespace ID (NID)      :  %s", id), colour::kCyan);
    return out;
}

ReportLines active_namespace_report(std::span<const uint8_t> list) {
    ReportLines out;
    for (size_t at = 0; at + 4 <= list.size(); at += 4) {
        const uint64_t id = le_at(list, at, 4);
        if (id == 0) break;
        add_line(out, fmt("Active Namespace ID : 0x%04X", id));
    }
    return out;
}

}  // namespace tb
