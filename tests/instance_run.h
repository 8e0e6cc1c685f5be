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
#include "tests/stamped_lines.h"

namespace tb::test {

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
    std::optional<Clock::time_point> seen(const std::string& text) { return lines_.seen(text); }
    bool await(const std::string& text, int seconds) { return lines_.await(text, seconds); }
    std::vector<Clock::time_point> all_seen(const std::string& text) { return lines_.all_seen(text); }
    std::string output() { return lines_.output(); }

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
            lines_.add(std::move(line), now);
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
    StampedLines lines_;
};

}  // namespace tb::test
