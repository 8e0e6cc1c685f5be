// The vendor record codecs: each encoder puts a known field at its known
// offset, each decoder gives back what was encoded, and a decoder refuses
// a record of the wrong size or with a bad signature, magic or count.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "script/error_policy.h"
#include "vendor/record_rdt.h"
#include "vendor/vendor_records.h"

namespace {

using tb::FwConfigItem;

uint32_t dword(const std::vector<uint8_t>& r, size_t at) {
    return static_cast<uint32_t>(r[at] | r[at + 1] << 8 | r[at + 2] << 16 | static_cast<uint32_t>(r[at + 3]) << 24);
}
uint16_t word(const std::vector<uint8_t>& r, size_t at) { return static_cast<uint16_t>(r[at] | r[at + 1] << 8); }
std::string text(const std::vector<uint8_t>& r, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(r.data() + at), n);
}

TEST(VendorRecordDriveInformation, FixedBytesSitWhereTheIdentificationReadsThem) {
    tb::DriveInformation d;
    d.ready = tb::kDriveNotReady;
    d.soc_id = 0x2258;
    d.soc_version = 0xB1;
    d.firmware_source = 2;
    d.rom_version = 0x0102;
    d.nand_id = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0xF2, 0x08, 0x16};
    d.cpu_mhz = 800;
    d.nand_mhz = 1200;
    d.firmware_revision = "FW12";
    d.firmware_base = "BASE7";
    d.original_firmware_name = "orig.bin";
    d.spare_blocks_kept = true;
    const std::vector<uint8_t> r = tb::encode_drive_information(d);
    ASSERT_EQ(r.size(), 4096u);
    EXPECT_EQ(r[0], 0x5A);
    EXPECT_EQ(r[1], 0xFF);
    EXPECT_EQ(word(r, 2), 0x2258);
    EXPECT_EQ(r[4], 0xB1);
    EXPECT_EQ(r[5], 2);
    EXPECT_EQ(word(r, 6), 0x0102);
    EXPECT_EQ(r[8], 0x98);
    EXPECT_EQ(r[15], 0x16);
    EXPECT_EQ(dword(r, 16), 800u);
    EXPECT_EQ(dword(r, 20), 1200u);
    EXPECT_EQ(text(r, 32, 8), std::string("FW12\0\0\0\0", 8));
    EXPECT_EQ(text(r, 40, 5), "BASE7");
    EXPECT_EQ(text(r, 64, 8), "orig.bin");
    EXPECT_EQ(r[96], 1);

    const auto back = tb::decode_drive_information(r);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ready, tb::kDriveNotReady);
    EXPECT_EQ(back->soc_id, 0x2258);
    EXPECT_EQ(back->nand_id, d.nand_id);
    EXPECT_EQ(back->firmware_revision, "FW12");
    EXPECT_EQ(back->original_firmware_name, "orig.bin");
    EXPECT_EQ(back->nand_mhz, 1200u);
    EXPECT_TRUE(back->spare_blocks_kept);
}

TEST(VendorRecordDriveInformation, RefusesAShortRecordOrOneWithoutTheValidByte) {
    std::vector<uint8_t> r = tb::encode_drive_information({});
    EXPECT_FALSE(tb::decode_drive_information(std::span<const uint8_t>(r).first(4095)));
    r[0] = 0x00;
    EXPECT_FALSE(tb::decode_drive_information(r));
}

TEST(VendorRecordFwConfig, ItemsLieAtTheirOffsetsAndTheChecksumIsTheDwordSum) {
    tb::FwConfigDefaults d;
    d.model = "MODEL X";
    d.serial = "SN123";
    d.firmware = "FWREV001";
    d.capacity_gb = 512;
    d.eui64 = 0x1122334455667788ULL;
    std::vector<uint8_t> r = tb::default_fw_config(d);
    ASSERT_EQ(r.size(), 4096u);
    EXPECT_EQ(dword(r, 0), 0x47464346u);
    EXPECT_EQ(text(r, 0, 4), "FCFG");
    EXPECT_EQ(text(r, 16, 8), std::string("MODEL X\0", 8));
    EXPECT_EQ(text(r, 56, 8), "FWREV001");
    EXPECT_EQ(text(r, 64, 5), "SN123");
    EXPECT_EQ(dword(r, 88), 0x55667788u);
    EXPECT_EQ(dword(r, 92), 0x11223344u);
    EXPECT_EQ(dword(r, 104), 512u);

    uint32_t sum = 0;
    for (size_t at = 0; at < 4096; at += 4)
        if (at != 8) sum += dword(r, at);
    EXPECT_EQ(dword(r, 8), sum);
    EXPECT_EQ(tb::fw_config_checksum(r), sum);
    EXPECT_TRUE(tb::fw_config_checksum_ok(r));

    r[200] ^= 1;  // a byte outside every item still counts
    EXPECT_FALSE(tb::fw_config_checksum_ok(r));
    tb::seal_fw_config(r);
    EXPECT_TRUE(tb::fw_config_checksum_ok(r));
}

TEST(VendorRecordFwConfig, TheNamedItemsOfTheDriveCommandsExist) {
    for (const char* name : {"vendor_model_name", "vendor_fw_name", "drv_serial_number", "eui64", "wwn",
                             "vendor_capacity"})
        EXPECT_NE(tb::find_fw_config_item(name), nullptr) << name;
    EXPECT_NE(tb::find_fw_config_item("VENDOR_MODEL_NAME"), nullptr);
    EXPECT_EQ(tb::find_fw_config_item("no_such_item"), nullptr);
    // No two items overlap and all lie after the header, inside the record.
    const auto items = tb::fw_config_items();
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_GE(items[i].offset, 16u);
        EXPECT_LE(items[i].offset + items[i].size, 4096u);
        for (size_t j = i + 1; j < items.size(); ++j)
            EXPECT_TRUE(items[i].offset + items[i].size <= items[j].offset ||
                        items[j].offset + items[j].size <= items[i].offset)
                << items[i].name << " " << items[j].name;
    }
}

TEST(VendorRecordFwConfig, SettingAnItemChecksItsKindAndSize) {
    std::vector<uint8_t> r = tb::default_fw_config();
    const FwConfigItem& model = *tb::find_fw_config_item("vendor_model_name");
    const FwConfigItem& fw = *tb::find_fw_config_item("vendor_fw_name");
    const FwConfigItem& cap = *tb::find_fw_config_item("vendor_capacity");
    const FwConfigItem& eui = *tb::find_fw_config_item("eui64");
    const FwConfigItem& temp = *tb::find_fw_config_item("warning_temperature");

    EXPECT_EQ(tb::set_fw_config_item(r, model, "NEW MODEL"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, model), "NEW MODEL");
    EXPECT_EQ(r[16 + 9], 0) << "the rest of the field is cleared";

    EXPECT_EQ(tb::set_fw_config_item(r, fw, "123456789"), tb::kErrParam) << "9 characters in 8 bytes";
    EXPECT_EQ(tb::set_fw_config_item(r, fw, "12345678"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, fw), "12345678");

    EXPECT_EQ(tb::set_fw_config_item(r, cap, "1024"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, cap), "1024");
    EXPECT_EQ(tb::set_fw_config_item(r, cap, "0x400"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, cap), "1024");
    EXPECT_EQ(tb::set_fw_config_item(r, cap, "12a"), tb::kErrParam);
    EXPECT_EQ(tb::set_fw_config_item(r, cap, ""), tb::kErrParam);
    EXPECT_EQ(tb::set_fw_config_item(r, cap, "4294967296"), tb::kErrParam) << "over 32 bits";
    EXPECT_EQ(tb::set_fw_config_item(r, temp, "256"), tb::kErrParam) << "over 8 bits";
    EXPECT_EQ(tb::set_fw_config_item(r, temp, "255"), 0);

    EXPECT_EQ(tb::set_fw_config_item(r, eui, "00A0B0C0D0E0F001"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, eui), "0x00A0B0C0D0E0F001");
    EXPECT_EQ(tb::set_fw_config_item(r, eui, "0x1"), 0);
    EXPECT_EQ(tb::fw_config_item_text(r, eui), "0x0000000000000001");
    EXPECT_EQ(tb::set_fw_config_item(r, eui, "123456789ABCDEF01"), tb::kErrParam) << "17 digits";
    EXPECT_EQ(tb::set_fw_config_item(r, eui, "XYZ"), tb::kErrParam);
    EXPECT_EQ(tb::set_fw_config_item(r, model, "bad\x01text"), tb::kErrParam);
}

TEST(VendorRecordMpInfo, FixedFieldsAndRoundTrip) {
    tb::ManufacturingInformation m;
    m.tool_version = "MPTOOL 3.1";
    m.serial = "SERIAL9";
    m.model = "MODEL9";
    m.record_length = tb::kMpInfoFullLength;
    m.vendor_word = 0x1234;
    m.soc_id = 0x5678;
    m.capacity_gb = 1024;
    m.die_defects = {3, 0, 7};
    const std::vector<uint8_t> r = tb::encode_manufacturing_information(m);
    EXPECT_EQ(dword(r, 280), 1768u);
    EXPECT_EQ(word(r, 300), 0x1234);
    EXPECT_EQ(word(r, 1582), 0x5678);
    EXPECT_EQ(word(r, 302), 3);
    EXPECT_EQ(dword(r, 512 + 8), 7u);
    const auto back = tb::decode_manufacturing_information(r);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->soc_id, 0x5678);
    EXPECT_EQ(back->vendor_word, 0x1234);
    EXPECT_EQ(back->serial, "SERIAL9");
    EXPECT_EQ(back->die_defects, m.die_defects);

    m.record_length = tb::kMpInfoShortLength;
    EXPECT_TRUE(tb::decode_manufacturing_information(tb::encode_manufacturing_information(m)));
    m.record_length = 1000;
    EXPECT_FALSE(tb::decode_manufacturing_information(tb::encode_manufacturing_information(m)));
    EXPECT_EQ(tb::find_mp_info_item("soc_id")->offset, 1582u);
    EXPECT_EQ(tb::find_mp_info_item("vendor_word")->offset, 300u);
}

TEST(VendorRecordDefects, EntriesRoundTripAndACountPastTheRecordIsRefused) {
    const std::vector<tb::GrownDefect> list = {{1, 2, 3, 0, 0x1234, 2}, {0, 0, 1, 1, 7, 3}};
    std::vector<uint8_t> r = tb::encode_grown_defects(list);
    EXPECT_EQ(text(r, 0, 4), "GDEF");
    EXPECT_EQ(dword(r, 4), 2u);
    EXPECT_EQ(r[16], 1);
    EXPECT_EQ(word(r, 20), 0x1234);
    EXPECT_EQ(r[22], 2);
    const auto back = tb::decode_grown_defects(r);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].block, 0x1234);
    EXPECT_EQ((*back)[1].reason, 3);
    r[4] = 0xFF, r[5] = 0x01;  // 511 entries: one past the record
    EXPECT_FALSE(tb::decode_grown_defects(r));

    const std::vector<tb::DieDefects> dies = {{0, 1, 2, 40}};
    const std::vector<uint8_t> d = tb::encode_die_defects(dies);
    EXPECT_EQ(text(d, 0, 4), "DDEF");
    EXPECT_EQ(dword(d, 20), 40u);
    EXPECT_FALSE(tb::decode_grown_defects(d)) << "a die list is no grown defect list";
    ASSERT_TRUE(tb::decode_die_defects(d));
    EXPECT_EQ(tb::decode_die_defects(d)->at(0).grown_blocks, 40u);
}

TEST(VendorRecordSmallRecords, OtpReconstructionAndVpdRoundTrip) {
    tb::OtpIdentifier o{0x0123456789ABCDEFULL, 0xA1, 0xB2, 3, 4, 5};
    const std::vector<uint8_t> ro = tb::encode_otp(o);
    EXPECT_EQ(dword(ro, 0), 0x89ABCDEFu);
    EXPECT_EQ(dword(ro, 4), 0x01234567u);
    EXPECT_EQ(dword(ro, 8), 0xA1u);
    EXPECT_EQ(tb::decode_otp(ro)->otp_fw, 0xB2u);

    tb::ReconstructionStatus s;
    s.full_recon = 1;
    s.percentage = 42;
    const std::vector<uint8_t> rs = tb::encode_reconstruction(s);
    EXPECT_EQ(rs[0], 0x5A);
    EXPECT_EQ(rs[1], 1);
    EXPECT_EQ(rs[6], 42);
    EXPECT_EQ(tb::decode_reconstruction(rs)->percentage, 42);

    tb::VpdData v{"Maker", "Model 1", "SN1", "PN", "R1"};
    const std::vector<uint8_t> rv = tb::encode_vpd(v);
    EXPECT_EQ(text(rv, 0, 4), "VPD1");
    EXPECT_EQ(text(rv, 16, 5), "Maker");
    EXPECT_EQ(text(rv, 48, 7), "Model 1");
    EXPECT_EQ(text(rv, 88, 3), "SN1");
    EXPECT_EQ(tb::decode_vpd(rv)->serial_number, "SN1");
    EXPECT_FALSE(tb::decode_vpd(std::vector<uint8_t>(4096, 0)));
}

TEST(VendorRecordLogs, EventCriticalAndCrashLogsRoundTripInWholeChunks) {
    std::vector<tb::VendorEvent> events(300);
    for (size_t i = 0; i < events.size(); ++i) events[i] = {i * 1000, static_cast<uint16_t>(i % 5), 0, 7};
    const std::vector<uint8_t> e = tb::encode_event_log(events);
    EXPECT_EQ(e.size(), 8192u) << "32 + 300 * 16 bytes need two chunks";
    EXPECT_EQ(text(e, 0, 4), "EVLG");
    EXPECT_EQ(dword(e, 4), 300u);
    EXPECT_EQ(dword(e, 32 + 16 + 0), 1000u);
    const auto eb = tb::decode_event_log(e);
    ASSERT_TRUE(eb);
    EXPECT_EQ(eb->size(), 300u);
    EXPECT_EQ((*eb)[299].timestamp_ms, 299000u);
    EXPECT_FALSE(tb::decode_event_log(std::span<const uint8_t>(e).first(4096))) << "entries past the data";

    const std::vector<tb::CriticalEntry> crit = {{5, 0xDEAD, 1, "assert x"}};
    const std::vector<uint8_t> c = tb::encode_critical_log(crit);
    EXPECT_EQ(c.size(), 4096u);
    EXPECT_EQ(tb::critical_log_chunks(c), 1u);
    EXPECT_EQ(dword(c, 16 + 8), 0xDEADu);
    EXPECT_EQ(tb::decode_critical_log(c)->at(0).text, "assert x");

    tb::CrashDump dump;
    dump.reason = 3;
    dump.sections.push_back({"regs", std::vector<uint8_t>(100, 0xAB)});
    dump.sections.push_back({"stack", std::vector<uint8_t>(5000, 0xCD)});
    const std::vector<uint8_t> d = tb::encode_crash_dump(dump);
    EXPECT_EQ(d.size() % 4096, 0u);
    EXPECT_EQ(tb::crash_dump_total_bytes(d), d.size());
    EXPECT_EQ(text(d, 0, 4), "CDMP");
    EXPECT_EQ(dword(d, 16 + 16), 784u) << "first section right after the table";
    const auto db = tb::decode_crash_dump(d);
    ASSERT_TRUE(db);
    ASSERT_EQ(db->sections.size(), 2u);
    EXPECT_EQ(db->sections[1].name, "stack");
    EXPECT_EQ(db->sections[1].data, dump.sections[1].data);
    EXPECT_FALSE(tb::decode_crash_dump(std::span<const uint8_t>(d).first(4096))) << "total past the data";
}

TEST(VendorRecordRdt, TestsRoundTrip) {
    tb::RdtResult r;
    r.loops = 10;
    r.error_code = 0x12;
    r.tests = {{"Seq Write", 10, 0, 1, 60}, {"Erase", 10, 0x12, 4, 30}};
    const std::vector<uint8_t> b = tb::encode_rdt_result(r);
    EXPECT_EQ(text(b, 0, 4), "RDT1");
    EXPECT_EQ(dword(b, 12), 0x12u);
    EXPECT_EQ(text(b, 16 + 48, 5), "Erase");
    const auto back = tb::decode_rdt_result(b);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tests[1].error_code, 0x12u);
    EXPECT_EQ(back->tests[0].seconds, 60u);
}

}  // namespace
