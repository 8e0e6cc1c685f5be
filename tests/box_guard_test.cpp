// The guard every question passes: one box at a time across jobs, a waiting
// box of a cancelled job never shown, a box closed without an answer
// stopping every running job, and questions where nobody can answer passing
// straight through.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "script/app_context.h"
#include "script/operator_dialogs.h"
#include "tests/fake_dialogs.h"
#include "tests/test_support.h"

namespace tb {
namespace {

using namespace std::chrono_literals;

// Dialogs that keep each box open for a while and count how many are open at once.
class SlowDialogs final : public OperatorDialogs {
public:
    std::atomic<int> open{0};
    std::atomic<int> most_open{0};
    std::atomic<int> shown{0};
    bool nobody = false;

    bool attended() const override { return !nobody; }
    int message(int, const MessageRequest&) override {
        ++shown;
        const int now = ++open;
        int seen = most_open.load();
        while (now > seen && !most_open.compare_exchange_weak(seen, now)) {}
        std::this_thread::sleep_for(nobody ? 300ms : 30ms);
        --open;
        return kAnswerYes;
    }
    int choose(int, const ChoiceRequest&) override { return -1; }
    std::optional<int64_t> number(int, const NumberRequest&) override { return std::nullopt; }
    std::optional<std::vector<bool>> check_list(int, const CheckListRequest&) override { return std::nullopt; }
    std::optional<std::string> text(int, const TextRequest&) override { return std::nullopt; }
    std::optional<std::string> file(int, const FileRequest&) override { return std::nullopt; }
};

class BoxGuard : public ::testing::Test {
protected:
    void SetUp() override {
        test::fresh_slot();
        before = install_operator_dialogs(slow);
    }
    void TearDown() override {
        install_operator_dialogs(before);
        app().jobs[0].running = false;
        app().jobs[0].cancel = false;
    }
    std::shared_ptr<SlowDialogs> slow = std::make_shared<SlowDialogs>();
    std::shared_ptr<OperatorDialogs> before;
};

TEST_F(BoxGuard, TwoJobsAskingAtOnceSeeOneBoxAtATime) {
    std::vector<std::thread> askers;
    std::atomic<int> yes{0};
    for (int slot : {0, 1, 0, 1})
        askers.emplace_back([&, slot] {
            if (operator_dialogs()->message(slot, MessageRequest{"Go?"}) == kAnswerYes) ++yes;
        });
    for (auto& t : askers) t.join();
    EXPECT_EQ(slow->shown.load(), 4);
    EXPECT_EQ(slow->most_open.load(), 1);
    EXPECT_EQ(yes.load(), 4);
}

TEST_F(BoxGuard, NobodyToAskNeedsNoTurn) {
    slow->nobody = true;
    std::vector<std::thread> askers;
    for (int i = 0; i < 3; ++i) askers.emplace_back([] { operator_dialogs()->message(0, MessageRequest{"Go?"}); });
    for (auto& t : askers) t.join();
    EXPECT_GT(slow->most_open.load(), 1) << "unattended questions are not serialised";
}

TEST_F(BoxGuard, ABoxOfACancelledJobWaitingForItsTurnIsNeverShown) {
    std::atomic<bool> first_open{false};
    test::FakeDialogs* fake = nullptr;
    auto holding = std::make_shared<test::FakeDialogs>();
    fake = holding.get();
    fake->on_message = [&](const MessageRequest&) {
        first_open = true;
        std::this_thread::sleep_for(300ms);
        return kAnswerYes;
    };
    install_operator_dialogs(holding);
    std::thread first([] { operator_dialogs()->message(1, MessageRequest{"first"}); });
    while (!first_open) std::this_thread::sleep_for(5ms);
    app().jobs[0].cancel = true;  // slot 0's job is stopped while its box waits
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(operator_dialogs()->message(0, MessageRequest{"second"}), kAnswerEscaped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);
    first.join();
    EXPECT_EQ(fake->messages.size(), 1u);
}

TEST_F(BoxGuard, AnUnansweredBoxStopsEveryRunningJobAndAnAnswerStopsNone) {
    auto fake = std::make_shared<test::FakeDialogs>();
    install_operator_dialogs(fake);
    app().jobs[0].running = true;

    fake->on_message = [](const MessageRequest&) { return kAnswerCancel; };
    EXPECT_FALSE(operator_dialogs()->confirm(0, "Security Erase?"));
    EXPECT_FALSE(app().jobs[0].cancel.load()) << "No is an answer";

    fake->on_message = [](const MessageRequest&) { return kAnswerEscaped; };
    EXPECT_FALSE(operator_dialogs()->confirm(0, "Security Erase?"));
    EXPECT_TRUE(app().jobs[0].cancel.load());

    app().jobs[0].cancel = false;
    EXPECT_FALSE(operator_dialogs()->file(0, FileRequest{}).has_value());
    EXPECT_TRUE(app().jobs[0].cancel.load()) << "a cancelled file dialog stops the job";

    // A job that is not running is not stopped.
    app().jobs[0].cancel = false;
    app().jobs[0].running = false;
    operator_dialogs()->choose(0, ChoiceRequest{"Pick", {"A"}, 0, false});
    EXPECT_FALSE(app().jobs[0].cancel.load());
}

}  // namespace
}  // namespace tb
