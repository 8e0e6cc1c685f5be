// The pieces the online vendor commands share, run in this process: the
// confirmation box and its "no", where records are saved, reading a log in
// chunks, and SetVSCType keeping the selector a disk refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/file_handle.h"
#include "disk/disk_record.h"
#include "disk/nvme_command.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_log_writer.h"
#include "script/job_slot.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "vendor/vendor_confirm.h"
#include "vendor/vsc_chunked_read.h"
#include "vendor/vsc_commands.h"
#include "vendor/vsc_saved_file.h"

namespace tb {
namespace {

class VscCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::fresh_slot();
        job_slot(0)->vars.set_number("_ErrorSkip", 1000);
        saved_target_ = current_target();
        current_target() = DiskRecord{};
        current_target().model_name = "KORVA KV900";
    }
    void TearDown() override {
        current_target() = saved_target_;
        reset_app_context();
    }

    static std::vector<std::string> lines() {
        std::vector<std::string> out;
        for (const LogLine& l : job_log_lines(0)) out.push_back(l.text);
        return out;
    }
    static bool logged(const std::string& text) {
        for (const std::string& l : lines())
            if (l == text) return true;
        return false;
    }

    DiskRecord saved_target_;
};

TEST_F(VscCommandsTest, TheBoxNamesTheModelAndANoWritesTheCancelLine) {
    test::ScopedFakeDialogs dialogs;
    dialogs->on_message = [](const MessageRequest&) { return kAnswerCancel; };
    EXPECT_FALSE(vendor_confirm(0, true, "Do you want Brand New of disk?"));
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_EQ(dialogs->messages[0].text, "Do you want Brand New of disk? \nKORVA KV900");
    EXPECT_EQ(dialogs->messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(logged("---- Cancel Command ----"));

    dialogs->on_message = [](const MessageRequest&) { return kAnswerYes; };
    EXPECT_TRUE(vendor_confirm(0, true, "Do you want kill FW to Recovery Mode?"));
    EXPECT_EQ(dialogs->messages.size(), 2u);
}

TEST_F(VscCommandsTest, WithoutConfirmMsgNobodyIsAsked) {
    test::ScopedFakeDialogs dialogs;
    EXPECT_TRUE(vendor_confirm(0, false, "Do you want virgin FTL of disk?"));
    EXPECT_EQ(dialogs->asked, 0);
    EXPECT_FALSE(logged("---- Cancel Command ----"));
}

TEST_F(VscCommandsTest, ARecordWithoutANameGoesToTheLogFolderWithItsExtension) {
    const auto path = vsc_record_path(0, "", ".drv");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, output_stem(0) + ".drv");
    const std::vector<uint8_t> record(4096, 0x5A);
    const auto written = vsc_save_record(0, "", ".gd", record);
    ASSERT_TRUE(written);
    std::string back;
    ASSERT_TRUE(read_file_bytes(*written, back));
    EXPECT_EQ(back.size(), 4096u);
}

// A reader over a log of `chunks` chunks whose first dword is the count.
struct FakeLog {
    uint32_t chunks = 3;
    int fail_at = -1;
    std::vector<uint32_t> asked;
    ChunkReader reader() {
        return [this](uint32_t index, std::span<uint8_t> chunk) {
            asked.push_back(index);
            if (static_cast<int>(index) == fail_at) return false;
            std::fill(chunk.begin(), chunk.end(), static_cast<uint8_t>(index + 1));
            put_le32(chunk, 0, index == 0 ? chunks : 0);
            return true;
        };
    }
};

uint64_t first_dword(std::span<const uint8_t> chunk0) { return get_le32(chunk0, 0); }

TEST_F(VscCommandsTest, AChunkedLogIsReadChunkAfterChunkAsItsHeaderSays) {
    FakeLog log;
    const auto bytes = read_chunked_log(0, "VSC_Cdump", "Cdump", log.reader(), first_dword);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 3u * kLogChunkBytes);
    EXPECT_EQ(log.asked, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ((*bytes)[kLogChunkBytes * 2 + 100], 3);
    EXPECT_EQ(job_slot(0)->error_code, 0);
}

TEST_F(VscCommandsTest, ABadHeaderOrAFailedChunkEndsTheLog) {
    FakeLog empty;
    empty.chunks = 0;
    EXPECT_FALSE(read_chunked_log(0, "VSC_CriticalLog", "Critical Log", empty.reader(), first_dword));
    EXPECT_EQ(job_slot(0)->error_code, kErrInvalidData);

    FakeLog huge;
    huge.chunks = 0x10000000;
    EXPECT_FALSE(read_chunked_log(0, "VSC_Cdump", "Cdump", huge.reader(), first_dword));
    EXPECT_EQ(huge.asked.size(), 1u) << "a damaged size must not be read";

    FakeLog broken;
    broken.chunks = 5;
    broken.fail_at = 2;
    EXPECT_FALSE(read_chunked_log(0, "VSC_Cdump", "Cdump", broken.reader(), first_dword));
    EXPECT_EQ(broken.asked, (std::vector<uint32_t>{0, 1, 2})) << "nothing is read after a failed chunk";
}

TEST_F(VscCommandsTest, SizesArePrintedInMegabytesWithTwoDecimals) {
    EXPECT_EQ(megabytes_text(0), "0.00 MB");
    EXPECT_EQ(megabytes_text(1572864), "1.50 MB");
    EXPECT_EQ(megabytes_text(4096), "0.00 MB");
    EXPECT_EQ(megabytes_text(3u * 1048576), "3.00 MB");
}

TEST_F(VscCommandsTest, SetVscTypeKeepsTheSelectorTheDiskRefused) {
    current_target().command_set = 192;
    // No disk behind the target: enable vendor mode cannot be sent.
    cmd_SetVSCType(0, "iVSCType:1", "SetVSCType");
    EXPECT_EQ(job_slot(0)->error_code, kErrIoControl);
    EXPECT_EQ(current_target().command_set, 192);

    job_slot(0)->error_code = 0;
    cmd_SetVSCType(0, "iVSCType:7", "SetVSCType");
    EXPECT_EQ(job_slot(0)->error_code, kErrParam);
    EXPECT_EQ(current_target().command_set, 192);

    job_slot(0)->error_code = 0;
    cmd_SetVSCType(0, "iVSCType:0", "SetVSCType");
    EXPECT_EQ(job_slot(0)->error_code, 0) << "selector 0 sends nothing";
    EXPECT_EQ(current_target().command_set, 0);
}

}  // namespace
}  // namespace tb
