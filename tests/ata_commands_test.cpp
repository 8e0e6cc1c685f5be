// The ATA script commands against a scripted machine (a USB-SATA target, so
// every command arrives as a translation CDB).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disk/ata_commands.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/file_argument.h"
#include "script/job_slot.h"
#include "tests/ata_fake_machine.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "common/file_handle.h"
#include "ui/job_log.h"

namespace tb {
namespace {

using Bytes = std::vector<uint8_t>;

std::string g_prompt_answer;
bool g_yes = true;
std::vector<bool> g_ok_answers;
bool g_refound = false;

class AtaCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        saved = current_target();
        DiskRecord& t = current_target();
        t = DiskRecord{};
        t.device_path = t.physical_path = "\\\\.\\PHYSICALDRIVE1";
        t.access_protocol = kProtoUsbAta;
        t.bytes_per_sector = 512;
        t.raw_flag = 1;
        dialogs->on_message = [](const MessageRequest& m) {
            if (m.buttons == MessageButtons::YesNo) return g_yes ? kAnswerYes : kAnswerCancel;
            EXPECT_EQ(m.buttons, MessageButtons::OkCancel);
            EXPECT_EQ(m.text, "RePlug SSD again \r\nthen push [OK] button");
            if (g_ok_answers.empty()) return kAnswerCancel;
            bool a = g_ok_answers.front();
            g_ok_answers.erase(g_ok_answers.begin());
            return a ? kAnswerYes : kAnswerCancel;
        };
        dialogs->on_file = [](const FileRequest&) -> std::optional<std::string> {
            if (g_prompt_answer.empty()) return std::nullopt;
            return g_prompt_answer;
        };
        AtaCommandHooks h;
        h.sleep_ms = [](int, unsigned) {};
        h.refind_target = [] { return g_refound; };
        set_ata_command_hooks(h);
        g_prompt_answer.clear();
        g_yes = true;
        g_ok_answers.clear();
        g_refound = false;
    }
    void TearDown() override {
        set_ata_command_hooks({});
        current_target() = saved;
    }

    int32_t error_code() const { return job_slot(0)->error_code; }
    bool error_says(const std::string& text) const { return job_slot(0)->error_text.find(text) != std::string::npos; }
    bool logged(const std::string& text) const {
        auto lines = job_log_lines(0);
        return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.text == text; });
    }
    // The contents of the hex files attached so far in colour `c`.
    std::vector<std::string> hex_files(uint32_t c) const {
        std::vector<std::string> out;
        for (const LogLine& l : job_log_lines(0)) {
            if (l.kind != LineKind::HexFile || l.colour != c) continue;
            out.emplace_back();
            EXPECT_TRUE(read_file_bytes(l.value, out.back()));
        }
        return out;
    }

    std::string folder;
    DiskRecord saved;
    test::ScopedFakeDialogs dialogs;
    test::ScopedFakeMachine m;
};

TEST_F(AtaCommands, ReadPicksTheCommandByLbaWidthAndMode) {
    m->on_scsi = [](ScsiPassThrough& r) {
        std::fill(r.data.begin(), r.data.end(), uint8_t{0x3C});
        return DeviceStatus::Ok;
    };
    cmd_ATARead(0, "LBA:0x10000000, SectorCount:1, ATA_RMode:\"Normal\"", "ATARead");
    EXPECT_EQ(m->scsi.at(0).req.cdb[7], 0x10);  // LBA bits 24-31 of the 16-byte CDB
    cmd_ATARead(0, "LBA:0x0FFFFFFF, SectorCount:2, ATA_RMode:\"PIO\"", "ATARead");
    const auto& c = m->scsi.at(1).req.cdb;
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 10), (Bytes{0xA1, 0x08, 0x0E, 0, 2, 0xFF, 0xFF, 0xFF, 0x4F, 0x20}));
    cmd_ATARead(0, "LBA:5, SectorCount:1, ATA_RMode:\"DMA\"", "ATARead");
    cmd_ATARead(0, "LBA:0x100000000, SectorCount:1, ATA_RMode:\"Multiple\"", "ATARead");
    EXPECT_EQ(m->translated_commands(), (Bytes{0x24, 0x20, 0xC8, 0x29}));
    auto files = hex_files(colour::kOlive);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[1], std::string(1024, '\x3C'));

    m->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
    cmd_ATARead(0, "LBA:0, SectorCount:1, ATA_RMode:\"Normal\"", "ATARead");
    EXPECT_EQ(error_code(), -3);
    EXPECT_EQ(hex_files(colour::kOlive).size(), 4u);
}

TEST_F(AtaCommands, WriteSendsThePatternWithSectorStamps) {
    cmd_ATAWrite(0, "LBA:0x10000001, SectorCount:2, WritePattern:0x55AA33CC, MarkSectorHeader:1, ATA_WMode:\"DMA\"",
                 "ATAWrite");
    const auto& w = m->scsi.at(0);
    EXPECT_EQ(w.req.cdb[14], 0x35);
    ASSERT_EQ(w.data.size(), 1024u);
    EXPECT_EQ(Bytes(w.data.begin(), w.data.begin() + 12), (Bytes{0, 0, 0, 0, 0x10, 0, 0, 1, 0x55, 0xAA, 0x33, 0xCC}));
    EXPECT_EQ(Bytes(w.data.begin() + 512, w.data.begin() + 520), (Bytes{0, 0, 0, 0, 0x10, 0, 0, 2}));
    EXPECT_EQ(hex_files(colour::kOrange), std::vector<std::string>{std::string(w.data.begin(), w.data.end())});

    cmd_ATAWrite(0, "LBA:8, SectorCount:1, WritePattern:0x01020304, MarkSectorHeader:0, ATA_WMode:\"x\"", "ATAWrite");
    EXPECT_EQ(Bytes(m->scsi.at(1).data.begin(), m->scsi[1].data.begin() + 8), (Bytes{1, 2, 3, 4, 1, 2, 3, 4}));
    EXPECT_EQ(m->translated_commands(), (Bytes{0x35, 0x30}));
}

TEST_F(AtaCommands, WriteRefusalsAndFua) {
    cmd_ATAWrite(0, "LBA:100, SectorCount:1, WritePattern:0, MarkSectorHeader:0, ATA_WMode:\"DMA_Fua\"", "ATAWrite");
    EXPECT_EQ(error_code(), -2);
    EXPECT_TRUE(error_says("FUA only support iSectorS > 0x0FFFFFFF"));
    EXPECT_TRUE(m->scsi.empty());

    for (const char* mode : {"DMA_Fua", "Multiple_Fua"})
        cmd_ATAWrite(0, std::string("LBA:0x10000000, SectorCount:1, WritePattern:0, MarkSectorHeader:0, ATA_WMode:\"") +
                            mode + "\"",
                     "ATAWrite");
    EXPECT_EQ(m->translated_commands(), (Bytes{0x3D, 0xCE}));

    current_target().raw_flag = 0;
    cmd_ATAWrite(0, "LBA:0, SectorCount:1, WritePattern:0, MarkSectorHeader:0, ATA_WMode:\"Normal\"", "ATAWrite");
    EXPECT_EQ(error_code(), -20);
    EXPECT_TRUE(error_says("Use ChangeDisk() or Partition_Delete() then try again."));
    EXPECT_EQ(m->scsi.size(), 2u);

    current_target().raw_flag = 1;
    m->on_scsi = [](ScsiPassThrough&) { return DeviceStatus::Failed; };
    cmd_ATAWrite(0, "LBA:0, SectorCount:1, WritePattern:0, MarkSectorHeader:0, ATA_WMode:\"Normal\"", "ATAWrite");
    EXPECT_EQ(error_code(), -4);
}

std::string ata_args(const char* io, const char* cmd, int count) {
    return std::string("IO:\"") + io + "\", ATACmd:" + cmd + ", Feature:2, SectorCount:" + std::to_string(count) +
           ", Low:1, Mid:0, High:0, ExLow:0, ExMid:0, ExHigh:0";
}

TEST_F(AtaCommands, AtaCommandByIo) {
    app().debug_level = 1;
    cmd_ATA(0, ata_args("IN", "0xEC", 1), "ATA");
    EXPECT_TRUE(logged("ATA( IO:\"IN\", ATACmd:0xEC, Feature:2, SectorCount:1, Low:0x1, Mid:0x0, High:0x0, "
                       "ExLow:0x0, ExMid:0x0, ExHigh:0x0 );"));
    cmd_ATA(0, "a:\"NODATA\", b:0xEF, c:0, d:0, e:0, f:0, g:0, h:0, i:0, j:0", "ATA");  // keys do not matter
    EXPECT_EQ(m->scsi.at(1).req.cdb[1], 0x06);

    const std::string content(1024, '\x5A');
    g_prompt_answer = test::write_file(folder, "out.hex", content);
    cmd_ATA(0, ata_args("OUT", "0x34", 2), "ATA");
    EXPECT_EQ(std::string(m->scsi.at(2).data.begin(), m->scsi[2].data.end()), content);
    EXPECT_EQ(hex_files(colour::kOlive).size(), 1u);
    EXPECT_EQ(hex_files(colour::kOrange), std::vector<std::string>{content});

    cmd_ATA(0, ata_args("SIDEWAYS", "0xEF", 0), "ATA");
    EXPECT_EQ(error_code(), -2);
    EXPECT_TRUE(error_says("IO Parameter Error "));
    EXPECT_EQ(m->scsi.size(), 3u);
}

TEST_F(AtaCommands, AtaOutRefusals) {
    current_target().raw_flag = 0;
    g_prompt_answer = test::write_file(folder, "out.hex", std::string(512, 'x'));
    cmd_ATA(0, ata_args("OUT", "0x34", 1), "ATA");
    EXPECT_EQ(error_code(), -20);
    EXPECT_TRUE(m->scsi.empty());
    cmd_ATA(0, ata_args("OUT_NOSHOW", "0x92", 1), "ATA");  // other commands may write
    EXPECT_EQ(m->translated_commands(), Bytes{0x92});

    g_prompt_answer.clear();  // no file chosen: the job stops quietly
    job_slot(0)->error_code = 0;
    cmd_ATA(0, ata_args("OUT", "0x92", 1), "ATA");
    EXPECT_TRUE(cancel_requested(0));
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(m->scsi.size(), 1u);
}

TEST_F(AtaCommands, SmartOfflineAndPowerCommands) {
    cmd_SMART_Offline(0, "SelfTest:\"Sometime\"", "SMART_Offline");
    EXPECT_EQ(error_code(), -2);
    EXPECT_TRUE(error_says("SelfTest Parameter Error "));
    EXPECT_TRUE(m->opened.empty());

    cmd_SMART_Offline(0, "SelfTest:\"Extend\"", "SMART_Offline");
    const auto& c = m->scsi.at(0).req.cdb;
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 10), (Bytes{0xA1, 0x06, 0, 0xD4, 0, 0x02, 0x4F, 0xC2, 0x40, 0xB0}));
    cmd_STBI(0, "", "STBI");
    cmd_IDLE(0, "", "IDLE");
    cmd_ata_FWActive(0, "", "FWActive");
    EXPECT_EQ(m->translated_commands(), (Bytes{0xB0, 0xE0, 0xE1, 0x92}));
    EXPECT_EQ(m->scsi.at(3).req.cdb[3], 0x0F);

    m->scsi.clear();
    m->on_scsi = [](ScsiPassThrough& r) { return r.cdb[9] == 0xE1 ? DeviceStatus::Ok : DeviceStatus::Failed; };
    cmd_STBI(0, "", "STBI");
    EXPECT_EQ(error_code(), -1);
    EXPECT_EQ(m->translated_commands(), (Bytes{0xE0, 0xE1}));
    cmd_ata_FWActive(0, "", "FWActive");
    EXPECT_EQ(error_code(), -6);
}

TEST(AtaBixImage, RestoreUndoesThePackerAndReversesTheBytes) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string packed = all;
    scramble_bix_image(packed);
    Bytes sorted(packed.begin(), packed.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, Bytes(all.begin(), all.end()));  // a true substitution: every byte value once
    EXPECT_NE(packed, all);
    std::string last(1, all.back());
    scramble_bix_image(last);
    EXPECT_EQ(packed.front(), last.front());  // reversed order
    restore_bix_image(packed);
    EXPECT_EQ(packed, all);
}

std::string fw_image(size_t size) {
    std::string image(size, '\0');
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<char>(i % 251);
    return image;
}

TEST_F(AtaCommands, UpdateFirmwareChunks) {
    const std::string image = fw_image(70000);
    const std::string path = test::write_file(folder, "fw.bin", image);
    cmd_ata_UpdateFW(0, "File:\"" + path + "\", ActiveNow:0", "UpdateFW");
    EXPECT_EQ(error_code(), 0);
    ASSERT_EQ(m->scsi.size(), 3u);  // no activation
    // count, LBA 0-7 (0), LBA 8-23 = offset in blocks
    const Bytes expected[] = {{64, 0, 0, 0}, {64, 0, 64, 0}, {9, 0, 128, 0}};
    std::string sent;
    for (size_t i = 0; i < 3; ++i) {
        const auto& r = m->scsi[i];
        EXPECT_EQ(Bytes(r.req.cdb.begin() + 3, r.req.cdb.begin() + 10), (Bytes{3, expected[i][0], expected[i][1],
                                                                                expected[i][2], expected[i][3], 0x40, 0x92}));
        sent.append(r.data.begin(), r.data.end());
    }
    EXPECT_EQ(sent, image + std::string(9 * 512 - 4464, '\0'));  // the tail padded to a block
    EXPECT_TRUE(logged("FW File : " + path));
    EXPECT_TRUE(logged("Update Progress: 100%"));

    // A failed last chunk still counts as downloaded; an earlier one does not.
    for (int failing : {3, 2}) {
        int chunk = 0;
        m->on_scsi = [&](ScsiPassThrough&) { return ++chunk == failing ? DeviceStatus::Failed : DeviceStatus::Ok; };
        cmd_ata_UpdateFW(0, "File:\"" + path + "\"", "UpdateFW");
        EXPECT_EQ(error_code(), failing == 3 ? 0 : -5);
        EXPECT_EQ(chunk, failing);
    }

    std::string stored = fw_image(512);
    scramble_bix_image(stored);
    m->scsi.clear();
    m->on_scsi = nullptr;
    cmd_ata_UpdateFW(0, "File:\"" + test::write_file(folder, "fw.BIX", stored) + "\"", "UpdateFW");
    EXPECT_EQ(std::string(m->scsi.at(0).data.begin(), m->scsi[0].data.end()), fw_image(512));
}

TEST_F(AtaCommands, UpdateFirmwareActivationAndWait) {
    const std::string path = test::write_file(folder, "fw.bin", fw_image(512));
    current_target().size_b = 1953525168ULL * 512;
    m->on_scsi = [](ScsiPassThrough& r) {
        if (r.cdb[9] == 0xEC) std::copy_n("\xB0\x6D\x70\x74", 4, r.data.begin() + 200);  // 1000 GB
        return DeviceStatus::Ok;
    };
    g_refound = true;
    cmd_ata_UpdateFW(0, "File:\"" + path + "\", ActiveNow:1", "UpdateFW");
    EXPECT_EQ(error_code(), 0);
    EXPECT_EQ(m->translated_commands(), (Bytes{0x92, 0x92, 0xEC}));
    EXPECT_TRUE(logged("Wait FW Active..."));

    g_refound = false;  // never back: -85
    cmd_ata_UpdateFW(0, "File:\"" + path + "\", ActiveNow:1", "UpdateFW");
    EXPECT_EQ(error_code(), -85);

    m->scsi.clear();
    m->on_scsi = [](ScsiPassThrough& r) { return r.cdb[3] == 0x0F ? DeviceStatus::Failed : DeviceStatus::Ok; };
    cmd_ata_UpdateFW(0, "File:\"" + path + "\", ActiveNow:1", "UpdateFW");
    EXPECT_EQ(error_code(), -6);
    EXPECT_EQ(m->translated_commands(), (Bytes{0x92, 0x92}));
}

// IDENTIFY answers whose word 128 says frozen for the first `frozen_reads` reads (-1: always).
void answer_erase(test::ScopedFakeMachine& m, int frozen_reads, uint8_t fail_command = 0) {
    m->on_scsi = [frozen_reads, fail_command](ScsiPassThrough& r) mutable {
        if (r.cdb[9] == 0xEC) {
            r.data[256] = frozen_reads != 0 ? 0x09 : 0x01;
            if (frozen_reads > 0) --frozen_reads;
        }
        return r.cdb[9] == fail_command ? DeviceStatus::Failed : DeviceStatus::Ok;
    };
}

TEST_F(AtaCommands, SecureEraseSequence) {
    answer_erase(m, 0);
    cmd_ata_SecurErase(0, "ConfirmMsg:1", "SecurErase");
    EXPECT_EQ(m->translated_commands(), (Bytes{0xEC, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6}));
    for (size_t i : {1u, 2u, 4u, 6u}) {  // the password block: four printable characters, then zeros
        const Bytes& d = m->scsi.at(i).data;
        ASSERT_EQ(d.size(), 512u);
        EXPECT_TRUE(std::all_of(d.begin(), d.begin() + 4, [](uint8_t b) { return b > 0x20 && b < 0x7F; }));
        EXPECT_TRUE(std::all_of(d.begin() + 4, d.end(), [](uint8_t b) { return b == 0; }));
    }
    EXPECT_TRUE(m->scsi[3].data.empty());
    EXPECT_TRUE(logged("Secure Erase OK"));

    const std::pair<uint8_t, int> steps[] = {{0xF1, -60}, {0xF2, -61}, {0xF3, -62}, {0xF4, -63}, {0xF5, -64}, {0xF6, -65}};
    for (auto [command, code] : steps) {
        m->scsi.clear();
        answer_erase(m, 0, command);
        cmd_ata_SecurErase(0, "ConfirmMsg:0", "SecurErase");
        EXPECT_EQ(error_code(), code);
        EXPECT_EQ(m->translated_commands().back(), command);
    }
}

TEST_F(AtaCommands, SecureEraseBoxesAndPartitions) {
    g_yes = false;
    cmd_ata_SecurErase(0, "ConfirmMsg:1", "SecurErase");
    EXPECT_TRUE(logged("---- Cancel Command ----"));
    EXPECT_TRUE(m->scsi.empty());

    answer_erase(m, 2);  // frozen twice, thawed after two OKs
    g_ok_answers = {true, true};
    cmd_ata_SecurErase(0, "ConfirmMsg:0", "SecurErase");
    EXPECT_EQ(m->translated_commands().size(), 9u);

    m->scsi.clear();
    answer_erase(m, -1);
    g_ok_answers = {false};
    cmd_ata_SecurErase(0, "ConfirmMsg:0", "SecurErase");
    EXPECT_TRUE(logged("Secure Erase Cancel"));
    EXPECT_EQ(m->translated_commands(), Bytes{0xEC});

    m->scsi.clear();
    answer_erase(m, 0);
    current_target().raw_flag = 0;  // partitions cannot be removed in this build
    cmd_ata_SecurErase(0, "ConfirmMsg:0", "SecurErase");
    EXPECT_EQ(error_code(), -20);
    EXPECT_EQ(m->translated_commands(), Bytes{0xEC});
}

}  // namespace
}  // namespace tb
