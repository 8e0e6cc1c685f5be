// Splitting a command line into a program's words by the system's quoting
// rules, without a shell: what a shell would expand or act on reaches the
// program as written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exttools/command_words.h"

namespace {

using Words = std::vector<std::string>;

Words posix(const std::string& line) {
    auto w = tb::split_command_words(line, true);
    EXPECT_TRUE(w.has_value()) << line;
    return w.value_or(Words{});
}

Words windows(const std::string& line) {
    auto w = tb::split_command_words(line, false);
    EXPECT_TRUE(w.has_value()) << line;
    return w.value_or(Words{});
}

TEST(QuotingWordsPosix, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(posix("  tool   -a\t-b  "), (Words{"tool", "-a", "-b"}));
    EXPECT_EQ(posix("tool 'two words' \"and three words\""), (Words{"tool", "two words", "and three words"}));
    EXPECT_EQ(posix("tool ''  \"\""), (Words{"tool", "", ""}));
    EXPECT_EQ(posix("tool pre'fix'\"ed\"post"), (Words{"tool", "prefixedpost"}));
    EXPECT_TRUE(posix("").empty());
}

TEST(QuotingWordsPosix, BackslashesEscapeByTheShellsRules) {
    EXPECT_EQ(posix(R"(tool a\ b \"q\" \\)"), (Words{"tool", "a b", "\"q\"", "\\"}));
    // Inside double quotes only $ ` " \ are escaped; other backslashes stay.
    EXPECT_EQ(posix(R"(tool "a\"b" "c\$d" "e\nf" "g\\h")"), (Words{"tool", "a\"b", "c$d", "e\\nf", "g\\h"}));
    // Inside single quotes nothing is escaped.
    EXPECT_EQ(posix(R"(tool 'a\b\')"), (Words{"tool", "a\\b\\"}));
    // A backslash before a line end joins the lines.
    EXPECT_EQ(posix("tool a\\\nb"), (Words{"tool", "ab"}));
}

TEST(QuotingWordsPosix, MetacharactersAreOrdinaryCharacters) {
    EXPECT_EQ(posix("probe a;touch x | cat > y && $(id) `id` *"),
              (Words{"probe", "a;touch", "x", "|", "cat", ">", "y", "&&", "$(id)", "`id`", "*"}));
}

TEST(QuotingWordsPosix, AnOpenQuoteOrTrailingEscapeIsRefused) {
    EXPECT_FALSE(tb::split_command_words("tool 'open", true));
    EXPECT_FALSE(tb::split_command_words("tool \"open", true));
    EXPECT_FALSE(tb::split_command_words("tool \"esc\\\"", true));
    EXPECT_FALSE(tb::split_command_words("tool trailing\\", true));
}

TEST(QuotingWordsWindows, BackslashesAreLiteralExceptBeforeAQuote) {
    EXPECT_EQ(windows(R"(C:\tools\bench.exe \\server\share "C:\Program Files\x")"),
              (Words{"C:\\tools\\bench.exe", "\\\\server\\share", "C:\\Program Files\\x"}));
    EXPECT_EQ(windows(R"(t a\"b "c\\" d\\\"e)"), (Words{"t", "a\"b", "c\\", "d\\\"e"}));
    EXPECT_EQ(windows(R"(t "" 'single')"), (Words{"t", "", "'single'"}));
    EXPECT_FALSE(tb::split_command_words("t \"open", false));
}

}  // namespace
