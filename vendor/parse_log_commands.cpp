// The decoding commands of the logs read in chunks: event log, critical log
// and crash dump, each with an optional text copy of its lines.
#include <optional>

#include "script/arg_table.h"
#include "vendor/parse_commands.h"
#include "vendor/parse_run.h"

namespace tb {

namespace {

constexpr ArgSpec kEventLog[] = {
    {"File", "", ArgType::Text, ""},
    {"DecodeType", "Type", ArgType::Number, "0", 0, 2},
    {"SaveFile", "Save", ArgType::Text, ""},
};

constexpr ArgSpec kFileSave[] = {
    {"File", "", ArgType::Text, ""},
    {"SaveFile", "Save", ArgType::Text, ""},
};

void parse_with_save(int slot, const std::string& args, const std::string& name, const char* command,
                     RecordKind kind) {
    const std::optional<CommandArgs> a = read_args(slot, args, command, kFileSave);
    if (!a) return;
    ParseRequest r;
    r.kind = kind;
    r.file = a->text("File");
    r.save_file = a->text("SaveFile");
    run_parse(slot, name, r);
}

}  // namespace

void cmd_Parse_EventLog(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "Parse_EventLog", kEventLog);
    if (!a) return;
    ParseRequest r;
    r.kind = RecordKind::EventLog;
    r.file = a->text("File");
    r.save_file = a->text("SaveFile");
    r.options.decode_type = static_cast<int>(a->number("DecodeType"));
    run_parse(slot, name, r);
}

void cmd_Parse_CriticalLog(int slot, const std::string& args, const std::string& name) {
    parse_with_save(slot, args, name, "Parse_CriticalLog", RecordKind::CriticalLog);
}

void cmd_Parse_CDump(int slot, const std::string& args, const std::string& name) {
    parse_with_save(slot, args, name, "Parse_CDump", RecordKind::CrashDump);
}

}  // namespace tb
