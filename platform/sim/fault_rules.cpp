#include "platform/sim/fault_rules.h"

#include <charconv>
#include <optional>

#include "common/text.h"

namespace tb::sim {

namespace {

struct KindName {
    FaultKind kind;
    const char* key;
};

constexpr KindName kKinds[] = {
    {FaultKind::CorruptWrite, "corrupt_writes"}, {FaultKind::DropWrite, "drop_writes"},
    {FaultKind::MisdirectWrite, "misdirect_writes"}, {FaultKind::StaleRead, "stale_reads"},
    {FaultKind::ReadError, "read_errors"},
};

// The largest count a rule takes.
constexpr uint64_t kMaxCount = 1ull << 32;

std::optional<uint64_t> parse_lba(const std::string& text) {
    std::string t = trim(text);
    int base = 10;
    size_t start = 0;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        start = 2;
    }
    if (start >= t.size()) return std::nullopt;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(t.data() + start, t.data() + t.size(), v, base);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

// "3" or "2.5%".
bool parse_amount(const std::string& text, FaultRule& rule, std::string& error) {
    std::string t = trim(text);
    if (!t.empty() && t.back() == '%') {
        std::string number = trim(t.substr(0, t.size() - 1));
        double percent = 0;
        auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), percent);
        if (number.empty() || ec != std::errc() || end != number.data() + number.size() || !(percent > 0) ||
            percent > 100) {
            error = "a chance is a percentage above 0 and at most 100, not " + t;
            return false;
        }
        rule.chance = percent / 100.0;
        return true;
    }
    auto n = parse_lba(t);
    if (!n || *n == 0 || *n > kMaxCount) {
        error = "a count is a number from 1 to " + std::to_string(kMaxCount) + " (or a chance such as 1%), not " + t;
        return false;
    }
    rule.count = *n;
    return true;
}

// "first-last".
bool parse_range(const std::string& text, FaultRule& rule, std::string& error) {
    std::string t = trim(text);
    size_t dash = t.find('-');
    auto first = dash == std::string::npos ? std::nullopt : parse_lba(t.substr(0, dash));
    auto last = dash == std::string::npos ? std::nullopt : parse_lba(t.substr(dash + 1));
    if (!first || !last) {
        error = "a range is first-last in LBAs (such as 0-20479), not " + t;
        return false;
    }
    if (*first > *last) {
        error = "the range " + t + " ends before it starts";
        return false;
    }
    rule.first_lba = *first;
    rule.last_lba = *last;
    return true;
}

bool parse_rule(FaultKind kind, const std::string& text, int line, FaultRule& rule, std::string& error) {
    rule.kind = kind;
    rule.line = line;
    size_t at = text.find('@');
    if (!parse_amount(text.substr(0, at), rule, error)) return false;
    return at == std::string::npos || parse_range(text.substr(at + 1), rule, error);
}

}  // namespace

const char* fault_key(FaultKind kind) {
    for (const auto& k : kKinds)
        if (k.kind == kind) return k.key;
    return "?";
}

bool fault_kind_of_key(const std::string& key, FaultKind& kind) {
    for (const auto& k : kKinds) {
        if (iequals(key, k.key)) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

bool parse_fault_rules(FaultKind kind, const std::string& value, int line, std::vector<FaultRule>& out,
                       std::string& error) {
    if (trim(value).empty()) {
        error = std::string(fault_key(kind)) + " needs a count or a chance, such as 3 @ 0-20479 or 1%";
        return false;
    }
    for (const auto& part : split(value, ',')) {
        FaultRule rule;
        if (!parse_rule(kind, part, line, rule, error)) {
            error = std::string(fault_key(kind)) + ": " + error;
            return false;
        }
        out.push_back(rule);
    }
    return true;
}

}  // namespace tb::sim
