#include "disk/feature_report.h"

#include "common/format.h"

namespace tb {

namespace {

struct FeatureField {
    const char* name;
    unsigned hi, lo;
};

struct FeatureDecoding {
    uint8_t id;
    const char* name;
    FeatureField fields[4];
    int count;
};

constexpr FeatureDecoding kFeatures[] = {
    {0x01, "0x01: Arbitration", {{"HPW", 31, 24}, {"MPW", 23, 16}, {"LPW", 15, 8}, {"AB", 2, 0}}, 4},
    {0x02, "0x02: Power Manage", {{"WH", 7, 5}, {"PS", 4, 0}}, 2},
    {0x04, "0x04: Temperature TH", {{"THSEL", 21, 20}, {"TMPSEL", 19, 16}, {"TMPTH", 15, 0}}, 3},
    {0x05, "0x05: Error Recovery", {{"DULBE", 16, 16}, {"TLER", 15, 0}}, 2},
    {0x06, "0x06: Write Cache", {{"WCE", 0, 0}}, 1},
    {0x07, "0x07: Queues", {{"NCQR", 31, 16}, {"NSQR", 15, 0}}, 2},
    {0x08, "0x08: Interrupt Coalesce", {{"TIME", 15, 8}, {"THR", 7, 0}}, 2},
    {0x09, "0x09: Interrupt Vector Cfg", {{"CD", 16, 16}, {"IV", 15, 0}}, 2},
    {0x0A, "0x0A: Write Atom", {{"DN", 0, 0}}, 1},
    {0x0B, "0x0B: Async Event Cfg", {}, 0},
    {0x10, "0x10: Thermal Management Temperature", {}, 0},
};

const FeatureDecoding* find(uint8_t id) {
    for (const FeatureDecoding& f : kFeatures)
        if (f.id == id) return &f;
    return nullptr;
}

uint32_t bits(uint32_t v, unsigned hi, unsigned lo) {
    const unsigned width = hi - lo + 1;
    return width >= 32 ? v >> lo : (v >> lo) & ((1u << width) - 1);
}

}  // namespace

const char* feature_name(uint8_t id) {
    const FeatureDecoding* f = find(id);
    return f ? f->name : nullptr;
}

ReportLines feature_field_lines(uint8_t id, uint32_t value) {
    ReportLines out;
    if (id == 0x0B) {
        // Asynchronous Event Configuration: the notice enables, top first.
        static constexpr FeatureField kNotices[] = {
            {"Endurance_Log_Change", 14, 14}, {"LBA_Status_Info", 13, 13},     {"Latency_Event_Change", 12, 12},
            {"Namespace_Access_Change", 11, 11}, {"Telemetry_Log", 10, 10},   {"Firmwarw_Activation", 9, 9},
            {"Namespace_Attribute", 8, 8}};
        add_line(out, fmt("    %-26s: 0x%02X", "ReferTo_NVME_OVER_FABRICS", bits(value, 31, 28)));
        for (const FeatureField& f : kNotices) add_line(out, fmt("    %-26s: 0x%02X", f.name, bits(value, f.hi, f.lo)));
        add_line(out, fmt("    %-26s: 0x%02X", "SMART_CriticalWarnings", bits(value, 7, 0)));
        return out;
    }
    if (id == 0x10) {
        add_line(out, fmt("Thermal Management Temperature 1 (TMT1) : %u Kelvin", value >> 16));
        add_line(out, fmt("Thermal Management Temperature 2 (TMT2) : %u Kelvin", value & 0xFFFF));
        return out;
    }
    const FeatureDecoding* f = find(id);
    if (!f) return out;
    for (int i = 0; i < f->count; ++i)
        add_line(out, fmt("    %-11s: 0x%02X", f->fields[i].name, bits(value, f->fields[i].hi, f->fields[i].lo)));
    return out;
}

}  // namespace tb
