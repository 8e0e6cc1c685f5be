// String built-ins: StrLen, StrCmp, StrStr, StrSub, StrReplace, StrSetLen,
// StrSplit. Arguments are taken by position; positions count UTF-16 units.
#include <cstdint>
#include <string>

#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/utility_commands.h"

namespace tb {

void cmd_StrLen(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s;
    if (!a.get_string(0, s)) return;
    set_result_number(slot, name, static_cast<int64_t>(utf16_length(s)));
}

void cmd_StrCmp(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s1, s2;
    if (!a.get_string(0, s1) || !a.get_string(1, s2)) return;
    set_result_number(slot, name, s1 == s2 ? 1 : 0);
}

void cmd_StrStr(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s, sub;
    if (!a.get_string(0, s) || !a.get_string(1, sub)) return;
    set_result_number(slot, name, icontains(s, sub) ? 1 : 0);
}

void cmd_StrSub(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s;
    int32_t start = 0, end = 0;
    if (!a.get_string(0, s) || !a.get_i32(1, start) || !a.get_i32(2, end)) return;
    const int64_t len = static_cast<int64_t>(utf16_length(s));
    int64_t from = start < 0 ? len + start : start;
    int64_t to = end < 0 ? len + end : (end == 0 ? len : end);
    // Positions outside the text are held to its ends, so a start beyond the
    // end gives the empty string.
    if (from < 0) from = 0;
    if (to > len) to = len;
    std::string out;
    if (from < to) out = utf16_substr(s, static_cast<size_t>(from), static_cast<size_t>(to));
    set_result_string(slot, name, out);
}

void cmd_StrReplace(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s, old_str, new_str;
    if (!a.get_string(0, s) || !a.get_string(1, old_str) || !a.get_string(2, new_str)) return;
    set_result_string(slot, name, ireplace_all(s, old_str, new_str));
}

void cmd_StrSetLen(int slot, const std::string& args, const std::string& name) {
    ArgReader a(slot, args);
    std::string s;
    bool right = false;
    int32_t set_len = 0;
    if (!a.get_string(0, s) || !a.get_bool(1, right) || !a.get_i32(2, set_len)) return;
    if (set_len < 1 || set_len > 128) {
        raise_error(slot, kErrParam, "SetLen Over Limit");
        return;
    }
    const size_t len = utf16_length(s);
    const size_t want = static_cast<size_t>(set_len);
    if (len < want) {
        std::string pad(want - len, ' ');
        s = right ? pad + s : s + pad;
    }
    set_result_string(slot, name, s);
}

void cmd_StrSplit(int slot, const std::string& args, const std::string& name) {
    constexpr uint32_t kDefaultItems = 50;
    constexpr size_t kItemChars = 99;
    ArgReader a(slot, args);
    std::string s, sep;
    if (!a.get_string(0, s) || !a.get_string(1, sep)) return;
    uint32_t count = kDefaultItems;
    if (a.has(2) && !a.get_u32(2, count)) return;
    if (count == 0) count = kDefaultItems;
    if (utf16_length(sep) > 1) {
        raise_error(slot, kErrParam, "Split Length > 1");
        return;
    }
    std::string out;
    size_t pos = 0;
    for (uint32_t item = 0; item < count; ++item) {
        size_t hit = sep.empty() || item + 1 == count ? std::string::npos : s.find(sep, pos);
        std::string_view piece =
            std::string_view(s).substr(pos, hit == std::string::npos ? std::string::npos : hit - pos);
        if (item > 0) out += ",";
        out += fmt("\"%s\"", utf16_truncate(trim_view(piece), kItemChars));
        if (hit == std::string::npos) break;
        pos = hit + sep.size();
    }
    set_result_string(slot, name, out);
}

}  // namespace tb
