// The output lines of a running program, each stamped with the moment it was
// seen, for tests that judge the order and timing of what instances print.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tb::test {

using Clock = std::chrono::steady_clock;

// Polls `done` every 50 ms until it holds or `seconds` have passed; whether it held.
inline bool eventually(const std::function<bool()>& done, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class StampedLines {
public:
    void add(std::string line, Clock::time_point at) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.emplace_back(std::move(line), at);
    }
    // When the first line containing `text` was seen; nothing when none was.
    std::optional<Clock::time_point> seen(const std::string& text) {
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& [line, t] : lines_)
            if (line.find(text) != std::string::npos) return t;
        return std::nullopt;
    }
    // Whether a line containing `text` is seen within `seconds`.
    bool await(const std::string& text, int seconds) {
        return eventually([&] { return seen(text).has_value(); }, seconds);
    }
    // When each line containing `text` was seen, in order.
    std::vector<Clock::time_point> all_seen(const std::string& text) {
        std::lock_guard<std::mutex> g(lock_);
        std::vector<Clock::time_point> t;
        for (const auto& [line, at] : lines_)
            if (line.find(text) != std::string::npos) t.push_back(at);
        return t;
    }
    std::string output() {
        std::lock_guard<std::mutex> g(lock_);
        std::string all;
        for (const auto& l : lines_) all += l.first + "\n";
        return all;
    }

private:
    std::mutex lock_;
    std::vector<std::pair<std::string, Clock::time_point>> lines_;
};

}  // namespace tb::test
