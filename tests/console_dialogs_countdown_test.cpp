// The terminal form of the boxes over injected streams: a box that answers
// itself says so and, when nobody answers, answers as the window would (the
// first button, the marked item, the number, the marks); a late answer never
// answers the next question; "esc", the end of input and a stopped job close
// the prompt as Escape does.
#include <gtest/gtest.h>

#include <filesystem>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <istream>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

#include "script/app_context.h"
#include "tests/test_support.h"
#include "ui/box_countdown.h"
#include "ui/console_dialogs.h"

namespace tb {
namespace {

using namespace std::chrono_literals;

// Input that arrives when the test types it: a read waits until then (or
// until the input is closed).
class TypedInput final : public std::streambuf {
public:
    void type(const std::string& text) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            pending_ += text;
        }
        changed_.notify_all();
    }
    void close() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            closed_ = true;
        }
        changed_.notify_all();
    }

protected:
    int_type underflow() override {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return !pending_.empty() || closed_; });
        if (pending_.empty()) return traits_type::eof();
        current_ = std::move(pending_);
        pending_.clear();
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(current_[0]);
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::string pending_;
    std::string current_;
    bool closed_ = false;
};

class ConsoleCountdown : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        set_box_second_length(10ms);
        prompts = std::tmpfile();
        console = std::make_unique<ConsoleDialogs>(answers, prompts, true);
    }
    void TearDown() override {
        input.close();
        console.reset();
        std::fclose(prompts);
        set_box_second_length(1000ms);
        app().jobs[0].cancel = false;
    }
    std::string shown() {
        std::fflush(prompts);
        std::rewind(prompts);
        std::string out;
        for (int c; (c = std::fgetc(prompts)) != EOF;) out += static_cast<char>(c);
        return out;
    }
    static MessageRequest auto_message(MessageButtons buttons) {
        return MessageRequest{"Replug done?", buttons, MessageIcon::Question, true};
    }

    TypedInput input;
    std::istream answers{&input};
    std::FILE* prompts = nullptr;
    std::unique_ptr<ConsoleDialogs> console;
};

TEST_F(ConsoleCountdown, UnansweredBoxesAnswerThemselvesAsTheWindowWould) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(console->message(0, auto_message(MessageButtons::OkCancel)), kAnswerYes);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20 * 10ms);
    EXPECT_EQ(console->message(0, auto_message(MessageButtons::YesNo)), kAnswerYes);
    EXPECT_EQ(console->choose(0, ChoiceRequest{"Pick", {"A", "B", "C"}, 1, true}), 1);
    EXPECT_EQ(console->number(0, NumberRequest{"Loops:", 25, true}), std::optional<int64_t>(25));
    EXPECT_EQ(console->check_list(0, CheckListRequest{"Items", {"A", "B", "C"}, {true, false, true}, true}),
              (std::optional<std::vector<bool>>(std::vector<bool>{true, false, true})));

    const std::string out = shown();
    EXPECT_NE(out.find("Replug done? [ok/cancel]: (answers itself in 20 s) "), std::string::npos) << out;
    EXPECT_NE(out.find("\nOK (0)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nYes (0)\n"), std::string::npos) << out;
}

TEST_F(ConsoleCountdown, AnAnswerBeforeTheEndCountsAndALateOneIsDropped) {
    std::thread typist([&] {
        std::this_thread::sleep_for(40ms);
        input.type("n\n");
    });
    EXPECT_EQ(console->message(0, auto_message(MessageButtons::YesNo)), kAnswerCancel);
    typist.join();

    // Nobody answers this one in time; the "n" typed after its end is not
    // taken for the next question.
    EXPECT_EQ(console->message(0, auto_message(MessageButtons::YesNo)), kAnswerYes);
    input.type("n\n");
    std::this_thread::sleep_for(100ms);  // read, and dropped: no prompt waits
    input.type("y\n");
    EXPECT_EQ(console->message(0, MessageRequest{"Erase?", MessageButtons::YesNo, MessageIcon::Question, false}),
              kAnswerYes);
}

TEST_F(ConsoleCountdown, EscapeEndOfInputAndAStoppedJobCloseThePrompt) {
    input.type("esc\n");
    EXPECT_EQ(console->message(0, auto_message(MessageButtons::OkCancel)), kAnswerEscaped);
    input.type("\x1b\n");
    EXPECT_EQ(console->choose(0, ChoiceRequest{"Pick", {"A", "B"}, 0, false}), -1);

    set_box_second_length(1000ms);
    std::thread stopper([] {
        std::this_thread::sleep_for(50ms);
        app().jobs[0].cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(console->number(0, NumberRequest{"N", 1, true}).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    stopper.join();
    app().jobs[0].cancel = false;

    input.close();
    EXPECT_FALSE(console->text(0, TextRequest{"Name", "", "", 0}).has_value());
    EXPECT_EQ(console->message(0, MessageRequest{"Go", MessageButtons::Ok, MessageIcon::Question, false}),
              kAnswerEscaped);
}

TEST_F(ConsoleCountdown, AWrongAnswerAsksAgainAndEnterAloneIsNoYes) {
    input.type("maybe\n\ny\n");
    EXPECT_EQ(console->message(0, MessageRequest{"Erase?", MessageButtons::YesNo, MessageIcon::Question, false}),
              kAnswerYes);
    EXPECT_EQ(shown().find("Erase? [y/n]: Erase? [y/n]: Erase? [y/n]: "), 0u) << shown();
    input.type("3\n1\n");
    EXPECT_EQ(console->choose(0, ChoiceRequest{"Pick", {"A", "B"}, 0, false}), 0);
    input.type("all\n");
    EXPECT_EQ(console->check_list(0, CheckListRequest{"Items", {"A", "B"}, {false, false}, false}),
              (std::optional<std::vector<bool>>(std::vector<bool>{true, true})));
}

TEST_F(ConsoleCountdown, AFolderQuestionTakesOnlyAnExistingFolder) {
    const std::string base = test::fresh_slot();
    input.type(base + "/no-such-folder\n" + base + "\n\n");
    FileRequest request;
    request.title = "Select Upload Folder";
    request.mode = FileMode::Folder;
    const std::optional<std::string> chosen = console->file(0, request);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(std::filesystem::path(*chosen), std::filesystem::path(base));
    EXPECT_NE(shown().find("No such folder: "), std::string::npos) << shown();
    EXPECT_EQ(console->file(0, request), std::nullopt);  // Enter alone cancels
}

}  // namespace
}  // namespace tb
