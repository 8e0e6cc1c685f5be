#include "script/handler.h"

#include <cstdlib>

#include "common/text.h"
#include "script/evaluator.h"
#include "script/job_slot.h"

namespace tb {

bool split_pair(std::string_view args, size_t& cursor, ArgPair& out) {
    out.key.clear();
    out.value.clear();
    if (cursor >= args.size()) return false;
    bool quoted = false;
    size_t start = cursor, colon = std::string_view::npos, end = args.size();
    for (size_t i = cursor; i < args.size(); ++i) {
        char c = args[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && c == ',') {
            end = i;
            break;
        } else if (!quoted && c == ':' && colon == std::string_view::npos) {
            colon = i;
        }
    }
    if (colon != std::string_view::npos) {
        out.key = utf16_truncate(trim_view(args.substr(start, colon - start)), 30);
        out.key = trim(out.key);
        out.value = trim(args.substr(colon + 1, end - colon - 1));
    } else {
        out.value = trim(args.substr(start, end - start));
    }
    if (out.value == ";") out.value.clear();
    cursor = end < args.size() ? end + 1 : args.size();
    return !out.key.empty() || !out.value.empty();
}

std::vector<ArgPair> split_pairs(std::string_view args) {
    std::vector<ArgPair> out;
    size_t cursor = 0;
    ArgPair p;
    while (split_pair(args, cursor, p)) out.push_back(p);
    return out;
}

bool arg_bool(int slot, std::string_view text, bool& out) {
    std::string t(text);
    out = icontains(t, "TRUE") || std::strtoll(t.c_str(), nullptr, 10) > 0;
    return true;
}

bool arg_u32(int slot, std::string_view text, uint32_t& out) {
    Value v = get_value(slot, text);
    if (!v.is_number()) {
        out = 0;
        return false;
    }
    int32_t high = static_cast<int32_t>(static_cast<uint64_t>(v.num) >> 32);
    if (high > 0) return false;
    out = static_cast<uint32_t>(v.num);
    return true;
}

bool arg_i32(int slot, std::string_view text, int32_t& out) {
    Value v = get_value(slot, text);
    if (!v.is_number()) {
        out = 0;
        return false;
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(v.num));
    return true;
}

bool arg_i64(int slot, std::string_view text, int64_t& out) {
    Value v = get_value(slot, text);
    if (!v.is_number()) {
        out = 0;
        return false;
    }
    out = v.num;
    return true;
}

bool arg_string(int slot, std::string_view text, std::string& out) {
    std::string_view t = trim_view(text);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
        out = std::string(t.substr(1, t.size() - 2));
        return true;
    }
    Value v = get_value(slot, t);
    if (v.is_undefined()) return false;
    out = value_text(v);
    return true;
}

void set_result_number(int slot, const std::string& name, int64_t v, ValueType type) {
    if (JobSlot* js = job_slot(slot)) js->vars.set_number(name, v, type);
}

void set_result_string(int slot, const std::string& name, std::string_view text) {
    if (JobSlot* js = job_slot(slot)) js->vars.set_string(name, text);
}

bool ArgReader::get_bool(size_t i, bool& out) const { return has(i) && arg_bool(slot_, pairs_[i].value, out); }
bool ArgReader::get_u32(size_t i, uint32_t& out) const { return has(i) && arg_u32(slot_, pairs_[i].value, out); }
bool ArgReader::get_i32(size_t i, int32_t& out) const { return has(i) && arg_i32(slot_, pairs_[i].value, out); }
bool ArgReader::get_i64(size_t i, int64_t& out) const { return has(i) && arg_i64(slot_, pairs_[i].value, out); }
bool ArgReader::get_string(size_t i, std::string& out) const {
    return has(i) && arg_string(slot_, pairs_[i].value, out);
}

const ArgPair* ArgReader::find_key(std::string_view key) const {
    for (const auto& p : pairs_)
        if (iequals(p.key, key)) return &p;
    return nullptr;
}

const ArgPair* ArgReader::find_key_part(std::string_view part) const {
    for (const auto& p : pairs_)
        if (icontains(p.key, part)) return &p;
    return nullptr;
}

}  // namespace tb
