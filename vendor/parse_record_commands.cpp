// The decoding commands of the single records: drive information, firmware
// configuration, manufacturing information, defect lists, SMART log.
#include <optional>

#include "script/arg_table.h"
#include "vendor/parse_commands.h"
#include "vendor/parse_run.h"

namespace tb {

namespace {

constexpr ArgSpec kFileOnly[] = {{"File", "", ArgType::Text, ""}};

constexpr ArgSpec kFwConfig[] = {
    {"File", "", ArgType::Text, ""},
    {"FWCfgItem", "Item", ArgType::Text, ""},
    {"ShowOffset", "Offset", ArgType::Bool, "FALSE"},
};

constexpr ArgSpec kMpInfo[] = {
    {"File", "", ArgType::Text, ""},
    {"MPInfoItem", "Item", ArgType::Text, ""},
    {"ShowOffset", "Offset", ArgType::Bool, "FALSE"},
    {"DefectList", "", ArgType::Bool, "FALSE"},
};

constexpr ArgSpec kSmart[] = {
    {"File", "", ArgType::Text, ""},
    {"ShowVSC", "ShowVendor", ArgType::Bool, "FALSE"},
};

void parse_file_only(int slot, const std::string& args, const std::string& name, const char* command,
                     RecordKind kind) {
    const std::optional<CommandArgs> a = read_args(slot, args, command, kFileOnly);
    if (!a) return;
    ParseRequest r;
    r.kind = kind;
    r.file = a->text("File");
    run_parse(slot, name, r);
}

}  // namespace

void cmd_Parse_DrvInfo(int slot, const std::string& args, const std::string& name) {
    parse_file_only(slot, args, name, "Parse_DrvInfo", RecordKind::DriveInformation);
}

void cmd_Parse_GrownDefect(int slot, const std::string& args, const std::string& name) {
    parse_file_only(slot, args, name, "Parse_GrownDefect", RecordKind::GrownDefects);
}

void cmd_Parse_DieGrownDefect(int slot, const std::string& args, const std::string& name) {
    parse_file_only(slot, args, name, "Parse_DieGrownDefect", RecordKind::DieDefects);
}

void cmd_Parse_FWconfig(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse_FWconfig", kFwConfig);
    if (!a) return;
    ParseRequest r;
    r.kind = RecordKind::FwConfig;
    r.file = a->text("File");
    r.options.item = a->text("FWCfgItem");
    r.options.show_offset = a->flag("ShowOffset");
    run_parse(slot, name, r);
}

void cmd_Parse_MPInfo(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse_MPInfo", kMpInfo);
    if (!a) return;
    ParseRequest r;
    r.kind = RecordKind::MpInfo;
    r.file = a->text("File");
    r.options.item = a->text("MPInfoItem");
    r.options.show_offset = a->flag("ShowOffset");
    r.options.defect_list = a->flag("DefectList");
    run_parse(slot, name, r);
}

void cmd_Parse_SMART(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse_SMART", kSmart);
    if (!a) return;
    ParseRequest r;
    r.kind = RecordKind::Smart;
    r.file = a->text("File");
    r.options.show_vendor = a->flag("ShowVSC");
    run_parse(slot, name, r);
}

}  // namespace tb
