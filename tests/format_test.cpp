// The wsprintf-style formatter and the UTF-16 text helpers.
#include <gtest/gtest.h>

#include "common/format.h"
#include "common/text.h"

using namespace tb;

TEST(Format, IntegerConversionsTakeThirtyTwoBitsUnlessI64) {
    EXPECT_EQ(fmt("0x%06X", -16), "0xFFFFFFF0");
    EXPECT_EQ(fmt("%d", int64_t{0x100000005}), "5");
    EXPECT_EQ(fmt("%I64d", int64_t{0x100000005}), "4294967301");
    EXPECT_EQ(fmt("%I64u", int64_t{-1}), "18446744073709551615");
    EXPECT_EQ(fmt("0x%I64X", int64_t{-1}), "0xFFFFFFFFFFFFFFFF");
    EXPECT_EQ(fmt("%u", -1), "4294967295");
    EXPECT_EQ(fmt("%I64d", INT64_MIN), "-9223372036854775808");
}

TEST(Format, WidthPrecisionAndFlags) {
    EXPECT_EQ(fmt("R%010I64d", 42), "R0000000042");
    EXPECT_EQ(fmt("%02d:%02d", 5, 7), "05:07");
    EXPECT_EQ(fmt("[%-6s]", "ab"), "[ab    ]");
    EXPECT_EQ(fmt("[%6s]", "ab"), "[    ab]");
    EXPECT_EQ(fmt("%-38s|", "Model Number").size(), 39u);
    EXPECT_EQ(fmt("%.3s", "abcdef"), "abc");
    EXPECT_EQ(fmt("%5d|%-5d|", -3, 3), "   -3|3    |");
    EXPECT_EQ(fmt("%08X", 0xBEEF), "0000BEEF");
    EXPECT_EQ(fmt("%x", 255), "ff");
    EXPECT_EQ(fmt("100%%"), "100%");
}

TEST(Format, StringsCountUtf16Units) {
    // "é" is one UTF-16 unit in two UTF-8 bytes; padding counts units.
    EXPECT_EQ(fmt("[%-3s]", "\xC3\xA9"), "[\xC3\xA9  ]");
    EXPECT_EQ(fmt("%S and %s", "wide", "narrow"), "wide and narrow");
    EXPECT_EQ(fmt("%s", 12), "12");
}

TEST(Format, MissingArgumentsPrintEmpty) {
    EXPECT_EQ(fmt("a%sb%dc"), "ab0c");
    EXPECT_EQ(fmt("50%"), "50%");
}

TEST(Text, Utf16CountsAndCuts) {
    EXPECT_EQ(utf16_length("abc"), 3u);
    EXPECT_EQ(utf16_length("\xC3\xA9"), 1u);
    EXPECT_EQ(utf16_length("\xF0\x9F\x98\x80"), 2u);  // a surrogate pair
    EXPECT_EQ(utf16_truncate("\xF0\x9F\x98\x80x", 1), "");  // never half a pair
    EXPECT_EQ(utf16_truncate("ab\xC3\xA9z", 3), "ab\xC3\xA9");
    EXPECT_EQ(to_utf8(to_utf16("a\xC3\xA9\xF0\x9F\x98\x80")), "a\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16_substr("abcdef", 3, 6), "def");
}

TEST(Text, CaseInsensitiveHelpers) {
    EXPECT_TRUE(iequals("StrLen", "STRLEN"));
    EXPECT_EQ(ifind("Hello World", "WORLD"), 6u);
    EXPECT_EQ(ireplace_all("aXbxc", "x", "-"), "a-b-c");
    EXPECT_EQ(split("a,,b", ',').size(), 3u);
    EXPECT_EQ(trim(" \t x \t"), "x");
}
