#include "ui/box_answer_lines.h"

#include <condition_variable>
#include <mutex>
#include <optional>

namespace tb {

namespace {
constexpr auto kGiveUpPoll = std::chrono::milliseconds(50);
constexpr auto kReadEndWait = std::chrono::milliseconds(200);
}

struct BoxAnswerLines::State {
    std::mutex lock;
    std::condition_variable changed;
    bool wanted = false;   // a prompt waits for a line
    bool reading = false;  // the reader is inside a read
    bool ended = false;
    bool closing = false;
    std::optional<std::string> line;
};

BoxAnswerLines::BoxAnswerLines(std::istream& in) : state_(std::make_shared<State>()) {
    reader_ = std::thread(read_lines, state_, &in);
}

BoxAnswerLines::~BoxAnswerLines() {
    bool reading = false;
    {
        std::unique_lock<std::mutex> hold(state_->lock);
        state_->closing = true;
        state_->changed.notify_all();
        // A read about to end (its input closed) is let finish.
        state_->changed.wait_for(hold, kReadEndWait, [&] { return !state_->reading; });
        reading = state_->reading;
    }
    // A read that waits for a person cannot be ended from here; the reader
    // finishes it on its own and then goes.
    if (reading) reader_.detach();
    else reader_.join();
}

void BoxAnswerLines::read_lines(std::shared_ptr<State> state, std::istream* in) {
    std::unique_lock<std::mutex> hold(state->lock);
    for (;;) {
        state->changed.wait(hold, [&] { return state->closing || (state->wanted && !state->line); });
        if (state->closing) return;
        state->reading = true;
        hold.unlock();
        std::string text;
        const bool got = static_cast<bool>(std::getline(*in, text));
        hold.lock();
        state->reading = false;
        state->changed.notify_all();
        if (!got) {
            state->ended = true;
            state->changed.notify_all();
            return;
        }
        if (state->wanted) {
            if (!text.empty() && text.back() == '\r') text.pop_back();
            state->line = std::move(text);
            state->changed.notify_all();
        }
    }
}

BoxAnswerLines::Wait BoxAnswerLines::next(std::string& line, Clock::time_point deadline,
                                          const std::function<bool()>& give_up) {
    std::unique_lock<std::mutex> hold(state_->lock);
    state_->wanted = true;
    state_->changed.notify_all();
    Wait result = Wait::TimedOut;
    for (;;) {
        if (state_->line) {
            line = std::move(*state_->line);
            state_->line.reset();
            result = Wait::Line;
            break;
        }
        if (state_->ended) {
            result = Wait::Ended;
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) break;
        hold.unlock();
        const bool stop = give_up && give_up();
        hold.lock();
        if (stop) {
            result = Wait::GaveUp;
            break;
        }
        const auto step = std::min<Clock::duration>(deadline - now, kGiveUpPoll);
        state_->changed.wait_for(hold, step);
    }
    state_->wanted = false;
    return result;
}

}  // namespace tb
