// RDTResult: the reliability test result file, each test with its error text.
#include <optional>

#include "common/format.h"
#include "common/ini_file.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/parse_commands.h"
#include "vendor/parse_support.h"
#include "vendor/record_report.h"

namespace tb {

namespace {

constexpr ArgSpec kSpecs[] = {
    {"File", "", ArgType::Text, ""},
    {"ShowResult", "Show", ArgType::Bool, "TRUE"},
};

std::string with_error_text(uint32_t code) {
    const std::string text = rdt_error_text(code);
    return text.empty() ? fmt("0x%04X", code) : fmt("0x%04X %s", code, text);
}

}  // namespace

std::string rdt_error_text(uint32_t code) {
    if (app().work_folder.empty()) return {};
    return ini_read_string(app().work_folder + "\\ErrCodeList.ini", "ErrorCodeString", fmt("0x%04X", code), "");
}

ReportLines rdt_result_lines(const RdtResult& r) {
    ReportLines out;
    add_line(out, fmt("RDT Loops          : %d", r.loops));
    add_line(out, fmt("Test Count         : %d", r.tests.size()));
    for (const RdtTest& t : r.tests)
        add_line(out,
                 fmt("%-24s loops %6d  bad blocks %5d  %6d sec  %s", t.name, t.loops, t.bad_blocks, t.seconds,
                     with_error_text(t.error_code)),
                 t.error_code ? colour::kRed : colour::kWhite);
    if (r.error_code == 0)
        add_line(out, "RDT Result         : PASS", colour::kGreen);
    else
        add_line(out, fmt("RDT Result         : FAIL %s", with_error_text(r.error_code)), colour::kRed);
    return out;
}

void cmd_RDTResult(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "RDTResult", kSpecs);
    if (!a) return;
    const std::optional<LoadedFile> file = load_vendor_file(slot, a->text("File"), "rdt", "RDT Result File");
    if (!file) return;
    const std::optional<RdtResult> r = decode_rdt_result(file->bytes);
    if (!r) {
        raise_bad_record(slot, *file, "RDT result (no RDT1 magic or a test count past the file's end)");
        return;
    }
    if (a->flag("ShowResult") && !print_lines(slot, rdt_result_lines(*r))) return;
    set_result_number(slot, name, static_cast<int64_t>(r->error_code), ValueType::Hex);
}

}  // namespace tb
