// A formatter for the Windows wsprintf-style format strings the system's
// texts are written in, so that every message can be kept verbatim:
//   %d %i %u %x %X %c %s %S %%  with flags - 0 + blank #, width, precision,
//   and the size prefixes I64 (64-bit), l and h.
// Without I64 an integer conversion takes the low 32 bits, as wsprintf does
// (so "%X" of -16 prints FFFFFFF0). %s and %S both take UTF-8 text; width and
// precision of a string count UTF-16 code units.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace tb {

class FmtArg {
public:
    enum class Kind { Int, Text };

    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    FmtArg(T v) : kind_(Kind::Int), int_(static_cast<int64_t>(v)) {}
    FmtArg(bool v) : kind_(Kind::Int), int_(v ? 1 : 0) {}
    FmtArg(const char* s) : kind_(Kind::Text), text_(s ? s : "") {}
    FmtArg(const std::string& s) : kind_(Kind::Text), text_(s) {}
    FmtArg(std::string_view s) : kind_(Kind::Text), text_(s) {}

    Kind kind() const { return kind_; }
    int64_t as_int() const { return int_; }
    std::string_view as_text() const { return text_; }

private:
    Kind kind_;
    int64_t int_ = 0;
    std::string_view text_;
};

std::string wsformat(std::string_view format, std::initializer_list<FmtArg> args);

template <typename... A>
std::string fmt(std::string_view format, const A&... args) {
    return wsformat(format, {FmtArg(args)...});
}

}  // namespace tb
