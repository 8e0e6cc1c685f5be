// The table-driven argument reader: keys in any case and under other names,
// positions for unkeyed pairs, defaults, limits and the errors it raises.
#include <gtest/gtest.h>

#include "script/arg_table.h"
#include "script/job_slot.h"
#include "tests/test_support.h"

using namespace tb;

namespace {

constexpr ArgSpec kSpecs[] = {
    {"Port", "", ArgType::Number, "0", 0, 15},
    {"DelayRunSec", "Delay|Sec", ArgType::Number, "5", 0, 86400},
    {"Show", "ShowResult", ArgType::Bool, "TRUE"},
    {"Name", "", ArgType::Text, "hub"},
};

class ArgTable : public ::testing::Test {
protected:
    void SetUp() override { test::fresh_slot(); }
    int32_t error_code() const { return job_slot(0)->error_code; }
};

TEST_F(ArgTable, DefaultsApplyWhenNothingIsGiven) {
    auto a = read_args(0, "", "Cmd", kSpecs);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->number("Port"), 0);
    EXPECT_EQ(a->number("DelayRunSec"), 5);
    EXPECT_TRUE(a->flag("Show"));
    EXPECT_EQ(a->text("Name"), "hub");
    EXPECT_FALSE(a->given("Port"));
}

TEST_F(ArgTable, KeysMatchInAnyCaseAndUnderOtherNames) {
    auto a = read_args(0, "name:\"relay\", SEC:0x10, showresult:FALSE", "Cmd", kSpecs);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->number("DelayRunSec"), 16);
    EXPECT_TRUE(a->given("DelayRunSec"));
    EXPECT_FALSE(a->flag("Show"));
    EXPECT_EQ(a->text("Name"), "relay");
    EXPECT_EQ(a->number("Port"), 0);  // the keyed pair at position 0 is not Port's
}

TEST_F(ArgTable, UnkeyedPairsAreTakenByPosition) {
    auto a = read_args(0, "3, 7", "Cmd", kSpecs);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->number("Port"), 3);
    EXPECT_EQ(a->number("DelayRunSec"), 7);
}

TEST_F(ArgTable, ValuesOutsideTheLimitsRaiseParamErrors) {
    EXPECT_FALSE(read_args(0, "Port:16", "Cmd", kSpecs));
    EXPECT_EQ(error_code(), -2);
    EXPECT_NE(job_slot(0)->error_text.find("Cmd: Port:16 out of range (0 to 15)"), std::string::npos)
        << job_slot(0)->error_text;

    test::fresh_slot();
    EXPECT_FALSE(read_args(0, "Delay:-1", "Cmd", kSpecs));
    EXPECT_EQ(error_code(), -2);
}

TEST_F(ArgTable, TextWhereANumberBelongsIsRefused) {
    EXPECT_FALSE(read_args(0, "Port:\"two\"", "Cmd", kSpecs));
    EXPECT_EQ(error_code(), -2);
    EXPECT_NE(job_slot(0)->error_text.find("not a number"), std::string::npos);
}

}  // namespace
