// The saved run state of a restart: the exact bytes of the block and
// variable records, the versioned and checked slot image, the five files
// written and read back, and the refusal of cut, damaged or foreign files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "script/job_slot.h"
#include "script/run_resume.h"
#include "script/script_info_image.h"
#include "script/state_files.h"
#include "script/state_records.h"
#include "tests/temp_dir.h"

using namespace tb;

namespace {

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint64_t u64_at(const std::vector<uint8_t>& b, size_t at) {
    return u32_at(b, at) | static_cast<uint64_t>(u32_at(b, at + 4)) << 32;
}
uint16_t u16_at(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void write_bytes(const std::string& path, const std::vector<uint8_t>& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()),
                                                                 static_cast<std::streamsize>(b.size()));
}

BlockList loop_in_if() {
    BlockList l;
    l.push(BlockKind::IfDo);
    l.push(BlockKind::IfSkip);
    l.push(BlockKind::LoopDo, 0x1234);
    return l;
}

SavedRunState sample_state() {
    SavedRunState s;
    s.vars.set_number("_ErrorCheck", 1);
    s.vars.set_number("Count", -7);
    s.vars.set_number("Mask", 0x7FFF0000FFFFll, ValueType::Hex);
    s.vars.set_string("Name", "d\xc3\xa9j\xc3\xa0 vu \xe2\x82\xac");  // non-ASCII, UTF-16 units
    s.vars.set("Unset", Value{});
    s.main_list = loop_in_if();
    s.sub_list = loop_in_if();
    s.loop_list.push(BlockKind::LoopDo);
    s.loop_list.top()->depth = 2;  // the depth of its MainList entry, not its position
    s.info.script_path = "/w/job.scpt";
    s.info.disk_location = "17-0-3-0-1-10";
    s.info.script_size = 400;
    s.info.script_digest = text_digest("text");
    s.info.resume_position = 321;
    s.info.loop_start = 200;
    s.info.break_level = -1;
    s.info.loop_depth = 2;
    s.info.reboot_count = 3;
    s.info.reboot_limit = 9;
    s.info.output_counter = 12;
    return s;
}

void expect_same_vars(const VarList& a, const VarList& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        const Variable &x = a.variables()[i], &y = b.variables()[i];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.value.type, y.value.type) << x.name;
        EXPECT_EQ(x.value.num, y.value.num) << x.name;
        EXPECT_EQ(x.value.str, y.value.str) << x.name;
    }
}

void expect_same_list(const BlockList& a, const BlockList& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a.entries()[i].depth, b.entries()[i].depth) << i;
        EXPECT_EQ(a.entries()[i].kind, b.entries()[i].kind) << i;
        EXPECT_EQ(a.entries()[i].resume, b.entries()[i].resume) << i;
    }
}

}  // namespace

TEST(StateRecordBytes, BlockRecordsAreTwentyBytesOfLinkDepthKindAndResume) {
    std::vector<uint8_t> b = encode_block_list(loop_in_if());
    ASSERT_EQ(b.size(), 3u * kBlockRecordSize);
    EXPECT_EQ(u64_at(b, 0), 0u);  // link data
    EXPECT_EQ(u32_at(b, 8), 0u);
    EXPECT_EQ(u32_at(b, 12), 1u);
    EXPECT_EQ(u32_at(b, 40 + 8), 2u);       // third entry: depth 2
    EXPECT_EQ(u32_at(b, 40 + 12), 3u);      // LOOPDO
    EXPECT_EQ(u32_at(b, 40 + 16), 0x1234u);  // resume position
    EXPECT_EQ(b[40 + 16], 0x34);             // little-endian
}

TEST(StateRecordBytes, VariableRecordsHoldUtf16NameTypeNumberAndString) {
    VarList v;
    v.set_number("Count", -2);
    v.set_string("Name", "\xe2\x82\xac" "1");
    v.set_number("Mask", 0xAB, ValueType::Hex);
    std::vector<uint8_t> b = encode_var_list(v);
    ASSERT_EQ(b.size(), 3u * 2192);
    // Count: name in UTF-16 with its terminator, type 1, padding, the number.
    EXPECT_EQ(u16_at(b, 0), 'C');
    EXPECT_EQ(u16_at(b, 8), 't');
    EXPECT_EQ(u16_at(b, 10), 0);
    EXPECT_EQ(u32_at(b, 128), 1u);
    EXPECT_EQ(u32_at(b, 132), 0u);
    EXPECT_EQ(u64_at(b, 136), static_cast<uint64_t>(-2));
    EXPECT_EQ(u16_at(b, 144), 0);  // no string for a number
    // Name: type 2, the string in UTF-16 (the euro sign is one unit).
    const size_t r2 = 2192;
    EXPECT_EQ(u32_at(b, r2 + 128), 2u);
    EXPECT_EQ(u16_at(b, r2 + 144), 0x20AC);
    EXPECT_EQ(u16_at(b, r2 + 146), '1');
    EXPECT_EQ(u16_at(b, r2 + 148), 0);
    // Mask keeps its hex type.
    EXPECT_EQ(u32_at(b, 2 * r2 + 128), 3u);
    EXPECT_EQ(u64_at(b, 2 * r2 + 136), 0xABu);
}

TEST(StateRecordBytes, LongestNameAndStringKeepTheirTerminators) {
    VarList v;
    v.set_string(std::string(63, 'n'), std::string(1023, 's'));
    std::vector<uint8_t> b = encode_var_list(v);
    EXPECT_EQ(u16_at(b, 2 * 62), 'n');
    EXPECT_EQ(u16_at(b, 2 * 63), 0);
    EXPECT_EQ(u16_at(b, 144 + 2 * 1022), 's');
    EXPECT_EQ(u16_at(b, 144 + 2 * 1023), 0);
    VarList back;
    std::string error;
    ASSERT_TRUE(decode_var_list(b, back, error)) << error;
    expect_same_vars(v, back);
}

TEST(StateRecordRefusal, CutOrMalformedRecordsAreRefusedAndLeaveTheTargetAlone) {
    std::string error;
    VarList vars;
    vars.set_number("Keep", 1);
    std::vector<uint8_t> b = encode_var_list(sample_state().vars);
    EXPECT_FALSE(decode_var_list(std::span(b).first(b.size() - 1), vars, error));
    EXPECT_NE(error.find("whole"), std::string::npos) << error;
    std::vector<uint8_t> unterminated = b;
    for (size_t i = 0; i < 128; i += 2) unterminated[i] = 'x';
    EXPECT_FALSE(decode_var_list(unterminated, vars, error));
    std::vector<uint8_t> bad_type = b;
    bad_type[128] = 9;
    EXPECT_FALSE(decode_var_list(bad_type, vars, error));
    std::vector<uint8_t> no_name = b;
    no_name[0] = no_name[1] = 0;
    EXPECT_FALSE(decode_var_list(no_name, vars, error));
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_NE(vars.find("Keep"), nullptr);

    BlockList list = loop_in_if();
    std::vector<uint8_t> blocks = encode_block_list(list);
    EXPECT_FALSE(decode_block_list(std::span(blocks).first(19), list, error));
    blocks[12] = 5;
    EXPECT_FALSE(decode_block_list(blocks, list, error));
    EXPECT_EQ(list.size(), 3u);
}

TEST(ScriptInfoFile, RoundTripsAndRefusesForeignDamagedOrCutImages) {
    const ScriptInfoImage in = sample_state().info;
    std::vector<uint8_t> b = encode_script_info(in);
    ScriptInfoImage out;
    std::string error;
    ASSERT_TRUE(decode_script_info(b, out, error)) << error;
    EXPECT_EQ(out.script_path, in.script_path);
    EXPECT_EQ(out.disk_location, in.disk_location);
    EXPECT_EQ(out.resume_position, 321u);
    EXPECT_EQ(out.break_level, -1);
    EXPECT_EQ(out.reboot_count, 3u);
    EXPECT_EQ(out.reboot_limit, 9u);

    std::vector<uint8_t> foreign = b;
    std::memcpy(foreign.data(), "NOTSTATE", 8);
    EXPECT_FALSE(decode_script_info(foreign, out, error));
    EXPECT_NE(error.find("not a saved run state"), std::string::npos);
    std::vector<uint8_t> newer = b;
    newer[8] = 2;
    EXPECT_FALSE(decode_script_info(newer, out, error));
    EXPECT_NE(error.find("version 2"), std::string::npos) << error;
    std::vector<uint8_t> damaged = b;
    damaged[20] ^= 1;
    EXPECT_FALSE(decode_script_info(damaged, out, error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    for (size_t n : {size_t{0}, size_t{15}, b.size() - 9, b.size() - 1})
        EXPECT_FALSE(decode_script_info(std::span(b).first(n), out, error)) << n;
    std::vector<uint8_t> longer = b;
    longer.push_back(0);
    EXPECT_FALSE(decode_script_info(longer, out, error));
}

TEST(ScriptInfoFile, ABodyWithAnOverlongTextIsRefusedNotReadPastTheEnd) {
    // A well-formed header and digest around a body whose first text claims
    // more bytes than the body holds.
    ScriptInfoImage in;
    std::vector<uint8_t> b = encode_script_info(in);
    b[16] = 0xFF;
    b[17] = 0x0F;  // 4095 bytes of script path
    uint64_t digest = text_digest(std::span(b).first(b.size() - 8));
    for (int i = 0; i < 8; ++i) b[b.size() - 8 + i] = static_cast<uint8_t>(digest >> (8 * i));
    ScriptInfoImage out;
    std::string error;
    EXPECT_FALSE(decode_script_info(b, out, error));
    EXPECT_NE(error.find("malformed"), std::string::npos) << error;
}

class StateFiles : public ::testing::Test {
protected:
    test::TempFolder tmp_{"tamblor-state"};
    std::string folder() const { return tmp_.dir().string(); }
};

TEST_F(StateFiles, FiveFilesAreNamedByFrameAndReadBackAsSaved) {
    const SavedRunState s = sample_state();
    std::string error;
    ASSERT_TRUE(save_run_state(folder(), 4, s, error)) << error;
    for (const char* name : {"VarList.sct", "MainList.sct", "SubList.sct", "LoopList.sct", "ScriptInfo.sct"})
        EXPECT_TRUE(std::filesystem::exists(tmp_.dir() / (std::string("ScreenAPId4_") + name))) << name;
    EXPECT_EQ(std::filesystem::file_size(tmp_.dir() / "ScreenAPId4_VarList.sct"), 5u * 2192);
    EXPECT_EQ(std::filesystem::file_size(tmp_.dir() / "ScreenAPId4_MainList.sct"), 3u * 20);
    EXPECT_EQ(std::filesystem::file_size(tmp_.dir() / "ScreenAPId4_LoopList.sct"), 20u);
    std::vector<std::string> leftovers;
    for (const auto& e : std::filesystem::directory_iterator(tmp_.dir()))
        if (e.path().extension() != ".sct") leftovers.push_back(e.path().filename().string());
    EXPECT_TRUE(leftovers.empty()) << leftovers.front();

    auto back = load_run_state(folder(), 4, error);
    ASSERT_TRUE(back.has_value()) << error;
    expect_same_vars(s.vars, back->vars);
    expect_same_list(s.main_list, back->main_list);
    expect_same_list(s.sub_list, back->sub_list);
    expect_same_list(s.loop_list, back->loop_list);
    EXPECT_EQ(back->info.loop_start, 200u);
    EXPECT_EQ(back->info.output_counter, 12u);

    remove_run_state(folder(), 4);
    EXPECT_TRUE(std::filesystem::is_empty(tmp_.dir()));
}

TEST_F(StateFiles, AMissingOrCutFileIsNamedInTheRefusal) {
    std::string error;
    ASSERT_TRUE(save_run_state(folder(), 1, sample_state(), error)) << error;
    EXPECT_FALSE(load_run_state(folder(), 2, error).has_value());
    EXPECT_NE(error.find("ScreenAPId2_ScriptInfo.sct"), std::string::npos) << error;

    const std::string vars = state_file_path(folder(), 1, "VarList.sct");
    std::vector<uint8_t> b = file_bytes(vars);
    b.resize(b.size() - 100);
    write_bytes(vars, b);
    EXPECT_FALSE(load_run_state(folder(), 1, error).has_value());
    EXPECT_NE(error.find("VarList.sct"), std::string::npos) << error;

    write_bytes(state_file_path(folder(), 1, "ScriptInfo.sct"), {'g', 'a', 'r', 'b', 'a', 'g', 'e'});
    EXPECT_FALSE(load_run_state(folder(), 1, error).has_value());
    EXPECT_NE(error.find("ScriptInfo.sct"), std::string::npos) << error;
}

TEST(RunResume, CaptureGoesOnAfterTheExecutingStatementAndApplyRestoresTheSlot) {
    JobSlot* js = job_slot(0);
    js->script = "A = 1;\r\nPCReBoot( PowerAction:1 );\r\nPrint(\"after\");";
    js->script_path = "/w/s.scpt";
    js->position = 8;  // the PCReBoot statement
    js->vars.clear();
    js->vars.set_number("A", 1);
    js->main_list.clear();
    js->main_list.push(BlockKind::IfDo);
    js->sub_list = js->main_list;
    js->loop_start = 3;
    restart_counters(0) = {2, 0};
    SavedRunState s = capture_run_state(0, "1-2-3-4-5-6");
    EXPECT_EQ(js->script.substr(s.info.resume_position), "\r\nPrint(\"after\");");
    EXPECT_EQ(s.info.disk_location, "1-2-3-4-5-6");
    EXPECT_EQ(s.info.reboot_count, 2u);

    std::string error;
    EXPECT_TRUE(fits_script(s, js->script, error)) << error;
    EXPECT_FALSE(fits_script(s, js->script + " ", error));
    std::string same_size = js->script;
    same_size[0] = 'B';
    EXPECT_FALSE(fits_script(s, same_size, error));
    EXPECT_NE(error.find("changed"), std::string::npos) << error;

    js->vars.clear();
    js->vars.set_number("_ErrorCheck", 5);
    js->loop_start = 0;
    restart_counters(0) = {};
    s.vars.set_number("_ErrorCheck", 5);
    set_pending_resume(0, s);
    EXPECT_EQ(take_resume_position(0), s.info.resume_position);
    EXPECT_FALSE(resume_pending(0));
    ASSERT_NE(js->vars.find("A"), nullptr);
    EXPECT_EQ(js->vars.find("A")->num, 1);
    EXPECT_EQ(js->vars.find("_ErrorCheck")->num, 1);  // the restored run runs statements
    EXPECT_EQ(js->loop_start, 3u);
    EXPECT_EQ(restart_counters(0).count, 2u);
    EXPECT_EQ(take_resume_position(0), 0u);  // only once
}
