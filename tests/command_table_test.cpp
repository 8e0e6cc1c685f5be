#include "script/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/command_assembly.h"
#include "app/program_commands.h"
#include "app/wiring.h"
#include "common/text.h"
#include "script/error_policy.h"
#include "script/extra_commands.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
#include "tests/command_golden_rows.h"
#include "tests/test_support.h"
#include "ui/output_commands.h"

namespace tb {
namespace {

TEST(CommandTable, RowCountsPerClassAndMask) {
    auto rows = command_table();
    ASSERT_EQ(rows.size(), 229u);
    std::map<StatementClass, int> per_class;
    std::map<uint32_t, int> device_masks;
    for (const auto& r : rows) {
        ++per_class[r.cls];
        if (r.cls == StatementClass::Device)
            ++device_masks[r.mask];
        else
            EXPECT_EQ(r.mask, kMaskAny) << r.name;
    }
    EXPECT_EQ(per_class[StatementClass::Builtin], 89);
    EXPECT_EQ(per_class[StatementClass::Conditional], 1);
    EXPECT_EQ(per_class[StatementClass::Loop], 1);
    EXPECT_EQ(per_class[StatementClass::Device], 138);
    EXPECT_EQ(device_masks[kMaskNvme], 54);
    EXPECT_EQ(device_masks[kMaskAta], 27);
    EXPECT_EQ(device_masks[kMaskAny], 57);
    EXPECT_EQ(device_masks.size(), 3u);
}

TEST(CommandTable, TableOrderAnchors) {
    auto rows = command_table();
    EXPECT_STREQ(rows[0].name, "Exit");
    EXPECT_STREQ(rows[1].name, "If");
    EXPECT_EQ(rows[1].cls, StatementClass::Conditional);
    EXPECT_STREQ(rows[2].name, "While");
    EXPECT_EQ(rows[2].cls, StatementClass::Loop);
    EXPECT_STREQ(rows[3].name, "Break");
    EXPECT_STREQ(rows.back().name, "IsRelayExisted");

    size_t reboot = 0;
    while (reboot < rows.size() && std::string(rows[reboot].name) != "PCReBoot") ++reboot;
    ASSERT_LT(reboot + 1, rows.size());
    EXPECT_STREQ(rows[reboot + 1].name, "Identify");
    EXPECT_EQ(rows[reboot + 1].mask, kMaskNvme);

    // Device rows form one block: NVMe rows, then ATA rows, then any-disk rows,
    // and the second group of built-ins starts with ChangeDisk.
    size_t i = reboot + 1;
    for (uint32_t mask : {kMaskNvme, kMaskAta, kMaskAny})
        while (i < rows.size() && rows[i].cls == StatementClass::Device && rows[i].mask == mask) ++i;
    ASSERT_LT(i, rows.size());
    EXPECT_EQ(i, reboot + 1 + 138);
    EXPECT_STREQ(rows[i].name, "ChangeDisk");
    EXPECT_STREQ(rows[i - 1].name, "MergeFW");
}

TEST(CommandTable, EveryRowIsWellFormed) {
    std::set<std::pair<std::string, uint32_t>> seen;
    for (const auto& r : command_table()) {
        std::string name = r.name;
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 64u) << name;
        ASSERT_NE(r.sample, nullptr) << name;
        std::string sample = r.sample;
        EXPECT_FALSE(sample.empty()) << name;
        EXPECT_LE(utf16_length(sample), 255u) << name;
        // A sample shows a call of its own command.
        EXPECT_NE(sample.find(name + "("), std::string::npos) << name << ": " << sample;
        EXPECT_TRUE(seen.insert({to_lower(name), r.mask}).second) << "duplicate row " << name;
        bool keyword = r.cls == StatementClass::Conditional || r.cls == StatementClass::Loop;
        EXPECT_EQ(r.handler == nullptr, keyword) << name;
    }
}

TEST(CommandTable, NamesAsStored) {
    EXPECT_NE(find_device_command(10, "Identify_DescriptorNamespac"), nullptr);
    EXPECT_EQ(find_device_command(10, "Identify_DescriptorNamespace"), nullptr);
    // No prefix matching.
    EXPECT_EQ(find_builtin("StrL"), nullptr);
    EXPECT_EQ(find_builtin("StrLenX"), nullptr);
}

TEST(CommandTable, ProtocolSelectsTheRow) {
    const CommandEntry* nvme = find_device_command(10, "SMART");
    const CommandEntry* ata = find_device_command(1, "SMART");
    ASSERT_NE(nvme, nullptr);
    ASSERT_NE(ata, nullptr);
    EXPECT_NE(nvme, ata);
    EXPECT_EQ(nvme->mask, kMaskNvme);
    EXPECT_EQ(ata->mask, kMaskAta);
    EXPECT_EQ(find_device_command(17, "SMART"), nvme);
    EXPECT_EQ(find_device_command(2, "SMART"), ata);

    EXPECT_EQ(find_device_command(1, "NVMe"), nullptr);
    EXPECT_EQ(find_device_command(2, "NVMe"), nullptr);
    EXPECT_NE(find_device_command(10, "NVMe"), nullptr);
    EXPECT_EQ(find_device_command(10, "ATA"), nullptr);
    EXPECT_NE(find_device_command(1, "ATA"), nullptr);

    // Any-disk rows for every protocol, even RAID and none chosen yet.
    for (uint8_t p : {0, 1, 2, 10, 17, 20, 21})
        EXPECT_NE(find_device_command(p, "LBARead"), nullptr) << int(p);
    // RAID and flash drives have no family-specific commands.
    EXPECT_EQ(find_device_command(20, "Identify"), nullptr);
    EXPECT_EQ(find_device_command(21, "Identify"), nullptr);
}

TEST(CommandTable, LookupsKeepTheirClasses) {
    EXPECT_EQ(find_builtin("Identify"), nullptr);
    EXPECT_EQ(find_builtin("If"), nullptr);
    EXPECT_EQ(find_builtin("While"), nullptr);
    EXPECT_EQ(find_device_command(10, "StrLen"), nullptr);
    ASSERT_NE(find_builtin("StrLen"), nullptr);
    EXPECT_EQ(find_builtin("StrLen")->cls, StatementClass::Builtin);
}

TEST(CommandTable, CaseInsensitiveLookup) {
    const CommandEntry* row = find_builtin("StrLen");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(find_builtin("strlen"), row);
    EXPECT_EQ(find_builtin("STRLEN"), row);
    EXPECT_EQ(find_builtin("sTrLeN"), row);
    const CommandEntry* dev = find_device_command(12, "GetLogPage_SMART");
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(find_device_command(12, "getlogpage_smart"), dev);
    EXPECT_EQ(find_device_command(12, "GETLOGPAGE_SMART"), dev);
}

TEST(CommandTable, MaskAcceptsOnlyItsProtocols) {
    for (int p = 0; p < 256; ++p) {
        uint8_t proto = static_cast<uint8_t>(p);
        bool ata = p == 1 || p == 2, nvme = p >= 10 && p <= 17;
        EXPECT_TRUE(mask_accepts(255, proto));
        EXPECT_EQ(mask_accepts(241, proto), nvme) << p;
        EXPECT_EQ(mask_accepts(240, proto), ata) << p;
        EXPECT_EQ(mask_accepts(242, proto), ata || nvme) << p;
        for (uint32_t other : {0u, 1u, 2u, 243u, 254u}) EXPECT_FALSE(mask_accepts(other, proto)) << other;
        // Only the low byte of a mask counts.
        EXPECT_EQ(mask_accepts(0x100 | 241, proto), nvme);
        EXPECT_TRUE(mask_accepts(0xFFFFFFFF, proto));
        EXPECT_FALSE(mask_accepts(0x100, proto));
    }
}

TEST(CommandTable, SharedHandlers) {
    EXPECT_EQ(find_builtin("LogFolder")->handler, find_builtin("GetLogFolder")->handler);
    EXPECT_EQ(find_builtin("LogFolder")->handler, &cmd_GetLogFolder);
    EXPECT_EQ(find_device_command(10, "SMART")->handler,
              find_device_command(10, "GetLogPage_SMART")->handler);
    EXPECT_EQ(find_device_command(10, "VSC_Cdump")->handler,
              find_device_command(10, "GetLogPage_Cdump")->handler);
    EXPECT_EQ(find_builtin("GetSocID")->handler, find_builtin("VSC_GetSocID")->handler);
}

TEST(CommandTable, NotSupportedRaisesWithTheName) {
    reset_run_state(0);
    JobSlot* js = job_slot(0);
    js->vars.set_number("_ErrorSkip", 5);
    const CommandEntry* row = find_builtin("GetConfigType");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->handler, &cmd_not_supported);
    row->handler(0, "", "getconfigtype");
    EXPECT_EQ(js->error_code, kErrNotSupported);
    EXPECT_NE(js->error_text.find("Function Not Support"), std::string::npos) << js->error_text;
    EXPECT_NE(js->error_text.find("getconfigtype"), std::string::npos) << js->error_text;
    const Value* count = js->vars.find("_ErrorCount");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->num, 1);
    reset_run_state(0);
}

// The program's table, row by row, against the golden list: order, class,
// mask, and the handler every row runs (so a binding that is lost, doubled or
// moved to another row shows here).
TEST(CommandAssembly, ProgramTableMatchesTheGoldenRows) {
    const AssembledCommands& assembled = program_commands();
    EXPECT_TRUE(assembled.faults.empty()) << [&] {
        std::string all;
        for (const auto& f : assembled.faults) all += f + "\n";
        return all;
    }();
    ASSERT_EQ(assembled.rows.size(), test::kGoldenRows.size());
    for (size_t i = 0; i < assembled.rows.size(); ++i) {
        const CommandEntry& row = assembled.rows[i];
        const test::GoldenRow& want = test::kGoldenRows[i];
        EXPECT_STREQ(row.name, want.name) << "row " << i;
        EXPECT_EQ(row.cls, want.cls) << want.name;
        EXPECT_EQ(row.mask, want.mask) << want.name;
        EXPECT_EQ(row.handler, want.handler) << want.name << " (row " << i << ")";
    }
}

TEST(CommandAssembly, InstalledTableIsTheProgramTable) {
    install_commands();
    auto installed = command_table();
    ASSERT_EQ(installed.size(), program_commands().rows.size());
    EXPECT_EQ(installed.data(), program_commands().rows.data());
}

TEST(CommandAssembly, EveryBindingNamesOneRowOnce) {
    std::map<std::pair<std::string, uint32_t>, int> bound;
    for (BindingList list : program_bindings())
        for (const CommandBinding& b : list) {
            ASSERT_NE(b.handler, nullptr) << b.name;
            ++bound[{b.name, b.mask}];
        }
    for (const auto& [key, count] : bound) EXPECT_EQ(count, 1) << key.first << " mask " << key.second;
    std::set<std::pair<std::string, uint32_t>> rows;
    for (const CommandRow& r : command_rows()) rows.insert({r.name, r.mask});
    for (const auto& [key, count] : bound) EXPECT_TRUE(rows.count(key)) << "no row for " << key.first;
}

void handler_a(int, const std::string&, const std::string&) {}
void handler_b(int, const std::string&, const std::string&) {}

TEST(CommandAssembly, ReportsDoubledStrayAndKeywordBindings) {
    using SC = StatementClass;
    const CommandRow rows[] = {
        {"Ping", SC::Builtin, kMaskAny, "Ping();"},
        {"If", SC::Conditional, kMaskAny, "If( x ){ }"},
        {"Probe", SC::Device, kMaskNvme, "Probe();"},
        {"Probe", SC::Device, kMaskAta, "Probe();"},
        {"Idle", SC::Device, kMaskAny, "Idle();"},
    };
    const CommandBinding first[] = {{"Ping", handler_a}, {"Probe", handler_b, kMaskAta}};
    const CommandBinding second[] = {{"Ping", handler_b}, {"Pong", handler_a}, {"If", handler_a},
                                     {"probe", handler_a, kMaskNvme}};
    const BindingList lists[] = {first, second};
    AssembledCommands out = assemble_commands(rows, lists);

    ASSERT_EQ(out.rows.size(), 5u);
    EXPECT_EQ(out.rows[0].handler, &handler_a);  // the first binding counts
    EXPECT_EQ(out.rows[1].handler, nullptr);     // keywords run no handler
    EXPECT_EQ(out.rows[2].handler, &cmd_not_supported);  // names bind exactly as written
    EXPECT_EQ(out.rows[3].handler, &handler_b);          // the mask picks the family row
    EXPECT_EQ(out.rows[4].handler, &cmd_not_supported);
    EXPECT_STREQ(out.rows[2].sample, "Probe();");

    auto has = [&](const std::string& text) {
        for (const auto& f : out.faults)
            if (f.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("bound twice: Ping"));
    EXPECT_TRUE(has("no row: Pong"));
    EXPECT_TRUE(has("no row: probe"));
    EXPECT_TRUE(has("keyword row bound: If"));
    EXPECT_EQ(out.faults.size(), 4u);
}

// Extra commands (external tools) come after the table: a name the table
// already carries never reaches them, a new name does.
class ExtraCommands : public ::testing::Test {
protected:
    void TearDown() override { install_extra_commands({}); }
};

int g_extra_calls = 0;
void count_extra_call(int slot, const std::string&, const std::string& name) {
    ++g_extra_calls;
    set_result_number(slot, name, 7);
}

TEST_F(ExtraCommands, SearchedOnlyForNamesTheTableLacks) {
    std::vector<ExtraCommand> extras;
    extras.push_back({"Identify", StatementClass::Builtin, kMaskAny, handler_a, "Identify();"});
    extras.push_back({"NVMe", StatementClass::Device, kMaskAny, handler_a, "NVMe();"});
    extras.push_back({"StrLen", StatementClass::Builtin, kMaskAny, handler_a, "StrLen();"});
    extras.push_back({"DiskMark", StatementClass::Device, kMaskAny, handler_b, "DiskMark();"});
    extras.push_back({"IsDiskMarkRunning", StatementClass::Builtin, kMaskAny, nullptr, ""});
    install_extra_commands(std::move(extras));

    EXPECT_EQ(find_builtin("identify"), nullptr);
    EXPECT_EQ(find_device_command(1, "NVMe"), nullptr);  // the table's NVMe row is for NVMe disks only
    ASSERT_NE(find_device_command(10, "NVMe"), nullptr);
    EXPECT_NE(find_device_command(10, "NVMe")->handler, &handler_a);
    ASSERT_NE(find_builtin("StrLen"), nullptr);
    EXPECT_EQ(find_builtin("StrLen")->handler, &cmd_StrLen);

    const CommandEntry* tool = find_device_command(1, "diskmark");
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->handler, &handler_b);
    EXPECT_EQ(find_builtin("DiskMark"), nullptr);
    const CommandEntry* check = find_builtin("IsDiskMarkRunning");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->handler, &cmd_not_supported);
}

TEST_F(ExtraCommands, ReplacedByTheNextInstallAndKeywordsRefused) {
    install_extra_commands({{"ToolA", StatementClass::Builtin, kMaskAny, handler_a, ""}});
    const CommandEntry* a = find_builtin("ToolA");
    ASSERT_NE(a, nullptr);
    install_extra_commands({{"ToolB", StatementClass::Builtin, kMaskAny, handler_b, ""},
                            {"Loop", StatementClass::Loop, kMaskAny, handler_b, ""}});
    EXPECT_EQ(find_builtin("ToolA"), nullptr);
    EXPECT_NE(find_builtin("ToolB"), nullptr);
    EXPECT_EQ(extra_commands().size(), 1u);
    EXPECT_STREQ(a->name, "ToolA");  // an entry found earlier stays readable
}

TEST_F(ExtraCommands, ScriptCallsReachThem) {
    test::fresh_slot();
    g_extra_calls = 0;
    install_extra_commands({{"DiskMark", StatementClass::Builtin, kMaskAny, count_extra_call, ""}});
    test::run("x = DiskMark();");
    EXPECT_EQ(g_extra_calls, 1);
    EXPECT_EQ(test::var("x"), "7");
    EXPECT_EQ(job_slot(0)->error_code, 0);
}

}  // namespace
}  // namespace tb
