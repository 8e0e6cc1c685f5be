#include "script/evaluator.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/format.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/job_slot.h"

namespace tb {

namespace {

bool is_hex_literal_char(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == 'x' || c == 'X';
}

// Signed 64-bit conversion that saturates on overflow, as the C library does.
int64_t convert(const std::string& text, int base) {
    errno = 0;
    return std::strtoll(text.c_str(), nullptr, base);
}

bool has_quote(std::string_view s) { return s.find('"') != std::string_view::npos; }

VarList* vars_of(int slot) {
    JobSlot* js = job_slot(slot);
    return js ? &js->vars : nullptr;
}

}  // namespace

std::string array_length_name(std::string_view array) { return std::string(array) + "[0xEFFFFFFF]"; }

std::string fresh_temporary() {
    static std::atomic<int> counter{0};
    int n = counter.fetch_add(1);
    // Keep the counter in 0..999 even when several threads race past the wrap.
    if (n >= 999) {
        int expected = n + 1;
        counter.compare_exchange_strong(expected, 0);
    }
    return fmt("%s%d", "_Varible", n % 1000);
}

bool parse_hex_literal(std::string_view text, int64_t& out) {
    if (text.size() > 20 || text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    for (char c : text)
        if (!is_hex_literal_char(c)) return false;
    int64_t v = convert(std::string(text), 16);
    uint64_t u = static_cast<uint64_t>(v);
    std::string back = (u >> 32) == 0 ? fmt("%X", static_cast<uint32_t>(u))
                                      : fmt("%X%08X", static_cast<uint32_t>(u >> 32), static_cast<uint32_t>(u));
    if (!icontains(text, back)) return false;
    out = v;
    return true;
}

bool parse_decimal_literal(std::string_view text, int64_t& out) {
    if (text.size() > 20) return false;
    std::string t(text);
    size_t dot = t.find('.');
    if (dot != std::string::npos && t.find('.', dot + 1) == std::string::npos) t.resize(dot);
    size_t zeros = t.find_first_not_of('0');
    t = zeros == std::string::npos ? std::string() : t.substr(zeros);
    if (t.empty()) {
        out = 0;
        return true;
    }
    int64_t v = convert(t, 10);
    if (!iequals(fmt("%I64d", v), t)) return false;
    out = v;
    return true;
}

Value get_value(int slot, std::string_view operand) {
    VarList* vars = vars_of(slot);
    if (!vars) return {};
    std::string text(trim_view(operand));

    // Array element: name[index].
    size_t open = text.find('[');
    if (open != std::string::npos && !text.empty() && text.back() == ']') {
        std::string name = utf16_truncate(text.substr(0, open), kMaxVarName);
        std::string index = text.substr(open + 1, text.size() - open - 2);
        if (const Value* iv = vars->find(index); iv && iv->type == ValueType::Decimal)
            text = fmt("%s[%I64d]", name, iv->num);
        const Value* len = vars->find(array_length_name(name));
        if (!len || (len->is_number() && len->num == 0) || len->is_undefined()) return Value::string("");
    }

    if (iequals(text, "TRUE")) return Value::decimal(1);
    if (iequals(text, "FALSE")) return Value::decimal(0);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return Value::string(utf16_truncate(std::string_view(text).substr(1, text.size() - 2), kMaxStringValue));

    int64_t n = 0;
    if (parse_hex_literal(text, n)) return Value::hex(n);
    if (parse_decimal_literal(text, n)) return Value::decimal(n);
    if (const Value* v = vars->find(text)) return *v;

    if (!iequals(text, "_ErrorCheck") && !iequals(text, "_ErrorSkip") && !icontains(text, "_FThread"))
        raise_error(slot, kErrVariableNotInitial, text);
    return {};
}

namespace {

enum class Mode { Number, String };

struct Accumulator {
    Mode mode = Mode::Number;
    int64_t num = 0;
    bool hex = false;
    std::string str;
};

// Applies `op` with the operand; false when the evaluation must stop (error raised).
bool apply(int slot, Accumulator& acc, char op, const std::string& operand_text) {
    Value v = get_value(slot, operand_text.empty() ? std::string_view("0") : std::string_view(operand_text));
    if (v.is_undefined()) v = Value::decimal(0);  // an unknown name counts as 0 (its -25 is already raised)
    if (acc.mode == Mode::Number && v.is_number()) {
        int64_t a = acc.num, b = v.num;
        uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
        switch (op) {
            case '+': acc.num = static_cast<int64_t>(ua + ub); break;
            case '-': acc.num = static_cast<int64_t>(ua - ub); break;
            case '*': acc.num = static_cast<int64_t>(ua * ub); break;
            case '/':
            case '%':
                // A zero divisor is refused for both operators; INT64_MIN / -1 wraps.
                if (b == 0) {
                    raise_error(slot, kErrVariableType, "Divide By 0");
                    return false;
                }
                if (a == INT64_MIN && b == -1) acc.num = op == '/' ? INT64_MIN : 0;
                else acc.num = op == '/' ? a / b : a % b;
                break;
        }
        if (v.type == ValueType::Hex) acc.hex = true;
        return true;
    }
    if (op != '+') {
        raise_error(slot, kErrVariableType, operand_text);
        return false;
    }
    if (acc.mode == Mode::Number) {
        if (acc.num != 0) acc.str = acc.hex ? fmt("0x%I64X", acc.num) : fmt("%I64d", acc.num);
        acc.mode = Mode::String;
        acc.str += v.str;
        return true;
    }
    acc.str += v.is_string() ? v.str : value_text(v);
    return true;
}

bool has_condition_operator(std::string_view text) {
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == '!' || c == '&' || c == '<' || c == '=' || c == '>' || c == '|')) return true;
    }
    return false;
}

}  // namespace

void evaluate_expression(int slot, std::string_view expression, const std::string& target) {
    VarList* vars = vars_of(slot);
    if (!vars) return;
    if (has_condition_operator(expression)) {
        evaluate_condition(slot, expression, target);
        return;
    }
    Accumulator acc;
    char pending = '+';
    bool quoted = false;
    size_t start = 0;
    size_t i = 0;
    for (; i <= expression.size(); ++i) {
        char c = i < expression.size() ? expression[i] : ';';
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted && i < expression.size()) continue;
        bool is_op = c == '+' || c == '-' || c == '*' || c == '/' || c == '%';
        if (!is_op && c != ';') continue;
        std::string operand = trim(expression.substr(start, i - start));
        if (!apply(slot, acc, pending, operand)) return;
        if (c == ';') break;
        pending = c;
        start = i + 1;
    }
    if (acc.mode == Mode::String) vars->set_string(target, acc.str);
    else vars->set_number(target, acc.num, acc.hex ? ValueType::Hex : ValueType::Decimal);
}

void evaluate_condition(int slot, std::string_view condition, const std::string& target) {
    VarList* vars = vars_of(slot);
    if (!vars) return;
    auto is_op_char = [](char c) { return c == '!' || c == '&' || c == '<' || c == '=' || c == '>' || c == '|'; };
    std::vector<std::string> operands;
    std::vector<std::string> ops;
    size_t start = 0;
    for (size_t i = 0; i < condition.size(); ++i) {
        if (!is_op_char(condition[i])) continue;
        operands.push_back(std::string(condition.substr(start, i - start)));
        std::string op(1, condition[i]);
        if (i + 1 < condition.size()) {
            std::string pair = op + condition[i + 1];
            if (pair == "!=" || pair == "&&" || pair == "<=" || pair == "==" || pair == ">=" || pair == "||") {
                op = pair;
                ++i;
            }
        }
        ops.push_back(op);
        start = i + 1;
    }
    std::string last(condition.substr(start));
    if (size_t semi = last.find(';'); semi != std::string::npos) last.resize(semi);
    operands.push_back(last);

    Value result = get_value(slot, operands[0]);
    if (ops.empty()) {
        if (!result.is_number()) {
            raise_error(slot, kErrCannotCompare, condition);
            vars->set_number(target, 0);
            return;
        }
        vars->set_number(target, result.num != 0 ? 1 : 0);
        return;
    }
    for (size_t k = 0; k < ops.size(); ++k) {
        Value rhs = get_value(slot, operands[k + 1]);
        const std::string& op = ops[k];
        if (result.is_number() && rhs.is_number()) {
            int64_t a = result.num, b = rhs.num;
            bool r;
            if (op == "<") r = a < b;
            else if (op == ">") r = a > b;
            else if (op == "<=") r = a <= b;
            else if (op == ">=") r = a >= b;
            else if (op == "==") r = a == b;
            else if (op == "!=") r = a != b;
            else if (op == "&&") r = a != 0 && b != 0;
            else if (op == "||") r = a != 0 || b != 0;
            else {
                // A comparison that cannot be made is false, so a tolerated
                // error never lets a guarded branch run.
                raise_error(slot, kErrCannotCompare, condition);
                r = false;
            }
            result = Value::decimal(r ? 1 : 0);
        } else if (result.is_string() && rhs.is_string() && (op == "==" || op == "!=")) {
            bool eq = iequals(result.str, rhs.str);
            result = Value::decimal((op == "==") == eq ? 1 : 0);
        } else {
            raise_error(slot, kErrCannotCompare, condition);
            result = Value::decimal(0);
        }
    }
    vars->set_number(target, result.is_number() && result.num != 0 ? 1 : 0);
}

namespace {

// Resolves an element target "name[index]" to "name[%d]" when the index reads as a number.
std::string resolve_element_target(int slot, const std::string& target) {
    size_t open = target.find('['), close = target.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open) return target;
    Value idx = get_value(slot, target.substr(open + 1, close - open - 1));
    if (!idx.is_number()) return target;
    return fmt("%s[%d]", trim(target.substr(0, open)), static_cast<int32_t>(idx.num));
}

const char* const kListCommands[] = {"StrSplit", "CheckListBox", "DiskList",      "Identify",
                                     "InitParam_List", "SMART", "VSC_GetMPinfo", "VSC_GetFWconfig"};

}  // namespace

void assignment_statement(int slot, std::string_view statement) {
    VarList* vars = vars_of(slot);
    if (!vars) return;
    size_t eq = statement.find('=');
    if (eq == std::string_view::npos) return;
    std::string target = trim(statement.substr(0, eq));
    std::string_view rest = statement.substr(eq + 1);
    if (size_t semi = rest.find(';'); semi != std::string_view::npos) rest = rest.substr(0, semi);
    std::string value = trim(rest);

    if (size_t brackets = target.find("[]"); brackets != std::string::npos) {
        std::string array = trim(target.substr(0, brackets));
        for (const char* name : kListCommands) {
            if (value == name) {
                const Value* v = vars->find(name);
                value = v ? value_text(*v) : std::string();
                break;
            }
        }
        std::vector<std::string> items;
        size_t pos = 0;
        for (;;) {
            size_t comma = value.find(',', pos);
            if (items.size() == 49 || comma == std::string::npos) {
                items.push_back(value.substr(pos));
                break;
            }
            items.push_back(value.substr(pos, comma - pos));
            pos = comma + 1;
        }
        for (size_t i = 0; i < items.size(); ++i) {
            std::string item = trim(utf16_truncate(items[i], 255));
            evaluate_expression(slot, item, fmt("%s[%d]", array, static_cast<int>(i)));
        }
        vars->set_number(array_length_name(array), static_cast<int64_t>(items.size()));
        vars->set_string(array + "[]", array + "[]");
        return;
    }
    if (target.find('[') != std::string::npos && target.find(']') != std::string::npos)
        target = resolve_element_target(slot, target);
    evaluate_expression(slot, value, target);
}

bool is_increment_statement(std::string_view s) {
    if (has_quote(s)) return false;
    return s.find("++") != std::string_view::npos || s.find("--") != std::string_view::npos ||
           s.find("+=") != std::string_view::npos || s.find("-=") != std::string_view::npos;
}

void increment_statement(int slot, std::string_view s) {
    VarList* vars = vars_of(slot);
    if (!vars) return;
    size_t op = std::string_view::npos;
    for (const char* o : {"++", "--", "+=", "-="}) {
        size_t p = s.find(o);
        if (p != std::string_view::npos && p < op) op = p;
    }
    if (op == std::string_view::npos) return;
    std::string name = trim(s.substr(0, op));
    if (name.find('[') != std::string::npos) name = resolve_element_target(slot, name);
    char kind = s[op + 1];
    int64_t delta = 1;
    if (kind == '=') {
        std::string_view rest = s.substr(op + 2);
        if (size_t semi = rest.find(';'); semi != std::string_view::npos) rest = rest.substr(0, semi);
        std::string n = trim(rest);
        if (!parse_hex_literal(n, delta) && !parse_decimal_literal(n, delta)) {
            raise_error(slot, kErrParam, n);
            return;
        }
        if (n.empty()) {  // an empty increment is no literal
            raise_error(slot, kErrParam, n);
            return;
        }
    }
    bool minus = s[op] == '-';
    Value v = get_value(slot, name);
    if (v.is_undefined()) return;  // -25 already raised
    if (!v.is_number()) {
        raise_error(slot, kErrVariableType, name);
        return;
    }
    uint64_t r = minus ? static_cast<uint64_t>(v.num) - static_cast<uint64_t>(delta)
                       : static_cast<uint64_t>(v.num) + static_cast<uint64_t>(delta);
    vars->set_number(name, static_cast<int64_t>(r), v.type);
}

}  // namespace tb
