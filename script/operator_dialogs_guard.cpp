#include "script/operator_dialogs_guard.h"

#include <chrono>
#include <iterator>
#include <mutex>
#include <type_traits>

#include "script/app_context.h"

namespace tb {

namespace {

constexpr auto kTurnPoll = std::chrono::milliseconds(50);

std::timed_mutex& box_mutex() {
    static std::timed_mutex instance;
    return instance;
}

// Holds the process's box turn for one question; owns() is false when the
// asking job was cancelled before its turn came.
class BoxTurn {
public:
    explicit BoxTurn(int slot) {
        while (!box_mutex().try_lock_for(kTurnPoll))
            if (cancel_requested(slot)) return;
        owned_ = true;
    }
    ~BoxTurn() {
        if (owned_) box_mutex().unlock();
    }
    BoxTurn(const BoxTurn&) = delete;
    BoxTurn& operator=(const BoxTurn&) = delete;
    bool owns() const { return owned_; }

private:
    bool owned_ = false;
};

class GuardedDialogs final : public OperatorDialogs {
public:
    explicit GuardedDialogs(std::shared_ptr<OperatorDialogs> inner) : inner_(std::move(inner)) {}

    bool attended() const override { return inner_->attended(); }

    int message(int slot, const MessageRequest& request) override {
        return ask(slot, [&] { return inner_->message(slot, request); }, [](int a) { return a == kAnswerEscaped; });
    }
    int choose(int slot, const ChoiceRequest& request) override {
        return ask(slot, [&] { return inner_->choose(slot, request); }, [](int i) { return i < 0; });
    }
    std::optional<int64_t> number(int slot, const NumberRequest& request) override {
        return ask(slot, [&] { return inner_->number(slot, request); }, unanswered);
    }
    std::optional<std::vector<bool>> check_list(int slot, const CheckListRequest& request) override {
        return ask(slot, [&] { return inner_->check_list(slot, request); }, unanswered);
    }
    std::optional<std::string> text(int slot, const TextRequest& request) override {
        return ask(slot, [&] { return inner_->text(slot, request); }, unanswered);
    }
    std::optional<std::string> file(int slot, const FileRequest& request) override {
        return ask(slot, [&] { return inner_->file(slot, request); }, unanswered);
    }

private:
    static constexpr auto unanswered = [](const auto& answer) { return !answer.has_value(); };

    // A question not shown: Escape (-1) for a message or a choice, nothing for the others.
    template <class Answer>
    static Answer not_shown() {
        if constexpr (std::is_same_v<Answer, int>) return kAnswerEscaped;
        else return Answer{};
    }

    // Where nobody can answer the question goes straight through: it returns
    // at once and stops nothing.
    template <class Ask, class Escaped>
    auto ask(int slot, Ask ask_inner, Escaped escaped) -> decltype(ask_inner()) {
        using Answer = decltype(ask_inner());
        if (!inner_->attended()) return ask_inner();
        BoxTurn turn(slot);
        if (!turn.owns()) return not_shown<Answer>();
        Answer answer = ask_inner();
        if (escaped(answer)) stop_running_jobs();
        return answer;
    }

    std::shared_ptr<OperatorDialogs> inner_;
};

}  // namespace

void stop_running_jobs() {
    for (JobControl& job : app().jobs)
        if (job.running.load()) job.cancel.store(true);
}

std::shared_ptr<OperatorDialogs> guard_operator_dialogs(std::shared_ptr<OperatorDialogs> inner) {
    return std::make_shared<GuardedDialogs>(std::move(inner));
}

}  // namespace tb
