// Questions to the operator go through the installed dialogs, the console
// form answers them from a terminal only, and job events reach the installed
// sink from a real script run.
#include "script/operator_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "disk/ata_commands.h"
#include "disk/disk_commands.h"
#include "disk/disk_record.h"
#include "disk/nvme_commands.h"
#include "disk/target_select.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/file_argument.h"
#include "script/job_slot.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "ui/console_dialogs.h"
#include "ui/console_job_events.h"
#include "script/job_events.h"
#include "ui/job_log.h"
#include "ui/output_commands.h"

namespace tb {
namespace {

bool logged(const std::string& text) {
    auto lines = job_log_lines(0);
    return std::any_of(lines.begin(), lines.end(), [&](const LogLine& l) { return l.text == text; });
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// ---- the four places that ask ----

class OperatorQuestions : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        saved = current_target();
        app().jobs[0].running = true;
    }
    void TearDown() override {
        app().jobs[0].running = false;
        current_target() = saved;
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    void target(uint8_t protocol) {
        DiskRecord& t = current_target();
        t = DiskRecord{};
        t.device_path = t.physical_path = "\\\\.\\PHYSICALDRIVE1";
        t.access_protocol = protocol;
        t.bytes_per_sector = 512;
        t.raw_flag = 1;
    }

    std::string folder;
    DiskRecord saved;
    test::ScopedFakeDialogs dialogs;
};

TEST_F(OperatorQuestions, EmptyFileNameAsksTheSaveDialog) {
    const std::string chosen = folder + "/report.csv";
    dialogs->on_file = [&](const FileRequest&) -> std::optional<std::string> { return chosen; };
    cmd_Report_Print(0, "File:\"\", Output:\"a,b\"", "Report_Print");

    ASSERT_EQ(dialogs->files.size(), 1u);
    EXPECT_EQ(dialogs->files[0].title, "CSV File");
    EXPECT_EQ(dialogs->files[0].mode, FileMode::Save);
    EXPECT_EQ(dialogs->files[0].default_extension, "csv");
    EXPECT_EQ(slurp(chosen), "a,b");
    EXPECT_FALSE(app().jobs[0].cancel.load());
}

TEST_F(OperatorQuestions, CancelledFileDialogStopsTheJob) {
    cmd_Report_Print(0, "File:\"\", Output:\"a,b\"", "Report_Print");
    EXPECT_EQ(dialogs->files.size(), 1u);
    EXPECT_TRUE(app().jobs[0].cancel.load());
    EXPECT_TRUE(logged("---- Cancel Command ----"));

    // An open dialog for an empty name is asked the same way.
    std::string name;
    EXPECT_EQ(resolve_file_argument(0, name, false, "ini", "INI File"), FileResolve::Cancelled);
    ASSERT_EQ(dialogs->files.size(), 2u);
    EXPECT_EQ(dialogs->files[1].mode, FileMode::Open);
}

TEST_F(OperatorQuestions, ChangeDiskWithoutNameAsksForAChoice) {
    cmd_ChangeDisk(0, "PhysicalName:\"\"", "ChangeDisk");
    ASSERT_EQ(dialogs->choices.size(), 1u);
    EXPECT_EQ(dialogs->choices[0].title, "Targit Disk");
    EXPECT_TRUE(logged("---- Cancel Command ----"));
}

TEST_F(OperatorQuestions, SecureEraseConfirmationIsAskedForNvmeAndAta) {
    for (uint8_t protocol : {uint8_t{kProtoNvm}, uint8_t{kProtoUsbAta}}) {
        SCOPED_TRACE(static_cast<int>(protocol));
        target(protocol);
        dialogs->messages.clear();
        clear_job_log(0);
        if (protocol == kProtoUsbAta) cmd_ata_SecurErase(0, "ConfirmMsg:1", "SecurErase");
        else cmd_nvme_SecurErase(0, "ConfirmMsg:1", "SecurErase");
        ASSERT_EQ(dialogs->messages.size(), 1u);
        EXPECT_EQ(dialogs->messages[0].text, "Security Erase?");
        EXPECT_EQ(dialogs->messages[0].buttons, MessageButtons::YesNo);
        // No: the command ends before anything reaches the disk.
        EXPECT_TRUE(logged("---- Cancel Command ----"));
        EXPECT_EQ(job_slot(0)->error_code, 0);
    }
}

TEST_F(OperatorQuestions, RemoteConsoleNeverAsks) {
    app().run_style = kStyleRemoteConsole;
    dialogs->on_file = [](const FileRequest&) -> std::optional<std::string> { return "/tmp/x.csv"; };
    dialogs->on_message = [](const MessageRequest&) { return kAnswerYes; };
    std::string name;
    EXPECT_EQ(resolve_file_argument(0, name, true, "csv", "CSV File"), FileResolve::Cancelled);
    EXPECT_FALSE(operator_dialogs()->confirm(0, "Security Erase?"));
    EXPECT_FALSE(operator_dialogs()->number(0, NumberRequest{"Number:", 10, false}).has_value());
    EXPECT_EQ(dialogs->asked, 0);
}

TEST(OperatorDialogsInstall, NothingInstalledCancelsEveryQuestion) {
    std::shared_ptr<OperatorDialogs> before = install_operator_dialogs(nullptr);
    std::shared_ptr<OperatorDialogs> d = operator_dialogs();
    EXPECT_EQ(d->message(0, MessageRequest{"Go?", MessageButtons::Ok, MessageIcon::Information, false}),
              kAnswerCancel);
    EXPECT_EQ(d->choose(0, ChoiceRequest{"Pick", {"A", "B"}, 1, false}), -1);
    EXPECT_FALSE(d->text(0, TextRequest{}).has_value());
    EXPECT_FALSE(d->check_list(0, CheckListRequest{}).has_value());
    EXPECT_FALSE(d->file(0, FileRequest{}).has_value());
    install_operator_dialogs(before);
}

TEST(OperatorDialogsInstall, TextEntryRules) {
    TextRequest serial{"Serial", "", "SN", 0};
    EXPECT_FALSE(text_entry_acceptable(serial, "AB123"));
    EXPECT_TRUE(text_entry_acceptable(serial, "sn123"));
    TextRequest eight{"Code", "", "", 8};
    EXPECT_FALSE(text_entry_acceptable(eight, "1234567"));
    EXPECT_TRUE(text_entry_acceptable(eight, "12345678"));
    EXPECT_TRUE(text_entry_acceptable(TextRequest{}, ""));  // an accepted entry may be empty
}

// ---- the console form ----

class ConsoleForm : public ::testing::Test {
protected:
    void SetUp() override { prompts = std::tmpfile(); }
    void TearDown() override { std::fclose(prompts); }

    std::string shown() {
        std::fflush(prompts);
        std::rewind(prompts);
        std::string out;
        for (int c; (c = std::fgetc(prompts)) != EOF;) out += static_cast<char>(c);
        return out;
    }

    std::FILE* prompts = nullptr;
};

TEST_F(ConsoleForm, WithoutATerminalEverythingIsCancelledUnread) {
    std::istringstream answers("y\n1\n5\nfile.bin\ntext\n");
    ConsoleDialogs console(answers, prompts, false);
    EXPECT_FALSE(console.confirm(0, "Security Erase?"));
    EXPECT_EQ(console.choose(0, ChoiceRequest{"Targit Disk", {"A", "B"}, 0, false}), -1);
    EXPECT_FALSE(console.number(0, NumberRequest{"Number:", 10, false}).has_value());
    EXPECT_FALSE(console.check_list(0, CheckListRequest{"Items", {"A"}, {true}, false}).has_value());
    EXPECT_FALSE(console.text(0, TextRequest{"Name", "", "", 0}).has_value());
    EXPECT_FALSE(console.file(0, FileRequest{"FW", FileMode::Open, "bin", {}}).has_value());
    EXPECT_EQ(shown(), "");
    std::string rest;
    std::getline(answers, rest);
    EXPECT_EQ(rest, "y");
}

TEST_F(ConsoleForm, TerminalAnswers) {
    std::istringstream answers(
        "yes\n"       // confirm
        "n\n"         // three-button form: No
        "cancel\n"    // OK/Cancel
        "\n"          // choice: the marked one
        "2\n"         // choice: the second
        "esc\n"       // choice: Escape closes it
        "abc\n42\n"   // number: asked again until a number comes
        "1 3\n"       // check list
        "AB123\nsn123\n"  // text: asked again until the special key leads
        "fw/image\n"  // file
        "\n");        // file: empty cancels
    ConsoleDialogs console(answers, prompts, true);
    EXPECT_TRUE(console.confirm(0, "Security Erase?"));
    EXPECT_EQ(console.message(0, MessageRequest{"Keep?", MessageButtons::YesNoCancel, MessageIcon::Question, false}), kAnswerNo);
    EXPECT_FALSE(console.confirm(0, "RePlug SSD again \r\nthen push [OK] button", MessageButtons::OkCancel));
    const ChoiceRequest disks{"Targit Disk", {"A", "B"}, 0, false};
    EXPECT_EQ(console.choose(0, disks), 0);
    EXPECT_EQ(console.choose(0, disks), 1);
    EXPECT_EQ(console.choose(0, disks), -1);
    EXPECT_EQ(console.number(0, NumberRequest{"Number:", 10, false}), std::optional<int64_t>(42));
    EXPECT_EQ(console.check_list(0, CheckListRequest{"Items", {"A", "B", "C"}, {false, true, false}, false}),
              (std::optional<std::vector<bool>>(std::vector<bool>{true, false, true})));
    EXPECT_EQ(console.text(0, TextRequest{"Serial", "", "SN", 0}), std::optional<std::string>("sn123"));
    std::optional<std::string> file = console.file(0, FileRequest{"FW File", FileMode::Open, "bin", {}});
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(fs_path(*file).is_absolute()) << *file;
    EXPECT_NE(file->find("fw/image.bin"), std::string::npos);
    EXPECT_FALSE(console.file(0, FileRequest{"FW File", FileMode::Open, "bin", {}}).has_value());

    const std::string out = shown();
    EXPECT_NE(out.find("Security Erase? [y/n]: "), std::string::npos);
    EXPECT_NE(out.find("RePlug SSD again \nthen push [OK] button [ok/cancel]: "), std::string::npos);
    EXPECT_NE(out.find("Targit Disk\n* 1  A\n  2  B\n"), std::string::npos);
    EXPECT_NE(out.find("Special Key : \"SN\"\n"), std::string::npos);
    EXPECT_NE(out.find("FW File (open file name, empty to cancel): "), std::string::npos);
}

TEST_F(ConsoleForm, EndOfInputCancels) {
    std::istringstream answers("");
    ConsoleDialogs console(answers, prompts, true);
    EXPECT_EQ(console.message(0, MessageRequest{"Go", MessageButtons::Ok, MessageIcon::Question, false}), kAnswerEscaped);
    EXPECT_FALSE(console.text(0, TextRequest{"Name", "", "", 0}).has_value());
    EXPECT_FALSE(console.number(0, NumberRequest{"Number:", 10, false}).has_value());
}

// ---- job events ----

struct RecordingEvents final : JobEvents {
    std::mutex lock;
    std::vector<std::string> seen;

    void note(std::string s) {
        std::lock_guard<std::mutex> guard(lock);
        seen.push_back(std::move(s));
    }
    void status_text(int slot, std::string_view text) override {
        note("status " + std::to_string(slot) + " " + std::string(text));
    }
    void progress(int slot, ProgressStage stage, int percent) override {
        note("progress " + std::to_string(slot) + " " + std::to_string(stage.start) + "-" +
             std::to_string(stage.end) + " " + std::to_string(percent));
    }
    void log_line_added(int slot, int index, const LogLine& line) override {
        // The line is already in the log when the event arrives.
        auto lines = job_log_lines(slot);
        const bool stored = index >= 0 && static_cast<size_t>(index) < lines.size() &&
                            lines[static_cast<size_t>(index)].text == line.text;
        note("line " + std::to_string(slot) + (stored ? " " : " (not stored) ") + line.text);
    }
    void log_line_changed(int slot, int, const LogLine& line) override {
        note("changed " + std::to_string(slot) + " " + line.text);
    }
    void log_cleared(int slot) override { note("cleared " + std::to_string(slot)); }
    void job_ended(int slot, int exit_code) override {
        note("end " + std::to_string(slot) + " " + std::to_string(exit_code));
    }
    bool has(const std::string& s) {
        std::lock_guard<std::mutex> guard(lock);
        return std::find(seen.begin(), seen.end(), s) != seen.end();
    }
    size_t position(const std::string& s) {
        std::lock_guard<std::mutex> guard(lock);
        return static_cast<size_t>(std::find(seen.begin(), seen.end(), s) - seen.begin());
    }
};

class JobEventsRun : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        before = install_job_events(events);
    }
    void TearDown() override {
        install_job_events(before);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    std::string folder;
    std::shared_ptr<RecordingEvents> events = std::make_shared<RecordingEvents>();
    std::shared_ptr<JobEvents> before;
};

TEST_F(JobEventsRun, ScriptRunReportsStatusProgressLinesAndItsEnd) {
    const int code = test::run_script_text(
        "SetStatusText( Status:\"Stage one\", Progress:20, 60 );\r\n"
        "Print( Output:\"hello\" );\r\n"
        "Cls();\r\n"
        "Exit( ErrCode:3 );\r\n");
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(events->has("status 0 Stage one"));
    EXPECT_TRUE(events->has("progress 0 20-60 0"));
    EXPECT_TRUE(events->has("line 0 Stage one"));
    EXPECT_TRUE(events->has("line 0 hello"));
    EXPECT_TRUE(events->has("cleared 0"));
    EXPECT_TRUE(events->has("end 0 3"));
    // The job end comes last, after every line of the run.
    EXPECT_EQ(events->position("end 0 3"), events->seen.size() - 1);
}

TEST_F(JobEventsRun, FailedRunEndsWithItsErrorCode) {
    const int code = test::run_script_text("NoSuchCommand( x:1 );\r\n");
    EXPECT_LT(code, 0);
    EXPECT_TRUE(events->has("end 0 " + std::to_string(code)));
}

TEST_F(JobEventsRun, RewrittenLinesAreReported) {
    const int index = log_text(0, "Progress: 10%");
    rewrite_line(0, index, "Progress: 20%");
    EXPECT_TRUE(events->has("line 0 Progress: 10%"));
    EXPECT_TRUE(events->has("changed 0 Progress: 20%"));
}

TEST_F(JobEventsRun, ConsoleSinkLeavesTheConsoleAsTheWriterPrintsIt) {
    install_job_events(make_console_job_events());
    test::run_script_text("SetStatusText( Status:\"Busy\" );\r\nPrint( Output:\"hello\" );\r\n");
    const std::string out = test::console_output();
    EXPECT_NE(out.find("        Busy\n        hello\n##### SCRIPT LOG "), std::string::npos) << out;
    EXPECT_EQ(out.find("hello"), out.rfind("hello")) << out;  // printed once, by the writer
}

}  // namespace
}  // namespace tb
