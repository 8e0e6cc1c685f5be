#include "common/format.h"

#include "common/text.h"

namespace tb {

namespace {

struct Spec {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = -1, precision = -1;
    bool wide64 = false;
    char conv = 0;
};

void pad_and_append(std::string& out, const Spec& sp, std::string body, std::string_view sign_prefix,
                    size_t body_units) {
    size_t len = sign_prefix.size() + body_units;
    size_t width = sp.width > 0 ? static_cast<size_t>(sp.width) : 0;
    if (len >= width) {
        out.append(sign_prefix);
        out.append(body);
        return;
    }
    size_t fill = width - len;
    if (sp.left) {
        out.append(sign_prefix);
        out.append(body);
        out.append(fill, ' ');
    } else if (sp.zero && sp.conv != 's' && sp.conv != 'S' && sp.conv != 'c' && sp.precision < 0) {
        out.append(sign_prefix);
        out.append(fill, '0');
        out.append(body);
    } else {
        out.append(fill, ' ');
        out.append(sign_prefix);
        out.append(body);
    }
}

std::string digits(uint64_t v, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (v == 0) return "0";
    std::string s;
    while (v) {
        s.insert(s.begin(), set[v % base]);
        v /= base;
    }
    return s;
}

}  // namespace

std::string wsformat(std::string_view f, std::initializer_list<FmtArg> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        Spec sp;
        size_t j = i + 1;
        for (; j < f.size(); ++j) {
            char fl = f[j];
            if (fl == '-') sp.left = true;
            else if (fl == '0') sp.zero = true;
            else if (fl == '+') sp.plus = true;
            else if (fl == ' ') sp.space = true;
            else if (fl == '#') sp.alt = true;
            else break;
        }
        if (j < f.size() && f[j] == '*') {
            sp.width = next != args.end() ? static_cast<int>((next++)->as_int()) : 0;
            if (sp.width < 0) {
                sp.left = true;
                sp.width = -sp.width;
            }
            ++j;
        } else {
            while (j < f.size() && f[j] >= '0' && f[j] <= '9') {
                sp.width = (sp.width < 0 ? 0 : sp.width) * 10 + (f[j] - '0');
                ++j;
            }
        }
        if (j < f.size() && f[j] == '.') {
            ++j;
            sp.precision = 0;
            while (j < f.size() && f[j] >= '0' && f[j] <= '9') sp.precision = sp.precision * 10 + (f[j++] - '0');
        }
        if (f.compare(j, 3, "I64") == 0) {
            sp.wide64 = true;
            j += 3;
        } else if (f.compare(j, 2, "ll") == 0) {
            sp.wide64 = true;
            j += 2;
        } else if (j < f.size() && (f[j] == 'l' || f[j] == 'h' || f[j] == 'w')) {
            ++j;
        }
        if (j >= f.size()) {  // dangling '%': copy as is
            out.append(f.substr(i));
            break;
        }
        sp.conv = f[j];
        i = j;
        FmtArg arg = next != args.end() ? *next++ : FmtArg(std::string_view());
        switch (sp.conv) {
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                int64_t raw = arg.kind() == FmtArg::Kind::Int ? arg.as_int() : 0;
                bool is_signed = sp.conv == 'd' || sp.conv == 'i';
                uint64_t mag;
                bool negative = false;
                if (sp.wide64) {
                    if (is_signed && raw < 0) {
                        negative = true;
                        mag = 0 - static_cast<uint64_t>(raw);
                    } else {
                        mag = static_cast<uint64_t>(raw);
                    }
                } else {
                    uint32_t low = static_cast<uint32_t>(raw);
                    if (is_signed && static_cast<int32_t>(low) < 0) {
                        negative = true;
                        mag = 0 - static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(low)));
                    } else {
                        mag = low;
                    }
                }
                unsigned base = (sp.conv == 'x' || sp.conv == 'X') ? 16 : 10;
                std::string body = digits(mag, base, sp.conv == 'X');
                if (sp.precision >= 0) {
                    if (sp.precision == 0 && mag == 0) body.clear();
                    while (body.size() < static_cast<size_t>(sp.precision)) body.insert(body.begin(), '0');
                }
                std::string prefix;
                if (negative) prefix = "-";
                else if (is_signed && sp.plus) prefix = "+";
                else if (is_signed && sp.space) prefix = " ";
                if (sp.alt && base == 16 && mag != 0) prefix += sp.conv == 'X' ? "0X" : "0x";
                size_t units = body.size();
                pad_and_append(out, sp, std::move(body), prefix, units);
                break;
            }
            case 'c': {
                std::string body;
                if (arg.kind() == FmtArg::Kind::Int) body = to_utf8(std::u16string(1, static_cast<char16_t>(arg.as_int())));
                else body = std::string(arg.as_text().substr(0, 1));
                pad_and_append(out, sp, body, "", 1);
                break;
            }
            case 's':
            case 'S': {
                std::string body;
                if (arg.kind() == FmtArg::Kind::Text) body = std::string(arg.as_text());
                else body = std::to_string(arg.as_int());
                if (sp.precision >= 0) body = utf16_truncate(body, static_cast<size_t>(sp.precision));
                size_t units = utf16_length(body);
                pad_and_append(out, sp, std::move(body), "", units);
                break;
            }
            default:  // unknown conversion: keep the text
                out += '%';
                out += sp.conv;
                break;
        }
    }
    return out;
}

}  // namespace tb
