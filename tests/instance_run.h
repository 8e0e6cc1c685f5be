// One running instance of the real program for the cross-instance
// end-to-end tests, on every system: started as a child process in a folder
// of the test, in an object namespace of the test, with its console output in
// a file that a watcher reads as it grows, stamping each line with the moment
// it was seen.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child_process.h"

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

// Writes a script with CR LF line ends and returns its path.
inline std::string write_script(const std::filesystem::path& dir, const std::string& name, const std::string& text) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    std::ofstream(dir / name, std::ios::binary) << crlf;
    return (dir / name).string();
}

class InstanceRun {
public:
    static constexpr int kRunning = -1000;

    InstanceRun(const std::vector<std::string>& args, const std::filesystem::path& dir, const std::string& ipc) {
        static std::atomic<int> counter{0};
        output_ = dir / ("instance" + std::to_string(counter++) + ".out");
        ChildOptions o;
        o.work_folder = dir.string();
        o.output_file = output_.string();
        o.no_input = true;
        o.end_with_parent = true;
        o.environment = {"TAMBLOR_IPC_NAMESPACE=" + ipc, "TMPDIR=" + dir.string(), "TMP=" + dir.string(),
                         "TEMP=" + dir.string()};
        std::vector<std::string> argv{TAMBLOR_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        started_ = child_.start(argv, o);
        if (started_) watcher_ = std::thread([this] { watch(); });
    }
    ~InstanceRun() {
        if (started_ && exit_code_ == kRunning) {
            child_.end(0);
            wait(5);
        }
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
    }
    InstanceRun(const InstanceRun&) = delete;
    InstanceRun& operator=(const InstanceRun&) = delete;

    bool started() const { return started_; }

    // Exit code (the low eight bits of the script's exit value on every
    // system), or kRunning when it did not end within `seconds`.
    int wait(int seconds) {
        if (!started_) return -1;
        if (exit_code_ == kRunning && child_.wait_for(seconds * 1000)) {
            const int code = child_.exit_code();
            exit_code_ = code < -1 && code >= -255 ? code & 0xFF : code;  // -1: killed
            read_new_lines();
        }
        return exit_code_;
    }
    // Ends the instance at once, as a crash would.
    void kill_now() {
        child_.kill();
        exit_code_ = -1;
    }
    // When the first line containing `text` was seen; nothing when none was.
    std::optional<Clock::time_point> seen(const std::string& text) {
        std::lock_guard<std::mutex> g(lock_);
        for (const auto& [line, t] : lines_)
            if (line.find(text) != std::string::npos) return t;
        return std::nullopt;
    }
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
    void watch() {
        while (!stop_) {
            read_new_lines();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        read_new_lines();
    }
    void read_new_lines() {
        std::lock_guard<std::mutex> g(read_lock_);
        std::ifstream in(output_, std::ios::binary);
        if (!in) return;
        in.seekg(static_cast<std::streamoff>(read_), std::ios::beg);
        std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto now = Clock::now();
        read_ += chunk.size();
        pending_ += chunk;
        size_t nl;
        while ((nl = pending_.find('\n')) != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, nl + 1);
            std::lock_guard<std::mutex> l(lock_);
            lines_.emplace_back(std::move(line), now);
        }
    }

    ChildProcess child_;
    bool started_ = false;
    int exit_code_ = kRunning;
    std::filesystem::path output_;
    std::thread watcher_;
    std::atomic<bool> stop_{false};
    std::mutex read_lock_;  // the watcher and a final read after the end
    size_t read_ = 0;
    std::string pending_;
    std::mutex lock_;
    std::vector<std::pair<std::string, Clock::time_point>> lines_;
};

}  // namespace tb::test
