// Splitting a command line into the words a program receives, by the
// quoting rules of the system's own command lines, without running a shell:
// nothing is expanded and no character other than blanks, quotes and (where
// the rules say so) backslashes has a meaning, so ";", "|", "&", ">", "$(...)"
// reach the program as they are.
//
// POSIX rules (backslash_escapes): blanks separate words; '...' keeps every
// character; "..." keeps every character except that a backslash escapes
// '$', '`', '"', '\' and a line end; outside quotes a backslash keeps the
// next character (a backslash before a line end joins the lines).
//
// Windows rules (not backslash_escapes), as the C runtime splits: blanks
// separate words; "..." groups; backslashes are literal except before a
// double quote, where 2n backslashes give n and the quote delimits, 2n+1
// give n and a literal quote.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The words of `line`; nothing when a quote is left open or (POSIX rules)
// the line ends in an escaping backslash.
std::optional<std::vector<std::string>> split_command_words(std::string_view line, bool backslash_escapes);

}  // namespace tb
