// The lines of the list records: defect lists, event, critical and crash logs.
#include <algorithm>

#include "common/format.h"
#include "vendor/record_report.h"

namespace tb {

namespace {

// "hhh:mm:ss.mmm" of a power-on time.
std::string power_on_time(uint64_t ms) {
    const uint64_t s = ms / 1000;
    return fmt("%03I64d:%02d:%02d.%03d", s / 3600, static_cast<int>(s / 60 % 60), static_cast<int>(s % 60),
               static_cast<int>(ms % 1000));
}

uint32_t severity_colour(uint8_t severity) {
    return severity >= 2 ? colour::kRed : severity == 1 ? colour::kYellow : colour::kWhite;
}

const char* severity_name(uint8_t severity) {
    return severity >= 2 ? "ERR " : severity == 1 ? "WARN" : "INFO";
}

}  // namespace

ReportLines grown_defect_lines(std::span<const GrownDefect> list) {
    ReportLines out;
    add_line(out, fmt("Grown Defect Count : %d", list.size()), list.empty() ? colour::kGreen : colour::kYellow);
    if (!list.empty()) add_line(out, " No.   CH  CE  Die Plane Block  Reason", colour::kGreen);
    for (size_t i = 0; i < list.size(); ++i) {
        const GrownDefect& d = list[i];
        add_line(out, fmt("%4d   %2d  %2d  %3d %5d %5d  %s", i + 1, d.channel, d.ce, d.die, d.plane, d.block,
                          defect_reason_name(d.reason)));
    }
    return out;
}

ReportLines die_defect_lines(std::span<const DieDefects> list) {
    ReportLines out;
    uint64_t total = 0;
    for (const DieDefects& d : list) total += d.grown_blocks;
    add_line(out, fmt("Die Count          : %d", list.size()));
    add_line(out, fmt("Total Grown Blocks : %I64d", total), total ? colour::kYellow : colour::kGreen);
    if (!list.empty()) add_line(out, " CH  CE  Die  Grown Blocks", colour::kGreen);
    for (const DieDefects& d : list)
        add_line(out, fmt("%3d %3d  %3d  %12d", d.channel, d.ce, d.die, d.grown_blocks));
    return out;
}

ReportLines event_log_lines(std::span<const VendorEvent> events, int decode_type) {
    ReportLines out;
    add_line(out, fmt("Event Count        : %d", events.size()));
    for (const VendorEvent& e : events) {
        if ((decode_type == 1 && e.severity < 1) || (decode_type >= 2 && e.severity < 2)) continue;
        add_line(out,
                 fmt("[%s] %s 0x%04X %-20s 0x%08X", power_on_time(e.timestamp_ms), severity_name(e.severity), e.code,
                     event_code_name(e.code), e.parameter),
                 severity_colour(e.severity));
    }
    return out;
}

ReportLines critical_log_lines(std::span<const CriticalEntry> entries) {
    ReportLines out;
    add_line(out, fmt("Critical Count     : %d", entries.size()), entries.empty() ? colour::kGreen : colour::kYellow);
    for (const CriticalEntry& e : entries)
        add_line(out, fmt("[%s] 0x%08X 0x%08X %s", power_on_time(e.timestamp_ms), e.code, e.parameter, e.text),
                 colour::kRed);
    return out;
}

ReportLines crash_dump_lines(const CrashDump& dump) {
    ReportLines out;
    add_line(out, fmt("Crash Reason       : %d (%s)", dump.reason, crash_reason_name(dump.reason)), colour::kRed);
    add_line(out, fmt("Section Count      : %d", dump.sections.size()));
    for (const CrashSection& s : dump.sections) {
        add_line(out, fmt("Section %-16s : %d bytes", s.name, s.data.size()), colour::kGreen);
        const size_t shown = std::min<size_t>(s.data.size(), 32);
        if (shown) add_line(out, fmt("    %s", hex_bytes_text(std::span<const uint8_t>(s.data).first(shown))));
    }
    return out;
}

}  // namespace tb
