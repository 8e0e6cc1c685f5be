// One decoder per kind of saved vendor file.
#include "vendor/parse_record_kinds.h"

#include <array>
#include <cctype>

#include "common/format.h"
#include "disk/smart_report.h"
#include "script/error_policy.h"
#include "vendor/parse_support.h"
#include "vendor/record_rdt.h"
#include "vendor/record_report.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

struct KindName {
    const char* extension;
    RecordKind kind;
    const char* title;
};

constexpr std::array<KindName, 13> kKinds = {{
    {"drv", RecordKind::DriveInformation, "Drive Information"},
    {"fwcfg", RecordKind::FwConfig, "FW Config"},
    {"mpinfo", RecordKind::MpInfo, "MP Information"},
    {"gd", RecordKind::GrownDefects, "Grown Defect List"},
    {"dgd", RecordKind::DieDefects, "Die Grown Defect List"},
    {"otp", RecordKind::Otp, "OTP Identifier"},
    {"recon", RecordKind::Reconstruction, "Reconstruction Status"},
    {"vpd", RecordKind::Vpd, "VPD Data"},
    {"eraw", RecordKind::EventLog, "Event Log"},
    {"cri", RecordKind::CriticalLog, "Critical Log"},
    {"cdump", RecordKind::CrashDump, "Crash Dump"},
    {"smart", RecordKind::Smart, "SMART Log"},
    {"rdt", RecordKind::RdtResult, "RDT Result"},
}};

DecodedRecord failed(int code, std::string problem) {
    DecodedRecord d;
    d.code = code;
    d.problem = std::move(problem);
    return d;
}

DecodedRecord wrong_size(size_t actual, std::string_view expected) {
    return failed(kErrFileSize, fmt("%I64d bytes; the record has %s", static_cast<uint64_t>(actual), expected));
}

DecodedRecord bad(std::string_view what) { return failed(kErrInvalidData, fmt("no valid %s", what)); }

DecodedRecord with_lines(ReportLines lines, int64_t result = 1) {
    DecodedRecord d;
    d.lines = std::move(lines);
    d.result = result;
    return d;
}

bool whole_chunks(size_t size) { return size != 0 && size % kVendorRecordBytes == 0; }

DecodedRecord fixed_record(RecordKind kind, std::span<const uint8_t> b, const DecodeOptions& o) {
    if (b.size() != kVendorRecordBytes) return wrong_size(b.size(), "4096");
    switch (kind) {
        case RecordKind::DriveInformation: {
            const auto d = decode_drive_information(b);
            return d ? with_lines(drive_information_lines(*d)) : bad("drive information (byte 0 is not 0x5A)");
        }
        case RecordKind::FwConfig: {
            if (!fw_config_magic_ok(b)) return bad("firmware configuration (no FCFG magic)");
            DecodedRecord d;
            d.code = fw_config_lines(b, o.item, o.show_offset, d.lines);
            if (d.code != 0) return failed(d.code, fmt("no item %s in the firmware configuration", o.item));
            if (!fw_config_checksum_ok(b)) {
                d.code = kErrInvalidData;
                d.problem = "firmware configuration checksum does not match";
            }
            return d;
        }
        case RecordKind::MpInfo: {
            if (!decode_manufacturing_information(b)) return bad("manufacturing information (length at 280 not 1768/4096)");
            DecodedRecord d;
            d.code = mp_info_lines(b, o.item, o.show_offset, o.defect_list, d.lines);
            if (d.code != 0) return failed(d.code, fmt("no item %s in the manufacturing information", o.item));
            return d;
        }
        case RecordKind::GrownDefects: {
            const auto l = decode_grown_defects(b);
            return l ? with_lines(grown_defect_lines(*l), static_cast<int64_t>(l->size())) : bad("grown defect list");
        }
        case RecordKind::DieDefects: {
            const auto l = decode_die_defects(b);
            return l ? with_lines(die_defect_lines(*l), static_cast<int64_t>(l->size())) : bad("die grown defect list");
        }
        case RecordKind::Otp: return with_lines(otp_lines(*decode_otp(b)));
        case RecordKind::Reconstruction: {
            const ReconstructionStatus s = *decode_reconstruction(b);
            DecodedRecord d = with_lines(reconstruction_lines(s));
            if (s.signature != kRecordValid) {
                d.code = kErrInvalidData;
                d.problem = fmt("reconstruction status signature 0x%02X, not 0x5A", s.signature);
            }
            return d;
        }
        case RecordKind::Vpd: {
            const auto v = decode_vpd(b);
            return v ? with_lines(vpd_lines(*v)) : bad("VPD record (no VPD1 magic)");
        }
        default: return bad("record");
    }
}

DecodedRecord chunked_record(RecordKind kind, std::span<const uint8_t> b, const DecodeOptions& o) {
    if (!whole_chunks(b.size())) return wrong_size(b.size(), "whole 4096-byte chunks");
    switch (kind) {
        case RecordKind::EventLog: {
            const auto e = decode_event_log(b);
            return e ? with_lines(event_log_lines(*e, o.decode_type), static_cast<int64_t>(e->size()))
                     : bad("event log");
        }
        case RecordKind::CriticalLog: {
            const auto e = decode_critical_log(b);
            return e ? with_lines(critical_log_lines(*e), static_cast<int64_t>(e->size())) : bad("critical log");
        }
        case RecordKind::CrashDump: {
            const auto c = decode_crash_dump(b);
            return c ? with_lines(crash_dump_lines(*c), static_cast<int64_t>(c->sections.size())) : bad("crash dump");
        }
        default: return bad("record");
    }
}

DecodedRecord smart_record(std::span<const uint8_t> b, const DecodeOptions& o) {
    if (b.size() != kNvmeSmartBytes) return wrong_size(b.size(), "512");
    return with_lines(nvme_smart_report(b, {}, o.show_vendor, "").lines);
}

}  // namespace

RecordKind record_kind_of(std::string_view t) {
    if (!t.empty() && t.front() == '.') t.remove_prefix(1);
    for (const KindName& k : kKinds) {
        const std::string_view e = k.extension;
        if (e.size() != t.size()) continue;
        bool same = true;
        for (size_t i = 0; i < e.size(); ++i)
            same = same && std::tolower(static_cast<unsigned char>(t[i])) == e[i];
        if (same) return k.kind;
    }
    return RecordKind::Unknown;
}

const char* record_kind_title(RecordKind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind) return k.title;
    return "Unknown Data";
}

DecodedRecord decode_record(RecordKind kind, std::span<const uint8_t> bytes, const DecodeOptions& options) {
    switch (kind) {
        case RecordKind::EventLog:
        case RecordKind::CriticalLog:
        case RecordKind::CrashDump: return chunked_record(kind, bytes, options);
        case RecordKind::Smart: return smart_record(bytes, options);
        case RecordKind::RdtResult: {
            const auto r = decode_rdt_result(bytes);
            return r ? with_lines(rdt_result_lines(*r), r->error_code == 0 ? 1 : 0) : bad("RDT result");
        }
        case RecordKind::Unknown: return with_lines(hex_view_lines(bytes, 0, kVendorRecordBytes));
        default: return fixed_record(kind, bytes, options);
    }
}

}  // namespace tb
