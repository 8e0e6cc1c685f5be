#include "app/command_line.h"

#include <cstdlib>

#include "common/text.h"
#include "script/app_context.h"

namespace tb {

void parse_command_line(const std::vector<std::string>& args) {
    AppContext& a = app();
    for (std::string arg : args) {
        std::erase(arg, ',');
        if (arg.empty()) continue;
        if (size_t at = arg.find("\\\\.\\"); at != std::string::npos) {
            // A word such as DRIVE:"\\.\PHYSICALDRIVE1" names its target from the
            // "\\.\" on, so that the target matches a disk's path exactly.
            a.target = to_upper(utf16_truncate(arg.substr(at), 63));
        } else if (size_t ui = ifind(arg, "UI:"); ui != std::string::npos) {
            char* end = nullptr;
            long n = std::strtol(arg.c_str() + ui + 3, &end, 10);
            if (end != arg.c_str() + ui + 3 && n >= 0 && n <= 2) a.ui_mode = static_cast<int>(n) + 1;
        } else if (size_t sp = ifind(arg, "SUBPARAM:"); sp != std::string::npos) {
            a.sub_params = arg.substr(sp + 9);
        } else if (icontains(arg, "/debug")) {
            a.debug_level = 1;
        } else if (icontains(arg, "/dbg")) {
            a.debug_level = 2;
        } else if (icontains(arg, "/hide")) {
            a.ui_mode = 1;
        } else {
            a.sub_params += arg;
            a.sub_params += '$';
        }
    }
}

std::vector<std::string> split_command_line(const std::string& text) {
    std::vector<std::string> args;
    std::string cur;
    bool in_arg = false, quoted = false;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (in_arg) args.push_back(cur);
            cur.clear();
            in_arg = false;
            ++i;
            continue;
        }
        in_arg = true;
        if (c == '\\') {
            size_t n = 0;
            while (i < text.size() && text[i] == '\\') ++n, ++i;
            if (i < text.size() && text[i] == '"') {
                cur.append(n / 2, '\\');
                if (n % 2) {
                    cur += '"';
                    ++i;
                }
            } else {
                cur.append(n, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                cur += '"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        cur += c;
        ++i;
    }
    if (in_arg) args.push_back(cur);
    return args;
}

}  // namespace tb
