// Result, ResultColumn and ResultHex: read back what the newest command wrote
// to the result file (and its data file).
#include <cstdlib>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "platform/paths.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "ui/output_commands.h"

namespace tb {

namespace {

constexpr char kResultFile[] = "_Result.txt";
constexpr uint32_t kMaxHexLen = 256;

// A number when the text reads as a 0x literal or a decimal one, else the
// text (an empty text stays an empty string).
Value number_or_text(const std::string& text) {
    int64_t n = 0;
    if (!text.empty() && parse_hex_literal(text, n)) return Value::hex(n);
    if (!text.empty() && parse_decimal_literal(text, n)) return Value::decimal(n);
    return Value::string(text);
}

// CovertType: String keeps the text, Integer and Hex read a number in that
// base, anything else tries a 0x literal, then a decimal one, else keeps text.
Value convert_result(const std::string& text, std::string_view type) {
    if (iequals(type, "String")) return Value::string(text);
    if (iequals(type, "Integer")) return Value::decimal(std::strtoll(text.c_str(), nullptr, 10));
    if (iequals(type, "Hex")) return Value::hex(static_cast<int64_t>(std::strtoull(text.c_str(), nullptr, 16)));
    return number_or_text(text);
}

void store_result(int slot, const std::string& name, const Value& v) {
    if (v.is_number()) set_result_number(slot, name, v.num, v.type);
    else set_result_string(slot, name, v.str);
}

enum class HexForm { Byte, Word, Dword, Ulonglong, NumX, Num, Hex, HexDump, Str, HexAscii, RawBinary, Unknown };

// The first matching name wins, so NumX is taken before the "Num" substring.
HexForm hex_form(std::string_view parse) {
    if (iequals(parse, "BYTE")) return HexForm::Byte;
    if (iequals(parse, "WORD")) return HexForm::Word;
    if (iequals(parse, "DWORD")) return HexForm::Dword;
    if (iequals(parse, "ULONGLONG")) return HexForm::Ulonglong;
    if (iequals(parse, "NumX")) return HexForm::NumX;
    if (icontains(parse, "Num")) return HexForm::Num;
    if (iequals(parse, "Hex")) return HexForm::Hex;
    if (iequals(parse, "HexDump")) return HexForm::HexDump;
    if (icontains(parse, "Str")) return HexForm::Str;
    if (iequals(parse, "HexASCII")) return HexForm::HexAscii;
    if (iequals(parse, "RawBinary")) return HexForm::RawBinary;
    return HexForm::Unknown;
}

// Little-endian value of `width` bytes; bytes beyond the data read as zero.
uint64_t little_endian(std::string_view bytes, size_t width) {
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;)
        v = v << 8 | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
    return v;
}

std::string hex_of_width(uint64_t v, size_t width) {
    switch (width) {
        case 1: return fmt("0x%02X", v);
        case 2: return fmt("0x%04X", v);
        case 4: return fmt("0x%08X", v);
        default: return fmt("0x%08X%08X", v >> 32, v & 0xFFFFFFFFu);
    }
}

bool valid_num_len(uint32_t len) { return len == 1 || len == 2 || len == 4 || len == 8; }

std::string printable(std::string_view bytes, bool stop_at_zero) {
    std::string out;
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b == 0 && stop_at_zero) break;
        out += (b >= 0x20 && b <= 0x7E) ? c : '.';
    }
    return out;
}

}  // namespace

void cmd_Result(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string keyword, type, def;
    bool show = true;
    if (!r.has(0) || !opt_string(r, keyed_arg(r, {"KeyWord"}, 0), keyword) ||
        !opt_bool(r, keyed_arg(r, {"ShowResult"}, 1), show, true) ||
        !opt_string(r, keyed_arg(r, {"CovertType", "ConvertType"}, 2), type, "AUTO") ||
        !opt_string(r, keyed_arg(r, {"Default"}, 3), def))
        return;

    std::string text, matched;
    if (!keyword_lookup(slot, kResultFile, keyword, text, &matched)) {
        log_error_line(slot, fmt("No KeyWord [%s], Return DefaultStr", keyword));
        text = def;
        matched = keyword;
    }
    Value v = convert_result(text, type);
    store_result(slot, name, v);
    if (show) log_text(slot, fmt("%-42s = %s", matched, value_text(v)), colour::kGrey);
}

void cmd_ResultColumn(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    std::string keyword, type;
    int32_t column = 0;
    bool show = true;
    if (!r.has(0) || !opt_string(r, keyed_arg(r, {"KeyWord"}, 0), keyword) ||
        !opt_i32(r, keyed_arg(r, {"Colume", "Column"}, 1), column, 0) ||
        !opt_bool(r, keyed_arg(r, {"ShowResult"}, 2), show, true) ||
        !opt_string(r, keyed_arg(r, {"CovertType", "ConvertType"}, 3), type, "AUTO"))
        return;

    std::string text;
    if (!keyword_lookup(slot, kResultFile, keyword, text)) {
        raise_error(slot, kErrKeywordNotFound, keyword);
        return;
    }
    std::vector<std::string> columns = split(text, '|');
    if (column < 0 || static_cast<size_t>(column) >= columns.size()) {
        raise_error(slot, kErrColumnNotFound, fmt("ColumeId: %d", column));
        return;
    }
    Value v = convert_result(trim(columns[static_cast<size_t>(column)]), type);
    store_result(slot, name, v);
    if (show) log_text(slot, fmt("%s[%d] = %s", keyword, column, value_text(v)), colour::kGrey);
}

void cmd_ResultHex(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    uint32_t start = 0, len = 4;
    std::string parse, save_file;
    bool show = true;
    if (!opt_u32(r, keyed_arg(r, {"ByteStart"}, 0), start, 0) || !opt_u32(r, keyed_arg(r, {"Len"}, 1), len, 4) ||
        !opt_string(r, keyed_arg(r, {"HexParse", "ReturnType"}, 2), parse, "Num") ||
        !opt_bool(r, keyed_arg(r, {"ShowResult"}, 3), show, true) ||
        !opt_string(r, keyed_arg(r, {"SaveFile"}, 4), save_file))
        return;

    HexForm form = hex_form(parse);
    std::string data_path;
    if (!keyword_lookup(slot, kResultFile, "FINDHEX", data_path)) {
        raise_error(slot, kErrFileOpen, "FINDHEX");
        return;
    }
    std::string data;
    read_file_bytes(data_path, data);
    if (form != HexForm::RawBinary && len > kMaxHexLen) len = kMaxHexLen;
    if (form == HexForm::RawBinary && len == 0 && start < data.size()) len = static_cast<uint32_t>(data.size() - start);
    if (data.empty() || len == 0 || static_cast<uint64_t>(start) + len > data.size()) {
        raise_error(slot, kErrFileOpen, data_path);
        return;
    }
    std::string_view bytes = std::string_view(data).substr(start);  // at most what exists after ByteStart
    std::string_view span = bytes.substr(0, len);

    std::string out;
    bool numeric = true;
    switch (form) {
        case HexForm::Byte: out = hex_of_width(little_endian(bytes, 1), 1); break;
        case HexForm::Word: out = hex_of_width(little_endian(bytes, 2), 2); break;
        case HexForm::Dword: out = hex_of_width(little_endian(bytes, 4), 4); break;
        case HexForm::Ulonglong: out = hex_of_width(little_endian(bytes, 8), 8); break;
        case HexForm::NumX:
            if (!valid_num_len(len)) {
                raise_error(slot, kErrVariableType, "NumX only support Len 1,2,4,8");
                return;
            }
            out = hex_of_width(little_endian(bytes, len), len);
            break;
        case HexForm::Num:
            if (!valid_num_len(len)) {
                raise_error(slot, kErrVariableType, "Num only support Len 1,2,4,8");
                return;
            }
            out = len == 8 ? fmt("%I64u", little_endian(bytes, 8)) : fmt("%u", little_endian(bytes, len));
            break;
        case HexForm::Hex:
            numeric = false;
            for (char c : span) out += fmt("%02X", static_cast<unsigned char>(c));
            break;
        case HexForm::HexDump:
            numeric = false;
            for (char c : span) out += fmt("%02X ", static_cast<unsigned char>(c));
            break;
        case HexForm::Str:
            numeric = false;
            out = printable(span, true);
            break;
        case HexForm::HexAscii:
            numeric = false;
            out = printable(span, false);
            break;
        case HexForm::RawBinary:
            numeric = false;
            out = save_file.empty() ? output_stem(slot) + ".raw" : native_path(save_file);
            if (!write_file_bytes(out, span)) {
                raise_error(slot, kErrOutputFile, out);
                return;
            }
            break;
        case HexForm::Unknown:
            raise_error(slot, kErrVariableType, "ReturnType Error");
            return;
    }

    if (show) log_text(slot, fmt("%-16s : %s", name, out), colour::kGrey);
    if (numeric) store_result(slot, name, number_or_text(out));
    else set_result_string(slot, name, out);
}

}  // namespace tb
