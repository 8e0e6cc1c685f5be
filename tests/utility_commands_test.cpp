#include "script/utility_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "common/duration.h"
#include "common/ini_file.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/evaluator.h"
#include "script/file_argument.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "tests/fake_dialogs.h"
#include "ui/job_log.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

class UtilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_app_context();
        reset_run_state(0);
        clear_job_log(0);
        // Errors are counted but never stop anything here.
        slot().vars.set_number("_ErrorSkip", 1000);
        dir_ = fs::temp_directory_path() / ("tamblor_util_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        reset_run_state(0);
        reset_app_context();
    }

    static JobSlot& slot() { return *job_slot(0); }
    static const Value* result(const std::string& name) { return slot().vars.find(name); }
    static std::string str(const std::string& name) {
        const Value* v = result(name);
        EXPECT_NE(v, nullptr) << name;
        EXPECT_TRUE(v && v->is_string()) << name;
        return v ? v->str : std::string();
    }
    static int64_t num(const std::string& name) {
        const Value* v = result(name);
        EXPECT_NE(v, nullptr) << name;
        EXPECT_TRUE(v && v->is_number()) << name;
        return v ? v->num : 0;
    }
    static int64_t error_count() {
        const Value* v = result("_ErrorCount");
        return v ? v->num : 0;
    }
    static bool logged(std::string_view text) {
        for (const auto& l : job_log_lines(0))
            if (l.text.find(text) != std::string::npos) return true;
        return false;
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    static void write(const std::string& path, const std::string& body) {
        std::ofstream(path, std::ios::binary) << body;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
};

// ---- strings ----

TEST_F(UtilityTest, StrLenCountsUtf16Units) {
    cmd_StrLen(0, "String:\"A\xC3\xA9\xF0\x9F\x98\x80\"",
               "StrLen");  // A, e-acute, one emoji (a surrogate pair)
    EXPECT_EQ(num("StrLen"), 4);
    cmd_StrLen(0, "String:12345", "n");  // a number is measured as printed
    EXPECT_EQ(num("n"), 5);
}

TEST_F(UtilityTest, StrCmpIsCaseSensitiveStrStrIsNot) {
    cmd_StrCmp(0, "String:\"Abc\", String:\"abc\"", "StrCmp");
    EXPECT_EQ(num("StrCmp"), 0);
    cmd_StrCmp(0, "String:\"abc\", String:\"abc\"", "StrCmp");
    EXPECT_EQ(num("StrCmp"), 1);
    cmd_StrStr(0, "String:\"Samsung SSD 980\", SubStr:\"ssd\"", "StrStr");
    EXPECT_EQ(num("StrStr"), 1);
    cmd_StrStr(0, "String:\"Samsung SSD 980\", SubStr:\"hdd\"", "StrStr");
    EXPECT_EQ(num("StrStr"), 0);
}

TEST_F(UtilityTest, StrSubPositionsAndNegatives) {
    auto sub = [](const std::string& a) {
        cmd_StrSub(0, "String:\"ABCDEF\", " + a, "StrSub");
        return str("StrSub");
    };
    EXPECT_EQ(sub("StartId:-3, EndId:0"), "DEF");
    EXPECT_EQ(sub("StartId:1, EndId:3"), "BC");
    EXPECT_EQ(sub("StartId:0, EndId:-1"), "ABCDE");
    EXPECT_EQ(sub("StartId:0, EndId:0"), "ABCDEF");
    EXPECT_EQ(sub("StartId:4, EndId:2"), "");
    EXPECT_EQ(sub("StartId:3, EndId:3"), "");
    // Out of range positions: held to the text's ends, never an error.
    EXPECT_EQ(sub("StartId:10, EndId:0"), "");
    EXPECT_EQ(sub("StartId:2, EndId:100"), "CDEF");
    EXPECT_EQ(sub("StartId:-100, EndId:2"), "AB");
    EXPECT_EQ(error_count(), 0);
    EXPECT_EQ(slot().error_code, 0);
}

TEST_F(UtilityTest, StrSubCountsUtf16) {
    cmd_StrSub(0, "String:\"\xC3\xA9x\xC3\xA9y\", StartId:-2, EndId:0", "StrSub");
    EXPECT_EQ(str("StrSub"), "\xC3\xA9y");
}

TEST_F(UtilityTest, ConverterFailureLeavesNoResult) {
    slot().vars.set_string("StrSub", "before");
    cmd_StrSub(0, "String:\"ABCDEF\", StartId:\"x\", EndId:0", "StrSub");
    EXPECT_EQ(str("StrSub"), "before");
    cmd_StrSub(0, "String:\"ABCDEF\", StartId:1", "StrSub");  // EndId missing
    EXPECT_EQ(str("StrSub"), "before");
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, StrReplaceIgnoresCase) {
    cmd_StrReplace(0, "String:\"aBcAbCabc\", OldStr:\"ABC\", NewStr:\"-\"", "StrReplace");
    EXPECT_EQ(str("StrReplace"), "---");
    cmd_StrReplace(0, "String:\"a.b.c\", OldStr:\".\", NewStr:\"\\\\\"", "r");
    EXPECT_EQ(str("r"), "a\\\\b\\\\c");
    cmd_StrReplace(0, "String:\"abc\", OldStr:\"\", NewStr:\"x\"", "r");
    EXPECT_EQ(str("r"), "abc");
}

TEST_F(UtilityTest, StrSetLenPadsAndChecksLimits) {
    cmd_StrSetLen(0, "String:\"ab\", RightAlign:FALSE, SetLen:5", "StrSetLen");
    EXPECT_EQ(str("StrSetLen"), "ab   ");
    cmd_StrSetLen(0, "String:\"ab\", RightAlign:1, SetLen:5", "StrSetLen");
    EXPECT_EQ(str("StrSetLen"), "   ab");
    cmd_StrSetLen(0, "String:\"abcdef\", RightAlign:0, SetLen:3", "StrSetLen");
    EXPECT_EQ(str("StrSetLen"), "abcdef");
    cmd_StrSetLen(0, "String:\"\", RightAlign:0, SetLen:128", "StrSetLen");
    EXPECT_EQ(str("StrSetLen").size(), 128u);
    EXPECT_EQ(error_count(), 0);

    for (const char* bad : {"0", "129", "-1"}) {
        reset_run_state(0);
        slot().vars.set_number("_ErrorSkip", 10);
        cmd_StrSetLen(0, std::string("String:\"ab\", RightAlign:0, SetLen:") + bad, "StrSetLen");
        EXPECT_EQ(slot().error_code, kErrParam) << bad;
        EXPECT_NE(slot().error_text.find("SetLen Over Limit"), std::string::npos) << slot().error_text;
        EXPECT_EQ(result("StrSetLen"), nullptr);
    }
}

TEST_F(UtilityTest, StrSplitItems) {
    cmd_StrSplit(0, "String:\"a,,b\", Split:\",\"", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"a\",\"\",\"b\"");
    cmd_StrSplit(0, "String:\" a , b ,c \", Split:\",\"", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"a\",\"b\",\"c\"");
    cmd_StrSplit(0, "String:\"a,b,c,d\", Split:\",\", Count:2", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"a\",\"b,c,d\"");
    cmd_StrSplit(0, "String:\"a,b,\", Split:\",\"", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"a\",\"b\",\"\"");
    cmd_StrSplit(0, "String:\"no separator\", Split:\"\"", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"no separator\"");
    // Items are cut at 99 characters.
    cmd_StrSplit(0, "String:\"" + std::string(120, 'x') + "|y\", Split:\"|\"", "StrSplit");
    EXPECT_EQ(str("StrSplit"), "\"" + std::string(99, 'x') + "\",\"y\"");
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, StrSplitDefaultsToFiftyItems) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += (i ? "," : "") + std::to_string(i);
    cmd_StrSplit(0, "String:\"" + text + "\", Split:\",\"", "StrSplit");
    std::string r = str("StrSplit");
    EXPECT_EQ(std::count(r.begin(), r.end(), ','),
              49 + 10);  // 49 joins plus the 10 commas left in the last item
    EXPECT_NE(r.find("\"49,50,51"), std::string::npos);
}

TEST_F(UtilityTest, StrSplitRejectsLongSeparator) {
    cmd_StrSplit(0, "String:\"a,,b\", Split:\",,\"", "StrSplit");
    EXPECT_EQ(slot().error_code, kErrParam);
    EXPECT_NE(slot().error_text.find("Split Length > 1"), std::string::npos);
    EXPECT_EQ(result("StrSplit"), nullptr);
}

TEST_F(UtilityTest, StrSplitResultFeedsAnArrayAssignment) {
    cmd_StrSplit(0, "String:\"x,,y z\", Split:\",\"", "StrSplit");
    assignment_statement(0, "a[] = StrSplit;");
    EXPECT_EQ(num("a[0xEFFFFFFF]"), 3);
    EXPECT_EQ(str("a[0]"), "x");
    EXPECT_EQ(str("a[1]"), "");
    EXPECT_EQ(str("a[2]"), "y z");
    cmd_ArrayLen(0, "Array:\"a[]\"", "ArrayLen");
    EXPECT_EQ(num("ArrayLen"), 3);
}

TEST_F(UtilityTest, CallsThroughTheInterpreter) {
    run_statement(0, "n = StrLen( String:\"abc\" ) + StrLen( String:\"de\" );");
    EXPECT_EQ(num("n"), 5);
    run_statement(0, "w[] = StrSplit( String:\"alpha,beta,gamma\", Split:\",\" );");
    run_statement(0, "k = ArrayLen( w[] );");
    EXPECT_EQ(num("k"), 3);
    EXPECT_EQ(str("w[1]"), "beta");
    run_statement(0, "h = NumberToStr( Value:(0x10 + 1), HexDec:\"HEX\" );");
    EXPECT_EQ(str("h"), "0x00000011");
    EXPECT_EQ(error_count(), 0);
}

// ---- numbers ----

TEST_F(UtilityTest, StrToNumberModes) {
    struct Case {
        const char* args;
        int64_t value;
        ValueType type;
    } cases[] = {
        {"String:\"0x1F\"", 31, ValueType::Hex},
        {"String:\"123\"", 123, ValueType::Decimal},
        {"String:\" 42 \"", 42, ValueType::Decimal},
        {"String:\"007\"", 7, ValueType::Decimal},
        {"String:\"-5\"", -5, ValueType::Decimal},
        {"String:\"abc\"", 0, ValueType::Decimal},
        {"String:\"123\", HexDec:\"Hex\"", 123, ValueType::Hex},
        {"String:\"0x10\", HexDec:\"Hex\"", 16, ValueType::Hex},
        {"String:\"abc\", HexDec:\"Hex\"", 0, ValueType::Hex},
        {"String:\"0x10\", HexDec:\"Dec\"", 16, ValueType::Decimal},
        {"String:\"0x10\", HexDec:\"Auto\"", 16, ValueType::Hex},
        {"String:\"12\", HexDec:\"whatever\"", 12, ValueType::Decimal},
    };
    for (const auto& c : cases) {
        slot().vars.set_string("StrToNumber", "stale");
        cmd_StrToNumber(0, c.args, "StrToNumber");
        const Value* v = result("StrToNumber");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type) << c.args;
        EXPECT_EQ(v->num, c.value) << c.args;
    }
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, NumberToStrForms) {
    cmd_NumberToStr(0, "Value:-1, HexDec:\"DEC\"", "NumberToStr");
    EXPECT_EQ(str("NumberToStr"), "18446744073709551615");
    cmd_NumberToStr(0, "Value:-1, HexDec:\"HEX\"", "NumberToStr");
    EXPECT_EQ(str("NumberToStr"), "0xFFFFFFFFFFFFFFFF");
    cmd_NumberToStr(0, "Value:255, HexDec:\"hex\"", "NumberToStr");
    EXPECT_EQ(str("NumberToStr"), "0x000000FF");
    cmd_NumberToStr(0, "Value:0x100000000, HexDec:\"Hex\"", "NumberToStr");
    EXPECT_EQ(str("NumberToStr"), "0x0000000100000000");
    cmd_NumberToStr(0, "Value:0x1F, HexDec:\"dec\"", "NumberToStr");
    EXPECT_EQ(str("NumberToStr"), "31");
    EXPECT_EQ(error_count(), 0);

    cmd_NumberToStr(0, "Value:1, HexDec:\"OCT\"", "Other");
    EXPECT_EQ(slot().error_code, kErrParam);
    EXPECT_NE(slot().error_text.find("Format Error"), std::string::npos);
    EXPECT_EQ(result("Other"), nullptr);
}

TEST_F(UtilityTest, BitValueUsesLow32BitsAndBitModulo) {
    cmd_BitValue(0, "Value:0x80, BitId:7", "BitValue");
    EXPECT_EQ(num("BitValue"), 1);
    cmd_BitValue(0, "Value:0x80, BitId:6", "BitValue");
    EXPECT_EQ(num("BitValue"), 0);
    cmd_BitValue(0, "Value:0x80, BitId:39", "BitValue");
    EXPECT_EQ(num("BitValue"), 1);
    cmd_BitValue(0, "Value:0x80000000, BitId:31", "BitValue");
    EXPECT_EQ(num("BitValue"), 1);
}

TEST_F(UtilityTest, RandomValueRange) {
    for (int i = 0; i < 200; ++i) {
        cmd_RandomValue(0, "RangeStart:5, RangeEnd:6, ShowResult:FALSE", "RandomValue");
        ASSERT_EQ(num("RandomValue"), 5);
    }
    bool low = false, high = false;
    for (int i = 0; i < 2000; ++i) {
        cmd_RandomValue(0, "RangeStart:-3, RangeEnd:3, ShowResult:FALSE", "RandomValue");
        int64_t v = num("RandomValue");
        ASSERT_GE(v, -3);
        ASSERT_LT(v, 3);
        low |= v == -3;
        high |= v == 2;
    }
    EXPECT_TRUE(low && high);
    // The full signed range does not overflow.
    cmd_RandomValue(0, "RangeStart:-9223372036854775807, RangeEnd:9223372036854775807, ShowResult:0", "R");
    EXPECT_LT(num("R"), INT64_MAX);
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, RandomValueShowsAndTypes) {
    cmd_RandomValue(0, "RangeStart:5, RangeEnd:6, ShowResult:TRUE, ShowHex:TRUE", "RandomValue");
    const Value* v = result("RandomValue");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, ValueType::Hex);
    EXPECT_TRUE(logged("RandomValue: 5 | 0x00000005"));
}

TEST_F(UtilityTest, RandomValueBoundsMustGrow) {
    for (const char* args :
         {"RangeStart:7, RangeEnd:7, ShowResult:0", "RangeStart:8, RangeEnd:7, ShowResult:0"}) {
        reset_run_state(0);
        slot().vars.set_number("_ErrorSkip", 10);
        cmd_RandomValue(0, args, "RandomValue");
        EXPECT_EQ(slot().error_code, kErrParam) << args;
        EXPECT_NE(slot().error_text.find("(RangeEnd must > RangeStart)"), std::string::npos);
        EXPECT_EQ(result("RandomValue"), nullptr);
    }
}

TEST_F(UtilityTest, ArrayLen) {
    slot().vars.set_number("arr[0xEFFFFFFF]", 3);
    cmd_ArrayLen(0, "Array:\"arr[]\"", "ArrayLen");
    EXPECT_EQ(num("ArrayLen"), 3);
    cmd_ArrayLen(0, "Array:\"ARR[]\"", "ArrayLen");  // names ignore case
    EXPECT_EQ(num("ArrayLen"), 3);
    cmd_ArrayLen(0, "Array:\"arr\"", "ArrayLen");
    EXPECT_EQ(num("ArrayLen"), 0);
    EXPECT_EQ(error_count(), 0);

    cmd_ArrayLen(0, "Array:\"none[]\"", "Missing");
    EXPECT_EQ(slot().error_code, kErrVariableNotInitial);
    EXPECT_NE(slot().error_text.find("No Found Array"), std::string::npos);
    EXPECT_EQ(result("Missing"), nullptr);
}

// ---- time ----

TEST_F(UtilityTest, DateTimeFormats) {
    struct Case {
        const char* format;
        const char* shape;
    } cases[] = {
        {"YYYY-MM-DD", R"(\d{4}-\d{2}-\d{2})"},
        {"yyyymmdd", R"(\d{8})"},
        {"hh:mm:ss", R"(\d{2}:\d{2}:\d{2})"},
        {"HHMMSS", R"(\d{6})"},
        {"YYYY-MM-DD hh:mm:ss", R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})"},
        {"YYYYMMDD-hhmmss", R"(\d{8}-\d{6})"},
    };
    for (const auto& c : cases) {
        cmd_DateTime(0, std::string("OutFormat:\"") + c.format + "\"", "DateTime");
        EXPECT_TRUE(std::regex_match(str("DateTime"), std::regex(c.shape)))
            << c.format << " -> " << str("DateTime");
    }
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, DateTimeUnknownFormat) {
    cmd_DateTime(0, "OutFormat:\"DD/MM/YYYY\"", "DateTime");
    EXPECT_EQ(slot().error_code, kErrParam);
    EXPECT_EQ(slot().error_text, "Parameters not match spec or over limit. ");
    EXPECT_EQ(result("DateTime"), nullptr);
}

TEST_F(UtilityTest, RunTimeUnits) {
    slot().start_time = std::chrono::steady_clock::now() - std::chrono::milliseconds(125500);
    cmd_RunTime(0, "ShowResult:FALSE, TimeFormat:\"sec\"", "RunTime");
    EXPECT_EQ(num("RunTime"), 125);
    cmd_RunTime(0, "ShowResult:FALSE, TimeFormat:\"min\"", "RunTime");
    EXPECT_EQ(num("RunTime"), 2);
    cmd_RunTime(0, "ShowResult:FALSE, TimeFormat:\"hr\"", "RunTime");
    EXPECT_EQ(num("RunTime"), 0);
    // Unit names are case-sensitive: "SEC" falls back to milliseconds.
    cmd_RunTime(0, "ShowResult:FALSE, TimeFormat:\"SEC\"", "RunTime");
    EXPECT_GE(num("RunTime"), 125500);
    EXPECT_LT(num("RunTime"), 135000);
    cmd_RunTime(0, "ShowResult:FALSE", "RunTime");
    EXPECT_GE(num("RunTime"), 125500);
    EXPECT_FALSE(logged("Script RunTime"));
    cmd_RunTime(0, "ShowResult:TRUE, TimeFormat:\"sec\"", "RunTime");
    EXPECT_TRUE(logged("Script RunTime : 125 (2 min 5."));
}

TEST(UtilityDuration, ReadableDuration) {
    EXPECT_EQ(readable_duration(0), "0.000 sec ");
    EXPECT_EQ(readable_duration(999), "0.999 sec ");
    EXPECT_EQ(readable_duration(61001), "1 min 1.001 sec ");
    EXPECT_EQ(readable_duration(3600000), "1 hr 0 min 0.000 sec ");
    EXPECT_EQ(readable_duration(3723004), "1 hr 2 min 3.004 sec ");
    EXPECT_EQ(readable_duration(90000000), "25 hr 0 min 0.000 sec ");
    EXPECT_EQ(readable_duration(UINT32_MAX), "1193 hr 2 min 47.295 sec ");
}

// ---- INI files ----

TEST(UtilityIni, ProfileSemantics) {
    IniFile ini;
    ini.parse(
        "; comment\r\n[ Main ]\r\nName = Value One \r\nquoted=\"  spaced \"\r\n\r\n[Other]\r\nName=2\r\n");
    EXPECT_EQ(ini.get("main", "NAME").value_or("?"), "Value One");
    EXPECT_EQ(ini.get("Main", "quoted").value_or("?"), "  spaced ");
    EXPECT_EQ(ini.get("Other", "name").value_or("?"), "2");
    EXPECT_FALSE(ini.get("Main", "missing"));
    EXPECT_FALSE(ini.get("Nowhere", "Name"));
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Main", "Other"}));
    EXPECT_EQ(ini.keys("MAIN"), (std::vector<std::string>{"Name", "quoted"}));
}

TEST(UtilityIni, WritingKeepsOtherLines) {
    IniFile ini;
    ini.parse("; keep me\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ini.set("a", "X", "10");  // replaced in place, file spelling kept
    ini.set("A", "z", "3");   // inserted after the last key of A, before the blank line
    ini.set("C", "w", "4");   // new section at the end
    EXPECT_EQ(ini.text(), "; keep me\r\n[A]\r\nx=10\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");

    IniFile unix_style;
    unix_style.parse("[A]\nx=1\n");
    unix_style.set("A", "x", "2");
    EXPECT_EQ(unix_style.text(), "[A]\nx=2\n");
}

TEST_F(UtilityTest, IniRoundTripThroughCommands) {
    const std::string path = file("round.ini");
    write(path, "; header\r\n[Other]\r\nkeep=yes\r\n");
    cmd_SetINIData(0, "Section:\"Run\", Item:\"Count\", Output:42, File:\"" + path + "\", Flush:TRUE",
                   "SetINIData");
    cmd_SetINIData(0, "Section:\"Run\", Item:\"Mask\", Output:0x1F, File:\"" + path + "\"", "SetINIData");
    cmd_SetINIData(0, "Item:\"Text\", Output:\"hello world\", File:\"" + path + "\"", "SetINIData");
    EXPECT_EQ(error_count(), 0);
    std::string body = read(path);
    EXPECT_EQ(body.rfind("; header\r\n[Other]\r\nkeep=yes\r\n", 0), 0u) << body;
    EXPECT_NE(body.find("[LogData]\r\nText=hello world\r\n"), std::string::npos) << body;

    cmd_GetINIData(0, "Section:\"run\", Item:\"count\", File:\"" + path + "\"", "GetINIData");
    EXPECT_EQ(result("GetINIData")->type, ValueType::Decimal);
    EXPECT_EQ(num("GetINIData"), 42);
    cmd_GetINIData(0, "Section:\"Run\", Item:\"Mask\", File:\"" + path + "\"", "GetINIData");
    EXPECT_EQ(result("GetINIData")->type, ValueType::Hex);
    EXPECT_EQ(num("GetINIData"), 0x1F);
    cmd_GetINIData(0, "Item:\"Text\", File:\"" + path + "\"", "GetINIData");
    EXPECT_EQ(str("GetINIData"), "hello world");
    cmd_GetINIData(0, "Section:\"Run\", Item:\"Mask\", File:\"" + path + "\", CovertType:\"String\"",
                   "GetINIData");
    EXPECT_EQ(str("GetINIData"), "0x1F");
    cmd_GetINIData(0, "Section:\"Run\", Item:\"Nope\", File:\"" + path + "\", Default:\"dflt\"",
                   "GetINIData");
    EXPECT_EQ(str("GetINIData"), "dflt");
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, IniConversions) {
    const std::string path = file("conv.ini");
    write(path, "[LogData]\nnum=12abc\nhex=ff\nbig=99999999999\n");
    const std::string f = ", File:\"" + path + "\"";
    cmd_GetINIData(0, "Item:\"num\"" + f + ", CovertType:\"Integer\"", "v");
    EXPECT_EQ(result("v")->type, ValueType::Decimal);
    EXPECT_EQ(num("v"), 12);
    cmd_GetINIData(0, "Item:\"hex\"" + f + ", CovertType:\"hex\"", "v");
    EXPECT_EQ(result("v")->type, ValueType::Hex);
    EXPECT_EQ(num("v"), 255);
    cmd_GetINIData(0, "Item:\"big\"" + f + ", CovertType:\"Integer\"", "v");
    EXPECT_EQ(num("v"), INT32_MAX);
    cmd_GetINIData(0, "Item:\"hex\"" + f, "v");  // AUTO: "ff" is no literal
    EXPECT_EQ(str("v"), "ff");
}

TEST_F(UtilityTest, IniUtf16FileStaysUtf16) {
    const std::string path = file("wide.ini");
    std::string raw = "\xFF\xFE";
    for (char c : std::string("[S]\r\nk=v\r\n")) raw += std::string{c, '\0'};
    write(path, raw);
    cmd_GetINIData(0, "Section:\"S\", Item:\"k\", File:\"" + path + "\"", "v");
    EXPECT_EQ(str("v"), "v");
    cmd_SetINIData(0, "Section:\"S\", Item:\"k\", Output:\"w\", File:\"" + path + "\"", "SetINIData");
    std::string expect = "\xFF\xFE";
    for (char c : std::string("[S]\r\nk=w\r\n")) expect += std::string{c, '\0'};
    EXPECT_EQ(read(path), expect);
}

TEST_F(UtilityTest, GetINIDataMissingFile) {
    const std::string path = file("absent.ini");
    slot().vars.set_string("GetINIData", "stale");
    cmd_GetINIData(0, "Item:\"x\", File:\"" + path + "\"", "GetINIData");
    EXPECT_EQ(slot().error_code, kErrFileOpen);
    // The detail names the file as the test wrote it: with this system's own separators.
    EXPECT_NE(slot().error_text.find(path), std::string::npos) << slot().error_text;
    EXPECT_EQ(str("GetINIData"), "stale");
}

TEST_F(UtilityTest, GetINIDataStopsAtAnEmptyValue) {
    const std::string path = file("stop.ini");
    write(path, "[LogData]\nx=1\n[Other]\nx=2\n");
    cmd_GetINIData(0, "Item:\"x\", File:\"" + path + "\", Default:, Section:\"Other\"", "v");
    EXPECT_EQ(num("v"), 1);
}

TEST_F(UtilityTest, IniDefaultExtensionAndSaveFolder) {
    // A relative name in save mode goes to the program's folder.
    std::string name = "sub/Cfg";
    ASSERT_EQ(resolve_file_argument(0, name, true, "ini", "INI File"), FileResolve::Chosen);
    EXPECT_EQ(native_path(name), path_join(path_folder(own_program_path()), "sub/Cfg.ini"));

    std::string absolute = file("abs");
    ASSERT_EQ(resolve_file_argument(0, absolute, true, "ini", "INI File"), FileResolve::Chosen);
    EXPECT_EQ(native_path(absolute), native_path(file("abs.ini")));
    // Open mode: an absolute name must exist.
    absolute = file("abs");
    EXPECT_EQ(resolve_file_argument(0, absolute, false, "ini", "ini File"), FileResolve::NotFound);
    write(file("abs.ini"), "");
    absolute = file("abs");
    EXPECT_EQ(resolve_file_argument(0, absolute, false, "ini", "ini File"), FileResolve::Chosen);
    std::string with_ext = file("abs.ini");
    EXPECT_EQ(resolve_file_argument(0, with_ext, false, "txt", "ini File"), FileResolve::Chosen);
    EXPECT_EQ(native_path(with_ext), native_path(file("abs.ini")));
    // Open mode: a relative name goes through the script file search.
    std::string relative = "tamblor_no_such_file_here";
    EXPECT_EQ(resolve_file_argument(0, relative, false, "ini", "ini File"), FileResolve::NotFound);
    slot().script_path = file("script.scpt");
    relative = "abs";
    EXPECT_EQ(resolve_file_argument(0, relative, false, "ini", "ini File"), FileResolve::Chosen);
    EXPECT_EQ(native_path(relative), native_path(file("abs.ini")));
}

TEST_F(UtilityTest, EmptyFileNameIsCancelledWithoutATerminal) {
    if (::isatty(STDIN_FILENO)) GTEST_SKIP() << "standard input is a terminal";
    app().jobs[0].running = true;
    std::string name;
    EXPECT_EQ(resolve_file_argument(0, name, false, "ini", "ini File"), FileResolve::Cancelled);
    EXPECT_TRUE(name.empty());
    auto lines = job_log_lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "---- Cancel Command ----");
    EXPECT_EQ(lines.back().colour, colour::kCyan);

    // The INI command then stops the job.
    cmd_GetINIData(0, "Item:\"x\", File:\"\"", "GetINIData");
    EXPECT_TRUE(app().jobs[0].cancel.load());
    EXPECT_EQ(result("GetINIData"), nullptr);
    EXPECT_EQ(error_count(), 0);
    app().jobs[0].running = false;
}

TEST_F(UtilityTest, EmptyFileNameUsesTheInstalledPrompt) {
    test::ScopedFakeDialogs dialogs;
    std::string asked_title;
    dialogs->on_file = [&asked_title](const FileRequest& r) -> std::optional<std::string> {
        asked_title = r.title + (r.mode == FileMode::Save ? "/save/" : "/open/") + r.default_extension;
        return "/chosen/file.ini";
    };
    std::string name;
    EXPECT_EQ(resolve_file_argument(0, name, true, "ini", "INI File"), FileResolve::Chosen);
    EXPECT_EQ(name, "/chosen/file.ini");
    EXPECT_EQ(asked_title, "INI File/save/ini");

    // Run style 31 never asks.
    app().run_style = kStyleRemoteConsole;
    asked_title.clear();
    name.clear();
    EXPECT_EQ(resolve_file_argument(0, name, false, "ini", "ini File"), FileResolve::Cancelled);
    EXPECT_TRUE(asked_title.empty());
    // No job running: nothing is written.
    EXPECT_FALSE(logged("Cancel Command"));
}

// ---- files ----

TEST_F(UtilityTest, FileExistAndSize) {
    const std::string path = file("data.bin");
    write(path, std::string(1234, 'x'));
    cmd_IsFileExist(0, "File:\"" + path + "\"", "IsFileExist");
    EXPECT_EQ(num("IsFileExist"), 1);
    cmd_IsFileExist(0, "File:\"" + file("nope") + "\"", "IsFileExist");
    EXPECT_EQ(num("IsFileExist"), 0);
    cmd_GetFileSize(0, "File:\"" + path + "\"", "GetFileSize");
    EXPECT_EQ(num("GetFileSize"), 1234);
    cmd_GetFileSize(0, "File:\"" + file("nope") + "\"", "GetFileSize");
    EXPECT_EQ(num("GetFileSize"), 0);
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, FileRenameMovesTheFile) {
    const std::string from = file("a.txt"), to = file("b.txt");
    write(from, "content");
    cmd_FileRename(0, "File:\"" + from + "\", NewFile:\"" + to + "\"", "FileRename");
    EXPECT_EQ(num("FileRename"), 1);
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(read(to), "content");
    EXPECT_EQ(error_count(), 0);
}

TEST_F(UtilityTest, FileRenameErrors) {
    const std::string from = file("a.txt"), taken = file("taken.txt");
    write(from, "a");
    write(taken, "t");

    cmd_FileRename(0, "File:\"" + file("missing.txt") + "\", NewFile:\"" + file("x.txt") + "\"",
                   "FileRename");
    EXPECT_EQ(slot().error_code, kErrFileOpen);
    EXPECT_NE(slot().error_text.find("missing.txt"), std::string::npos);

    cmd_FileRename(0, "File:\"" + from + "\", NewFile:\"" + taken + "\"", "FileRename");
    EXPECT_EQ(slot().error_code, kErrOutputFile);
    EXPECT_NE(slot().error_text.find("DestFile is Exist."), std::string::npos);
    EXPECT_EQ(read(taken), "t");

    cmd_FileRename(0, "File:\"" + from + "\", NewFile:\"\"", "FileRename");
    EXPECT_EQ(slot().error_code, kErrOutputFile);
    EXPECT_NE(slot().error_text.find("DestFile is Empty."), std::string::npos);

    EXPECT_EQ(result("FileRename"), nullptr);
    EXPECT_TRUE(fs::exists(from));
    EXPECT_EQ(error_count(), 3);
}

TEST_F(UtilityTest, APFileNameIsTheProgramStem) {
    cmd_APFileName(0, "ShowResult:TRUE", "APFileName");
    EXPECT_EQ(str("APFileName"), "tamblor_tests");
    EXPECT_TRUE(logged("tamblor_tests"));
}

}  // namespace
}  // namespace tb
