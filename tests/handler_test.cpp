// The handler contract: the pair splitter, the converters and the argument
// normalisation that handlers see.
#include <gtest/gtest.h>

#include "script/handler.h"
#include "script/job_slot.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

using namespace tb;

class HandlerContract : public ::testing::Test {
protected:
    void SetUp() override { test::fresh_slot(); }
    std::string last_line() const {
        auto lines = job_log_lines(0);
        return lines.empty() ? std::string() : lines.back().text;
    }
};

TEST_F(HandlerContract, PairSplitterHonoursQuotes) {
    auto pairs = split_pairs("Output:\"a, b: c\", Size:10, 0x1F");
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].key, "Output");
    EXPECT_EQ(pairs[0].value, "\"a, b: c\"");
    EXPECT_EQ(pairs[1].key, "Size");
    EXPECT_EQ(pairs[1].value, "10");
    EXPECT_EQ(pairs[2].key, "");  // a pair without a colon has an empty key
    EXPECT_EQ(pairs[2].value, "0x1F");
}

TEST_F(HandlerContract, PairSplitterEdgeCases) {
    EXPECT_TRUE(split_pairs("").empty());
    EXPECT_TRUE(split_pairs("  ,  ").empty());
    auto semi = split_pairs("Key:;");
    ASSERT_EQ(semi.size(), 1u);
    EXPECT_EQ(semi[0].value, "");  // a lone ';' counts as empty
    auto longkey = split_pairs(std::string(40, 'k') + ":1");
    EXPECT_EQ(longkey[0].key.size(), 30u);
}

TEST_F(HandlerContract, UnsignedConverterRange) {
    uint32_t v = 7;
    EXPECT_TRUE(arg_u32(0, "0xFFFFFFFF", v));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    v = 7;
    EXPECT_FALSE(arg_u32(0, "4294967296", v));  // 2^32: fails, output unchanged
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(arg_u32(0, "-1", v));  // negative high half is accepted, low 32 bits kept
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_FALSE(arg_u32(0, "\"12\"", v));
    EXPECT_EQ(v, 0u);
}

TEST_F(HandlerContract, OtherConverters) {
    bool b = false;
    EXPECT_TRUE(arg_bool(0, "\"true\"", b));
    EXPECT_TRUE(b);
    arg_bool(0, "0", b);
    EXPECT_FALSE(b);
    arg_bool(0, "3", b);
    EXPECT_TRUE(b);
    int32_t i = 0;
    EXPECT_TRUE(arg_i32(0, "0x1FFFFFFFF", i));
    EXPECT_EQ(i, -1);
    int64_t l = 0;
    EXPECT_TRUE(arg_i64(0, "0x1FFFFFFFF", l));
    EXPECT_EQ(l, 0x1FFFFFFFFll);
    std::string s;
    EXPECT_TRUE(arg_string(0, "\"x y\"", s));
    EXPECT_EQ(s, "x y");
    EXPECT_TRUE(arg_string(0, "0x10", s));
    EXPECT_EQ(s, "0x10");
}

TEST_F(HandlerContract, ArgumentsReachHandlersAsLiterals) {
    test::run_script_text("x = 5;\r\nPrint(Output:x);\r\ns = \"five\";\r\nPrint(Output:s + \"!\");");
    auto lines = job_log_lines(0);
    bool number = false, text = false;
    for (const auto& l : lines) {
        number |= l.text == "5";
        text |= l.text == "five!";
    }
    EXPECT_TRUE(number);
    EXPECT_TRUE(text);
}

TEST_F(HandlerContract, ArrayNameArgumentPassesItsName) {
    test::run_script_text("a[] = 1, 2;\r\nn = ArrayLen(a[]);");
    EXPECT_EQ(test::var("n"), "2");
}
