// The box commands: how each reads its arguments into the question it asks,
// the result it gives for the operator's answer, -2 for an item list without
// items or a default out of range, 0 at once where nobody can answer (no
// terminal, a remote console run), and Escape stopping the job.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"
#include "ui/job_log.h"

namespace tb {
namespace {

using test::run;
using test::var;

class BoxCommands : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::fresh_slot();
        app().jobs[0].running = true;
    }
    void TearDown() override {
        app().jobs[0].running = false;
        app().jobs[0].cancel = false;
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    int error() const { return job_slot(0)->error_code; }
    bool cancelled() const { return app().jobs[0].cancel.load(); }
    bool logged(const std::string& text) const {
        for (const LogLine& l : job_log_lines(0))
            if (l.text == text) return true;
        return false;
    }

    std::string folder;
    test::ScopedFakeDialogs dialogs;
};

TEST_F(BoxCommands, MessageBoxAsksWithItsButtonsIconAndLineBreaksAndGivesThePressedButton) {
    dialogs->on_message = [](const MessageRequest&) { return kAnswerYes; };
    run("a = MessageBox( Output:\"Line one\\nLine two\", Button:\"YESNO\", AutoOK:TRUE, ICON:\"WARNING\" );");
    ASSERT_EQ(dialogs->messages.size(), 1u);
    EXPECT_EQ(dialogs->messages[0].text, "Line one\nLine two");
    EXPECT_EQ(dialogs->messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(dialogs->messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(dialogs->messages[0].auto_ok);
    EXPECT_EQ(var("a"), "1");

    // Defaults: OK and Cancel with the question icon; keys are found inside longer keys.
    dialogs->on_message = [](const MessageRequest&) { return kAnswerCancel; };
    run("b = MessageBox( MyOutput:\"Go on?\" );");
    ASSERT_EQ(dialogs->messages.size(), 2u);
    EXPECT_EQ(dialogs->messages[1].text, "Go on?");
    EXPECT_EQ(dialogs->messages[1].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(dialogs->messages[1].icon, MessageIcon::Question);
    EXPECT_FALSE(dialogs->messages[1].auto_ok);
    EXPECT_EQ(var("b"), "0");

    // Any other button word gives the OK button alone; any other icon the question.
    run("c = MessageBox( Output:\"x\", Button:\"OK\", ICON:\"ROBOT\" );");
    EXPECT_EQ(dialogs->messages[2].buttons, MessageButtons::Ok);
    EXPECT_EQ(dialogs->messages[2].icon, MessageIcon::Question);
    run("d = MessageBox( Output:\"x\", ICON:\"error\" );");
    EXPECT_EQ(dialogs->messages[3].icon, MessageIcon::Error);
    run("e = MessageBox( Output:\"x\", ICON:\"Information\" );");
    EXPECT_EQ(dialogs->messages[4].icon, MessageIcon::Information);
    EXPECT_EQ(error(), 0);
    EXPECT_FALSE(cancelled());
}

TEST_F(BoxCommands, ComboBoxPreselectsTheLastStarredItemAndGivesTheIndexOrTheText) {
    dialogs->on_choose = [](const ChoiceRequest& r) { return r.preselected; };
    run("i = ComboBox( Output:\"Pick\", ItemList:\"A|*B|C\", AutoOK:TRUE );");
    ASSERT_EQ(dialogs->choices.size(), 1u);
    EXPECT_EQ(dialogs->choices[0].title, "Pick");
    EXPECT_EQ(dialogs->choices[0].items, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(dialogs->choices[0].preselected, 1);
    EXPECT_TRUE(dialogs->choices[0].auto_ok);
    EXPECT_EQ(var("i"), "1");

    run("s = ComboBox( Output:\"Pick\", ItemList:\"*A|B|*C\", Return:\"string\" );");
    EXPECT_EQ(dialogs->choices[1].preselected, 2);
    EXPECT_EQ(var("s"), "C");

    // Without a star the first item is the selection.
    run("f = ComboBox( Output:\"Pick\", ItemList:\"A|B\" );");
    EXPECT_EQ(dialogs->choices[2].preselected, 0);
    EXPECT_EQ(var("f"), "0");
    EXPECT_EQ(error(), 0);
}

TEST_F(BoxCommands, ItemListsWithoutAnItemOrWithTooManyAreRefused) {
    run("a = ComboBox( Output:\"Pick\", ItemList:\"A\" );");
    EXPECT_EQ(error(), -2);
    EXPECT_NE(job_slot(0)->error_text.find("ItemList must include \"|\" for split Item"), std::string::npos);
    job_slot(0)->error_code = 0;
    run("b = CheckListBox( \"Pick\", \"|*|\" );");
    EXPECT_EQ(error(), -2);
    job_slot(0)->error_code = 0;
    std::string many = "I0";
    for (int i = 1; i < 65; ++i) many += "|I" + std::to_string(i);
    run("c = ComboBox( ItemList:\"" + many + "\" );");
    EXPECT_EQ(error(), -2);
    EXPECT_TRUE(dialogs->choices.empty());
    EXPECT_EQ(dialogs->asked, 0);
}

TEST_F(BoxCommands, NumberBoxTakesItsArgumentsInOrderAndRefusesADefaultTheEditCannotHold) {
    NumberRequest seen;
    dialogs->on_number = [&](const NumberRequest& r) -> std::optional<int64_t> {
        seen = r;
        return 4242;
    };
    run("n = NumberBox( \"Loops:\", 25, TRUE );");
    EXPECT_EQ(seen.title, "Loops:");
    EXPECT_EQ(seen.initial, 25);
    EXPECT_TRUE(seen.auto_ok);
    EXPECT_EQ(var("n"), "4242");

    run("d = NumberBox();");
    EXPECT_EQ(seen.title, "Number:");
    EXPECT_EQ(seen.initial, 10);
    EXPECT_FALSE(seen.auto_ok);
    EXPECT_EQ(error(), 0);

    for (const char* bad : {"-1", "100000000"}) {
        SCOPED_TRACE(bad);
        job_slot(0)->error_code = 0;
        const int before = dialogs->asked;
        run(std::string("x = NumberBox( \"N\", ") + bad + " );");
        EXPECT_EQ(error(), -2);
        EXPECT_EQ(dialogs->asked, before);
    }
}

TEST_F(BoxCommands, CheckListBoxGivesOneQuotedMarkPerItemForAnArray) {
    CheckListRequest seen;
    dialogs->on_check_list = [&](const CheckListRequest& r) -> std::optional<std::vector<bool>> {
        seen = r;
        return std::vector<bool>{true, false, true};
    };
    run("m[] = CheckListBox( \"Choose\", \"*AAA|BBB|*CCC\", TRUE );");
    EXPECT_EQ(seen.title, "Choose");
    EXPECT_EQ(seen.items, (std::vector<std::string>{"AAA", "BBB", "CCC"}));
    EXPECT_EQ(seen.checked, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(seen.auto_ok);
    EXPECT_EQ(var("m[0]"), "1");
    EXPECT_EQ(var("m[1]"), "0");
    EXPECT_EQ(var("m[2]"), "1");
    EXPECT_EQ(error(), 0);
}

TEST_F(BoxCommands, InputBoxPassesItsRulesAndShowsTheResultWhenAsked) {
    TextRequest seen;
    dialogs->on_text = [&](const TextRequest& r) -> std::optional<std::string> {
        seen = r;
        return std::string("SN0042");
    };
    run("t = InputBox( Title:\"Serial\", SpecialKey:\"SN\", LenthLimit:6, ShowResult:TRUE, Default:\"SN\" );");
    EXPECT_EQ(seen.title, "Serial");
    EXPECT_EQ(seen.special_key, "SN");
    EXPECT_EQ(seen.length_limit, 6);
    EXPECT_EQ(seen.initial, "SN");
    EXPECT_EQ(var("t"), "SN0042");
    EXPECT_TRUE(logged("SN0042"));

    job_slot(0)->error_code = 0;
    run("u = InputBox( Title:\"x\", LenthLimit:-1 );");
    EXPECT_EQ(error(), -2);
    job_slot(0)->error_code = 0;
    run("u = InputBox( Title:\"x\", LenthLimit:513 );");
    EXPECT_EQ(error(), -2);
}

TEST_F(BoxCommands, FileSelectBoxOffersTheScriptsFiltersAndGivesTheChosenFile) {
    const std::string chosen = test::write_file(folder, "fw.bin", "x");
    dialogs->on_file = [&](const FileRequest&) -> std::optional<std::string> { return chosen; };
    run("f = FileSelectBox( \"*.bin#FW image|*.txt\" );");
    ASSERT_EQ(dialogs->files.size(), 1u);
    EXPECT_EQ(dialogs->files[0].mode, FileMode::Open);
    ASSERT_EQ(dialogs->files[0].filters.size(), 2u);
    EXPECT_EQ(dialogs->files[0].filters[0].pattern, "*.bin");
    EXPECT_EQ(dialogs->files[0].filters[0].description, "FW image");
    EXPECT_EQ(dialogs->files[0].filters[1].description, "*.txt");
    EXPECT_EQ(var("f"), chosen);

    // A chosen name that is no file ends the command with -11.
    dialogs->on_file = [&](const FileRequest&) -> std::optional<std::string> { return folder + "/gone.bin"; };
    run("g = FileSelectBox( \"*.bin\" );");
    EXPECT_EQ(error(), -11);

    // More filters than the dialog takes: -2.
    job_slot(0)->error_code = 0;
    run("h = FileSelectBox( \"1|2|3|4|5|6|7|8|9|10|11\" );");
    EXPECT_EQ(error(), -2);
    EXPECT_FALSE(cancelled());
}

TEST_F(BoxCommands, ACancelledFileSelectBoxGivesAnEmptyTextAndStopsTheJob) {
    run("f = FileSelectBox( \"*.bin\" );");
    EXPECT_EQ(var("f"), "");
    EXPECT_TRUE(cancelled());
    EXPECT_TRUE(logged("---- Cancel Command ----"));
}

TEST_F(BoxCommands, EscapeInAnyBoxStopsTheJob) {
    const std::vector<std::string> boxes = {
        "a = MessageBox( Output:\"x\" );",          "a = ComboBox( ItemList:\"A|B\" );",
        "a = NumberBox( \"N\", 1 );",               "a = CheckListBox( \"C\", \"A|B\" );",
        "a = InputBox( Title:\"T\" );",
    };
    dialogs->on_message = [](const MessageRequest&) { return kAnswerEscaped; };
    for (const std::string& box : boxes) {
        SCOPED_TRACE(box);
        app().jobs[0].cancel = false;
        run(box);
        EXPECT_TRUE(cancelled());
        EXPECT_EQ(error(), 0);
    }
}

TEST_F(BoxCommands, EscapeStopsARunningScriptAfterTheBox) {
    app().jobs[0].running = false;
    dialogs->on_message = [](const MessageRequest&) { return kAnswerEscaped; };
    const int code = test::run_script_text(
        "MessageBox( Output:\"Stop here?\" );\r\n"
        "Print( Output:\"after the box\" );\r\n");
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(logged("---- Cancel Job ----"));
    EXPECT_FALSE(logged("after the box"));
}

TEST_F(BoxCommands, NobodyToAskGivesZeroAtOnceWithoutStoppingTheJob) {
    auto check_all_zero = [&] {
        run("a = MessageBox( Output:\"x\", AutoOK:TRUE );");
        EXPECT_EQ(var("a"), "0");
        run("b = ComboBox( ItemList:\"A|*B\" );");
        EXPECT_EQ(var("b"), "0");
        run("c = NumberBox( \"N\", 7 );");
        EXPECT_EQ(var("c"), "0");
        run("d = CheckListBox( \"C\", \"*A|B\" );");
        EXPECT_EQ(var("d"), "0");
        run("e = InputBox( Title:\"T\", Default:\"x\" );");
        EXPECT_EQ(var("e"), "0");
        run("f = FileSelectBox( \"*.bin\" );");
        EXPECT_EQ(var("f"), "0");
        EXPECT_EQ(error(), 0);
        EXPECT_FALSE(cancelled());
    };
    {
        SCOPED_TRACE("remote console");
        app().run_style = kStyleRemoteConsole;
        check_all_zero();
        EXPECT_EQ(dialogs->asked, 0);
        app().run_style = kStyleConsole;
    }
    {
        SCOPED_TRACE("nothing installed");
        std::shared_ptr<OperatorDialogs> before = install_operator_dialogs(nullptr);
        check_all_zero();
        install_operator_dialogs(before);
    }
}

TEST_F(BoxCommands, BadArgumentsAreRefusedEvenWhereNobodyCanAnswer) {
    app().run_style = kStyleRemoteConsole;
    run("a = ComboBox( ItemList:\"A\" );");
    EXPECT_EQ(error(), -2);
}

}  // namespace
}  // namespace tb
