#include "vendor/parse_run.h"

#include "common/format.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "vendor/parse_support.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

// The value of the one item asked for, from its "name : value" line.
std::string item_value(const ReportLines& lines) {
    if (lines.empty()) return {};
    const std::string& text = lines.front().text;
    const size_t colon = text.find(" : ");
    return colon == std::string::npos ? std::string() : text.substr(colon + 3);
}

}  // namespace

std::string_view record_extension(RecordKind kind) {
    switch (kind) {
        case RecordKind::DriveInformation: return "drv";
        case RecordKind::FwConfig: return "fwcfg";
        case RecordKind::MpInfo: return "mpinfo";
        case RecordKind::GrownDefects: return "gd";
        case RecordKind::DieDefects: return "dgd";
        case RecordKind::Otp: return "otp";
        case RecordKind::Reconstruction: return "recon";
        case RecordKind::Vpd: return "vpd";
        case RecordKind::EventLog: return "eraw";
        case RecordKind::CriticalLog: return "cri";
        case RecordKind::CrashDump: return "cdump";
        case RecordKind::Smart: return "smart";
        case RecordKind::RdtResult: return "rdt";
        case RecordKind::Unknown: break;
    }
    return "bin";
}

void run_parse(int slot, const std::string& name, const ParseRequest& request) {
    const std::optional<LoadedFile> file = load_vendor_file(slot, request.file, record_extension(request.kind),
                                                            fmt("%s File", record_kind_title(request.kind)));
    if (!file) return;
    const DecodedRecord d = decode_record(request.kind, file->bytes, request.options);
    if (!d.lines.empty()) log_text(slot, fmt("---- %s ----", record_kind_title(request.kind)), colour::kGreen);
    if (!print_lines(slot, d.lines)) return;
    if (d.code < 0) {
        raise_error(slot, d.code, fmt("%s: %s", file->path, d.problem));
        return;
    }
    if (!save_lines(slot, request.save_file, d.lines)) return;
    if (!request.options.item.empty())
        set_result_string(slot, name, item_value(d.lines));
    else
        set_result_number(slot, name, d.result);
}

}  // namespace tb
