#include "script/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "common/text.h"
#include "script/error_policy.h"
#include "script/interpreter.h"
#include "script/job_slot.h"
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
    const CommandEntry* row = find_builtin("FontList");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->handler, &cmd_not_supported);
    row->handler(0, "", "fontlist");
    EXPECT_EQ(js->error_code, kErrNotSupported);
    EXPECT_NE(js->error_text.find("Function Not Support"), std::string::npos) << js->error_text;
    EXPECT_NE(js->error_text.find("fontlist"), std::string::npos) << js->error_text;
    const Value* count = js->vars.find("_ErrorCount");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count->num, 1);
    reset_run_state(0);
}

}  // namespace
}  // namespace tb
