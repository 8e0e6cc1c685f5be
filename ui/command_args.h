// How the output commands take their arguments: by key (case-insensitive),
// or by position when the pair at that position carries no key. A missing
// argument takes its default; a converter failure makes the command return
// without doing anything.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/text.h"
#include "script/handler.h"

namespace tb {

inline const ArgPair* keyed_arg(const ArgReader& r, std::initializer_list<std::string_view> keys, size_t position) {
    for (std::string_view k : keys)
        if (const ArgPair* p = r.find_key(k)) return p;
    if (r.has(position) && r.pair(position).key.empty()) return &r.pair(position);
    return nullptr;
}

inline bool opt_string(const ArgReader& r, const ArgPair* p, std::string& out, std::string_view def = {}) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_string(r.slot(), p->value, out);
}

inline bool opt_bool(const ArgReader& r, const ArgPair* p, bool& out, bool def) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_bool(r.slot(), p->value, out);
}

inline bool opt_u32(const ArgReader& r, const ArgPair* p, uint32_t& out, uint32_t def) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_u32(r.slot(), p->value, out);
}

inline bool opt_i32(const ArgReader& r, const ArgPair* p, int32_t& out, int32_t def) {
    if (!p) {
        out = def;
        return true;
    }
    return arg_i32(r.slot(), p->value, out);
}

}  // namespace tb
