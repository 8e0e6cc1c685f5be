// The start after a restart: the words of the registration read from the
// sub-parameter list, and what such a start does with its registration and
// the state files when they cannot be used.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/restart_continuation.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "power/reboot_continuation.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "script/run_resume.h"
#include "tests/scoped_environment.h"
#include "tests/test_support.h"

using namespace tb;

TEST(ContinuationWords, TheRegistrationWordsAsTheCommandLineLeavesThem) {
    auto w = continuation_words("DRVHW:17-0-3-0-1-10$FRAME:2/5$REBOOTSYNC:3$ERRSTOP:1$");
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->location, "17-0-3-0-1-10");
    EXPECT_EQ(w->frame, 2u);
    EXPECT_EQ(w->limit, 5u);
    EXPECT_EQ(w->reboot_sync, 3);
    EXPECT_TRUE(w->error_stop);
    // Quotes kept by a shell that does not take them away.
    w = continuation_words("drvhw:\"1-2-3-4-5-6\"$frame:1/0$");
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->location, "1-2-3-4-5-6");
    EXPECT_FALSE(w->error_stop);
}

TEST(ContinuationWords, AnOrdinaryStartIsNoContinuation) {
    EXPECT_FALSE(continuation_words("").has_value());
    EXPECT_FALSE(continuation_words("a=1$b$").has_value());
    EXPECT_FALSE(continuation_words("DRVHW:1-2-3-4-5-6$").has_value());      // no frame
    EXPECT_FALSE(continuation_words("FRAME:1/0$").has_value());              // no disk
    EXPECT_FALSE(continuation_words("DRVHW:1-2-3-4-5-6$FRAME:x/0$").has_value());
    EXPECT_FALSE(continuation_words("DRVHW:1-2-3-4-5-6$FRAME:1$").has_value());
    EXPECT_FALSE(continuation_words("DRVHW:$FRAME:1/0$").has_value());
}

class ContinuationStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = test::fresh_slot();
        startup_store_.emplace(folder_);
        const std::string temp = folder_ + "/tmp";
        std::filesystem::create_directories(fs_path(temp));
        temp_folder_.emplace(fs_path(temp));
    }
    void TearDown() override {
        for (const auto& [name, line] : autorun_values()) remove_autorun_value(name);
        temp_folder_.reset();
        startup_store_.reset();
    }
    std::string folder_;
    std::optional<test::ScopedStartupStore> startup_store_;
    std::optional<test::ScopedTempFolder> temp_folder_;
};

TEST_F(ContinuationStartTest, MissingStateIsRefusedAndTheRegistrationConsumed) {
    set_autorun_value("Tamblor_Reboot3", "whatever");
    set_autorun_value("Other", "kept");
    app().sub_params = "DRVHW:1-2-3-4-5-6$FRAME:3/0$REBOOTSYNC:0$ERRSTOP:0$";
    job_slot(0)->script_path = test::write_file(folder_, "s.scpt", "Print( Output:\"x\" );");
    ContinuationResult r = start_continuation(0);
    EXPECT_EQ(r.start, ContinuationStart::Failed);
    EXPECT_EQ(r.code, -11);
    EXPECT_NE(r.error.find("ScreenAPId3_ScriptInfo.sct"), std::string::npos) << r.error;
    EXPECT_EQ(get_autorun_value("Tamblor_Reboot3"), "");
    EXPECT_EQ(get_autorun_value("Other"), "kept");
    EXPECT_FALSE(resume_pending(0));
}

TEST_F(ContinuationStartTest, StateOfAnotherScriptOrAChangedScriptIsRefused) {
    const std::string script = test::write_file(folder_, "s.scpt", "A = 1;\r\nPCReBoot();\r\nB = 2;");
    JobSlot* js = job_slot(0);
    js->script_path = script;
    js->script = "A = 1;\r\nPCReBoot();\r\nB = 2;";
    js->position = 8;
    SavedRunState s = capture_run_state(0, "1-2-3-4-5-6");
    s.info.reboot_count = 1;
    std::string error;
    ASSERT_TRUE(save_run_state(state_folder(), 1, s, error)) << error;
    app().sub_params = "DRVHW:1-2-3-4-5-6$FRAME:1/0$";

    js->script_path = test::write_file(folder_, "other.scpt", js->script);
    ContinuationResult r = start_continuation(0);
    EXPECT_EQ(r.start, ContinuationStart::Failed);
    EXPECT_NE(r.error.find("belongs to"), std::string::npos) << r.error;

    js->script_path = test::write_file(folder_, "s.scpt", "A = 1;\r\nPCReBoot();\r\nB = 3;");
    r = start_continuation(0);
    EXPECT_EQ(r.start, ContinuationStart::Failed);
    EXPECT_NE(r.error.find("changed"), std::string::npos) << r.error;
    EXPECT_FALSE(resume_pending(0));
}
