#include "platform/command_line_quote.h"

namespace tb {

namespace {

bool needs_quotes(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string::npos;
}

void append_quoted(std::string& out, const std::string& arg) {
    if (!needs_quotes(arg)) {
        out += arg;
        return;
    }
    out += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote is escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    // Before the closing quote, too.
    out.append(backslashes * 2, '\\');
    out += '"';
}

}  // namespace

std::string quoted_command_line(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty()) line += ' ';
        append_quoted(line, arg);
    }
    return line;
}

}  // namespace tb
