// The lines an operator types at the terminal, read by a thread of their own
// and only while a prompt waits for one, so that a prompt can stop waiting
// (its count-down ran out, its job was stopped) while the read goes on. A
// line that arrives when no prompt waits any more is dropped: a late answer
// never answers the next question.
#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <thread>

namespace tb {

class BoxAnswerLines {
public:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Line, TimedOut, Ended, GaveUp };

    // `in` must outlive a read that is still going on when this is destroyed
    // (standard input does).
    explicit BoxAnswerLines(std::istream& in);
    ~BoxAnswerLines();
    BoxAnswerLines(const BoxAnswerLines&) = delete;
    BoxAnswerLines& operator=(const BoxAnswerLines&) = delete;

    // The next line (without its line end) by `deadline`; `give_up` is asked
    // a few times a second and ends the wait when it holds. Ended: the input
    // has ended, now and for every later prompt.
    Wait next(std::string& line, Clock::time_point deadline, const std::function<bool()>& give_up);

private:
    struct State;
    static void read_lines(std::shared_ptr<State> state, std::istream* in);

    std::shared_ptr<State> state_;
    std::thread reader_;
};

}  // namespace tb
