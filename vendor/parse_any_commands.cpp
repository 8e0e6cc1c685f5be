// Parse: a saved file decoded by the kind its Type names or, without one, by
// its extension (anything else as a hex view); Parse_FileHex: the hex view of
// a byte range of any file.
#include <algorithm>
#include <optional>

#include "common/format.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "vendor/parse_commands.h"
#include "vendor/parse_run.h"
#include "vendor/parse_support.h"

namespace tb {

namespace {

constexpr ArgSpec kParse[] = {
    {"File", "", ArgType::Text, ""},
    {"Type", "", ArgType::Text, ""},
};

constexpr ArgSpec kFileHex[] = {
    {"File", "", ArgType::Text, ""},
    {"OffsetByte", "Offset", ArgType::Number, "0", 0, 0xFFFFFFFFLL},
    {"DataLenByte", "Length", ArgType::Number, "512", 1, 1 << 20},
};

std::string_view extension_of(std::string_view file) {
    const size_t dot = file.find_last_of('.');
    const size_t slash = file.find_last_of("\\/");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return file.substr(dot + 1);
}

}  // namespace

void cmd_Parse(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse", kParse);
    if (!a) return;
    const std::string& type = a->text("Type");
    ParseRequest r;
    r.file = a->text("File");
    r.kind = record_kind_of(type.empty() ? extension_of(r.file) : std::string_view(type));
    if (!type.empty() && r.kind == RecordKind::Unknown && type != "hex" && type != "HEX") {
        raise_error(slot, kErrParam,
                    fmt("Parse: unknown Type %s (drv, fwcfg, mpinfo, gd, dgd, otp, recon, vpd, eraw, cri, cdump, "
                        "smart, rdt or hex)",
                        type));
        return;
    }
    run_parse(slot, name, r);
}

void cmd_Parse_FileHex(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse_FileHex", kFileHex);
    if (!a) return;
    const std::optional<LoadedFile> file = load_vendor_file(slot, a->text("File"), "", "Any File");
    if (!file) return;
    const uint64_t offset = static_cast<uint64_t>(a->number("OffsetByte"));
    if (offset >= file->bytes.size()) {
        raise_error(slot, kErrParam,
                    fmt("Parse_FileHex: offset %I64d is past the end of %s (%I64d bytes)", offset, file->path,
                        static_cast<uint64_t>(file->bytes.size())));
        return;
    }
    const ReportLines rows = hex_view_lines(file->bytes, static_cast<size_t>(offset),
                                            static_cast<size_t>(a->number("DataLenByte")));
    if (!print_lines(slot, rows)) return;
    const size_t shown = std::min<size_t>(file->bytes.size() - static_cast<size_t>(offset),
                                          static_cast<size_t>(a->number("DataLenByte")));
    set_result_number(slot, name, static_cast<int64_t>(shown));
}

}  // namespace tb
