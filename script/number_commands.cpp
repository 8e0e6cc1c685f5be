// Number built-ins: StrToNumber, NumberToStr, BitValue, RandomValue, ArrayLen.

#include <cerrno>
#include <cstdint>
#include <random>
#include <string>
#include <system_error>

#include "common/format.h"
#include "common/text.h"
#include "platform/host/random_bytes.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/handler.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "script/utility_commands.h"

namespace tb {

namespace {

// Eight bytes from the system's cryptographic random source.
uint64_t random_u64() {
    uint64_t v = 0;
    try {
        host::random_bytes(&v, sizeof v);
    } catch (const std::system_error&) {
        std::random_device rd;  // the system's source is unavailable
        return (static_cast<uint64_t>(rd()) << 32) ^ rd();
    }
    return v;
}

}  // namespace

void cmd_StrToNumber(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string text, mode = "Auto";
    if (!a.get_string(0, text)) return;
    if (a.has(1) && !a.get_string(1, mode)) return;
    const std::string_view t = trim_view(text);
    int64_t v = 0;
    const bool hex = parse_hex_literal(t, v);
    const bool dec = !hex && parse_decimal_literal(t, v);
    if (!hex && !dec) v = 0;
    ValueType type;
    if (iequals(mode, "Hex"))
        type = ValueType::Hex;
    else if (iequals(mode, "Dec"))
        type = ValueType::Decimal;
    else
        type = hex ? ValueType::Hex : ValueType::Decimal;
    set_result_number(slot, name, v, type);
}

void cmd_NumberToStr(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    int64_t v = 0;
    std::string mode;
    if (!a.get_i64(0, v) || !a.get_string(1, mode)) return;
    const uint64_t u = static_cast<uint64_t>(v);
    const uint32_t high = static_cast<uint32_t>(u >> 32), low = static_cast<uint32_t>(u);
    if (iequals(mode, "HEX"))
        set_result_string(slot, name, high == 0 ? fmt("0x%08X", low) : fmt("0x%08X%08X", high, low));
    else if (iequals(mode, "DEC"))
        set_result_string(slot, name, fmt("%I64u", v));
    else
        raise_error(slot, kErrParam, "Format Error");
}

void cmd_BitValue(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    uint32_t value = 0, bit = 0;
    if (!a.get_u32(0, value) || !a.get_u32(1, bit)) return;
    set_result_number(slot, name, (value >> (bit % 32)) & 1u);
}

void cmd_RandomValue(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    int64_t start = 0, end = 0;
    bool show = false, show_hex = false;
    if (!a.get_i64(0, start) || !a.get_i64(1, end)) return;
    if (a.has(2)) a.get_bool(2, show);
    if (a.has(3)) a.get_bool(3, show_hex);
    if (start >= end) {
        raise_error(slot, kErrParam, "(RangeEnd must > RangeStart)");
        return;
    }
    const uint64_t span = static_cast<uint64_t>(end) - static_cast<uint64_t>(start);
    const int64_t value = static_cast<int64_t>(static_cast<uint64_t>(start) + random_u64() % span);
    if (show)
        write_linef(slot, LineFormat::Normal, 10, colour::kWhite, "%s: %I64d | 0x%08I64X", name, value,
                    value);
    set_result_number(slot, name, value, show_hex ? ValueType::Hex : ValueType::Decimal);
}

void cmd_ArrayLen(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string text;
    if (!a.get_string(0, text)) return;
    const size_t brackets = text.find("[]");
    if (brackets == std::string::npos) {
        set_result_number(slot, name, 0);
        return;
    }
    JobSlot* js = job_slot(slot);
    if (!js) return;
    const std::string length_name = array_length_name(text.substr(0, brackets)) + text.substr(brackets + 2);
    const Value* len = js->vars.find(length_name);
    if (!len) {
        raise_error(slot, kErrVariableNotInitial, "No Found Array");
        return;
    }
    set_result_number(slot, name, len->num);
}

}  // namespace tb
