// Values, operands, the arithmetic evaluator and the condition evaluator.
#include <gtest/gtest.h>

#include "script/evaluator.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "tests/test_support.h"

using namespace tb;
using tb::test::run;
using tb::test::var;

class Evaluator : public ::testing::Test {
protected:
    void SetUp() override { test::fresh_slot(); }
    int32_t error_code() const { return job_slot(0)->error_code; }
    std::string error_text() const { return job_slot(0)->error_text; }
};

TEST_F(Evaluator, ArithmeticHasNoPrecedenceButGroupsComeFirst) {
    run("x = 2 + 3 * 4;");
    EXPECT_EQ(var("x"), "20");
    run("y = (3 * 4) + 2;");
    EXPECT_EQ(var("y"), "14");
    run("z = -5;");
    EXPECT_EQ(var("z"), "-5");
    run("w = 7 / 2 + 10 % 4;");  // ((7 / 2) + 10) % 4
    EXPECT_EQ(var("w"), "1");
}

TEST_F(Evaluator, StringConcatenationRules) {
    run("s = \"a\" + 1 + 0x1F;");
    EXPECT_EQ(var("s"), "a10x1F");
    run("t = 5 + \"a\";");
    EXPECT_EQ(var("t"), "5a");
    run("u = 0 + \"a\";");
    EXPECT_EQ(var("u"), "a");
    run("h = 0x10 + 1 + \"z\";");  // a hex accumulator prints in hex
    EXPECT_EQ(var("h"), "0x11z");
}

TEST_F(Evaluator, HexOperandMakesTheResultHex) {
    run("x = 1 + 0x0F;");
    EXPECT_EQ(var("x"), "0x10");
    EXPECT_EQ(job_slot(0)->vars.find("x")->type, ValueType::Hex);
}

TEST_F(Evaluator, DivideByZeroRaisesAndLeavesTargetUnchanged) {
    run("x = 3;");
    EXPECT_EQ(run("x = 7 / 0;"), kErrorStop);
    EXPECT_EQ(var("x"), "3");
    EXPECT_EQ(error_code(), -26);
    EXPECT_EQ(error_text(), "Script Variable Type Error. Divide By 0");
}

TEST_F(Evaluator, ModuloByZeroIsRefusedToo) {
    run("x = 3;");
    EXPECT_EQ(run("x = 7 % 0;"), kErrorStop);
    EXPECT_EQ(var("x"), "3");
}

TEST_F(Evaluator, MinimumDividedByMinusOneWraps) {
    run("m = 0 - 9223372036854775807 - 1;");
    run("n = 0 - 1;");
    run("q = m / n;");
    EXPECT_EQ(var("q"), "-9223372036854775808");
}

TEST_F(Evaluator, StringWithOtherOperatorIsATypeError) {
    EXPECT_EQ(run("x = \"a\" - 1;"), kErrorStop);
    EXPECT_EQ(error_text(), "Script Variable Type Error. 1");
    EXPECT_EQ(var("x"), "<undefined>");
}

TEST_F(Evaluator, DecimalLiterals) {
    EXPECT_EQ(get_value(0, "007").num, 7);
    EXPECT_EQ(get_value(0, "1.9").num, 1);
    EXPECT_EQ(get_value(0, "-5").num, -5);
    EXPECT_EQ(get_value(0, "0").type, ValueType::Decimal);
    int64_t v;
    EXPECT_FALSE(parse_decimal_literal("+5", v));
    EXPECT_FALSE(parse_decimal_literal("1.2.3", v));
    EXPECT_FALSE(parse_decimal_literal("99999999999999999999", v));  // saturates, printed back differs
    EXPECT_TRUE(get_value(0, "1.2.3").is_undefined());
    EXPECT_EQ(error_code(), -25);
    EXPECT_EQ(error_text(), "Script Variable Not Initial. 1.2.3");
}

TEST_F(Evaluator, HexLiterals) {
    int64_t v = 0;
    EXPECT_TRUE(parse_hex_literal("0x1F", v));
    EXPECT_EQ(v, 0x1F);
    EXPECT_TRUE(parse_hex_literal("0X7fffffffffffffff", v));
    EXPECT_EQ(v, INT64_MAX);
    EXPECT_TRUE(parse_hex_literal("0x00000001", v));
    EXPECT_EQ(v, 1);
    EXPECT_FALSE(parse_hex_literal("0xFFFFFFFFFFFFFFFF", v));  // saturates
    EXPECT_FALSE(parse_hex_literal("0x1G", v));
    EXPECT_FALSE(parse_hex_literal("0x000000000000000000001", v));  // over 20 characters
    EXPECT_EQ(get_value(0, "0x10").type, ValueType::Hex);
}

TEST_F(Evaluator, TrueFalseAndQuotedStrings) {
    EXPECT_EQ(get_value(0, "true").num, 1);
    EXPECT_EQ(get_value(0, "FALSE").num, 0);
    Value s = get_value(0, " \"a b\" ");
    EXPECT_EQ(s.type, ValueType::String);
    EXPECT_EQ(s.str, "a b");
}

TEST_F(Evaluator, UnknownNamesRaiseExceptForTheQuietOnes) {
    EXPECT_TRUE(get_value(0, "_FThread1").is_undefined());
    EXPECT_EQ(error_code(), 0);
    get_value(0, "nosuch");
    EXPECT_EQ(error_code(), -25);
}

TEST_F(Evaluator, ConditionsAreStrictlyLeftToRight) {
    run("a = 1;");
    run("b = 2;");
    run("c = a == 1 && b == 2;");  // ((1 == 1) && 2) == 2
    EXPECT_EQ(var("c"), "0");
    run("d = b > a;");
    EXPECT_EQ(var("d"), "1");
    run("e = 0x10 == 16;");
    EXPECT_EQ(var("e"), "1");
}

TEST_F(Evaluator, StringComparisonIgnoresCase) {
    run("c = \"Abc\" == \"aBC\";");
    EXPECT_EQ(var("c"), "1");
    run("d = \"abc\" != \"abd\";");
    EXPECT_EQ(var("d"), "1");
}

TEST_F(Evaluator, MixedComparisonCannotCompare) {
    EXPECT_EQ(run("c = \"a\" == 1;"), kErrorStop);
    EXPECT_EQ(error_code(), -27);
    EXPECT_EQ(error_text(), "Script Variable Cannot Compare. \"a\" == 1");
}

TEST_F(Evaluator, SingleOperandConditionMustBeANumber) {
    run("s = \"x\";");
    evaluate_condition(0, "s", "r");
    EXPECT_EQ(error_code(), -27);
    EXPECT_EQ(error_text(), "Script Variable Cannot Compare. s");
    evaluate_condition(0, "5", "r");
    EXPECT_EQ(var("r"), "1");
}

TEST_F(Evaluator, ArrayAssignmentAndElements) {
    run("a[] = 1, \"two\", 0x3;");
    EXPECT_EQ(var("a[0]"), "1");
    EXPECT_EQ(var("a[1]"), "two");
    EXPECT_EQ(var("a[2]"), "0x3");
    EXPECT_EQ(var("a[0xEFFFFFFF]"), "3");
    EXPECT_EQ(var("a[]"), "a[]");
    run("i = 1;");
    run("x = a[i];");
    EXPECT_EQ(var("x"), "two");
    run("a[i] = 9;");
    EXPECT_EQ(var("a[1]"), "9");
    EXPECT_EQ(var("a[0xEFFFFFFF]"), "3");  // an element assignment keeps the length
}

TEST_F(Evaluator, ArrayReadsOutsideTheArray) {
    get_value(0, "never[3]");  // never assigned: empty, no error
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(get_value(0, "never[3]").str, "");
    run("a[] = 1, 2, 3;");
    EXPECT_EQ(run("x = a[9];"), kErrorStop);
    EXPECT_EQ(error_text(), "Script Variable Not Initial. a[9]");
}

TEST_F(Evaluator, ArrayAssignmentKeepsEmptyItemsAndCapsAtFifty) {
    run("a[] = 1,,3;");
    EXPECT_EQ(var("a[0xEFFFFFFF]"), "3");
    EXPECT_EQ(var("a[1]"), "0");  // an empty item evaluates as 0
    std::string many;
    for (int i = 0; i < 60; ++i) many += (i ? "," : "") + std::to_string(i);
    run("b[] = " + many + ";");
    EXPECT_EQ(var("b[0xEFFFFFFF]"), "50");
}

TEST_F(Evaluator, Increments) {
    run("i = 0x0F;");
    run("i++;");
    EXPECT_EQ(var("i"), "0x10");
    run("j = 5;");
    run("j -= 2;");
    EXPECT_EQ(var("j"), "3");
    run("j += 0x10;");
    EXPECT_EQ(var("j"), "19");
    EXPECT_EQ(run("i += j;"), kErrorStop);  // a variable is not accepted
    EXPECT_EQ(error_code(), -2);
    EXPECT_EQ(error_text(), "Parameters not match spec or over limit. j");
}

TEST_F(Evaluator, TemporariesWrapAtAThousand) {
    std::string first = fresh_temporary();
    int n = std::stoi(first.substr(8));
    for (int i = 0; i < 999; ++i) fresh_temporary();
    EXPECT_EQ(fresh_temporary(), "_Varible" + std::to_string(n));
}
