// The script's value model: an untyped variable holds one of these.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

enum class ValueType : uint32_t { Undefined = 0, Decimal = 1, String = 2, Hex = 3 };

struct Value {
    ValueType type = ValueType::Undefined;
    int64_t num = 0;
    std::string str;

    static Value decimal(int64_t v) { return {ValueType::Decimal, v, {}}; }
    static Value hex(int64_t v) { return {ValueType::Hex, v, {}}; }
    static Value string(std::string s) { return {ValueType::String, 0, std::move(s)}; }

    bool is_number() const { return type == ValueType::Decimal || type == ValueType::Hex; }
    bool is_string() const { return type == ValueType::String; }
    bool is_undefined() const { return type == ValueType::Undefined; }
};

// Value to text: decimal "%I64d", hex "0x%I64X", a string as it is, undefined empty.
std::string value_text(const Value& v);

// String values hold at most this many UTF-16 code units; longer texts are cut.
constexpr size_t kMaxStringValue = 1023;
// Names of variables hold at most this many characters.
constexpr size_t kMaxVarName = 63;

}  // namespace tb
