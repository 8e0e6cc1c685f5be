// INI built-ins: GetINIData and SetINIData. Arguments are matched by key.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/ini_file.h"
#include "common/text.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "script/utility_commands.h"

namespace tb {

namespace {

constexpr size_t kIniValueChars = 259;

// A C-library style conversion into a 32-bit long: leading blanks and a sign
// are accepted, conversion stops at the first invalid character, and values
// out of range saturate.
int32_t to_long32(const std::string& text, int base) {
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, base);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Resolves the file argument; false when the command must end (raising -11
// for a missing file, setting the cancel flag for a cancelled choice).
bool resolve_ini_file(int slot, std::string& file, bool save_mode, std::string_view title) {
    switch (resolve_file_argument(slot, file, save_mode, "ini", title)) {
        case FileResolve::Chosen:
            return true;
        case FileResolve::NotFound:
            raise_error(slot, kErrFileOpen, file);
            return false;
        case FileResolve::Cancelled:
            set_cancel(slot);
            return false;
    }
    return false;
}

}  // namespace

void cmd_GetINIData(int slot, const std::string& args, const std::string& name) {
    std::string section = "LogData", item, file, convert = "AUTO", fallback;
    for (const ArgPair& p : split_pairs(args)) {
        if (p.value.empty()) break;
        std::string* target = nullptr;
        if (iequals(p.key, "Section"))
            target = &section;
        else if (iequals(p.key, "Item"))
            target = &item;
        else if (iequals(p.key, "File"))
            target = &file;
        else if (iequals(p.key, "CovertType"))
            target = &convert;
        else if (iequals(p.key, "Default"))
            target = &fallback;
        if (target && !arg_string(slot, p.value, *target)) return;
    }
    if (!resolve_ini_file(slot, file, false, "ini File")) return;

    const std::string value = utf16_truncate(ini_read_string(file, section, item, fallback), kIniValueChars);
    int64_t n = 0;
    if (iequals(convert, "String"))
        set_result_string(slot, name, value);
    else if (iequals(convert, "Integer"))
        set_result_number(slot, name, to_long32(value, 10), ValueType::Decimal);
    else if (iequals(convert, "Hex"))
        set_result_number(slot, name, to_long32(value, 16), ValueType::Hex);
    else if (parse_hex_literal(value, n))
        set_result_number(slot, name, n, ValueType::Hex);
    else if (parse_decimal_literal(value, n))
        set_result_number(slot, name, n, ValueType::Decimal);
    else
        set_result_string(slot, name, value);
}

void cmd_SetINIData(int slot, const std::string& args, const std::string& name) {
    std::string section = "LogData", item, output, file;
    bool flush = false;  // our writes go straight to the file, so there is no cache to flush
    for (const ArgPair& p : split_pairs(args)) {
        std::string* target = nullptr;
        if (iequals(p.key, "Section"))
            target = &section;
        else if (iequals(p.key, "Item"))
            target = &item;
        else if (iequals(p.key, "Output"))
            target = &output;
        else if (iequals(p.key, "File"))
            target = &file;
        else if (iequals(p.key, "Flush"))
            arg_bool(slot, p.value, flush);
        if (target && !arg_string(slot, p.value, *target)) return;
    }
    if (!resolve_ini_file(slot, file, true, "INI File")) return;
    if (item.empty()) return;
    ini_write_string(file, section, item, output);
}

}  // namespace tb
