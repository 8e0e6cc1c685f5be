#include "script/arg_table.h"

#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/handler.h"

namespace tb {

namespace {

bool spec_matches(const ArgSpec& spec, std::string_view key) {
    if (iequals(spec.key, key)) return true;
    std::string_view rest = spec.other_names;
    while (!rest.empty()) {
        const size_t bar = rest.find('|');
        if (iequals(rest.substr(0, bar), key)) return true;
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    return false;
}

// The pair for a spec: the first with one of its names, else the unkeyed
// pair at the spec's position.
const ArgPair* pair_for(const std::vector<ArgPair>& pairs, const ArgSpec& spec, size_t position) {
    for (const ArgPair& p : pairs)
        if (!p.key.empty() && spec_matches(spec, p.key)) return &p;
    if (position < pairs.size() && pairs[position].key.empty()) return &pairs[position];
    return nullptr;
}

std::string limits_text(const ArgSpec& spec) {
    return fmt("%d to %d", spec.min, spec.max);
}

}  // namespace

const CommandArgs::Entry& CommandArgs::entry(std::string_view key) const {
    static const Entry kMissing;
    auto it = entries_.find(key);
    return it == entries_.end() ? kMissing : it->second;
}

int64_t CommandArgs::number(std::string_view key) const { return entry(key).number; }
bool CommandArgs::flag(std::string_view key) const { return entry(key).number != 0; }
const std::string& CommandArgs::text(std::string_view key) const { return entry(key).text; }
bool CommandArgs::given(std::string_view key) const { return entry(key).given; }

std::optional<CommandArgs> read_args(int slot, std::string_view args, std::string_view command,
                                     std::span<const ArgSpec> specs) {
    const std::vector<ArgPair> pairs = split_pairs(args);
    CommandArgs out;
    for (size_t i = 0; i < specs.size(); ++i) {
        const ArgSpec& spec = specs[i];
        const ArgPair* p = pair_for(pairs, spec, i);
        const std::string value = p ? p->value : std::string(spec.default_text);
        CommandArgs::Entry e;
        e.given = p != nullptr;
        switch (spec.type) {
            case ArgType::Bool: {
                bool b = false;
                arg_bool(slot, value, b);
                e.number = b ? 1 : 0;
                e.text = b ? "TRUE" : "FALSE";
                break;
            }
            case ArgType::Text:
                if (!p) {
                    e.text = std::string(spec.default_text);  // a default is the text itself
                } else if (!arg_string(slot, value, e.text)) {
                    raise_error(slot, kErrParam, fmt("%s: %s has no value", command, spec.key));
                    return std::nullopt;
                }
                break;
            case ArgType::Number: {
                if (!arg_i64(slot, value, e.number)) {
                    raise_error(slot, kErrParam, fmt("%s: %s:%s is not a number", command, spec.key, value));
                    return std::nullopt;
                }
                if (e.number < spec.min || e.number > spec.max) {
                    raise_error(slot, kErrParam,
                                fmt("%s: %s:%d out of range (%s)", command, spec.key, e.number, limits_text(spec)));
                    return std::nullopt;
                }
                e.text = value;
                break;
            }
        }
        out.entries_.emplace(std::string(spec.key), std::move(e));
    }
    return out;
}

}  // namespace tb
