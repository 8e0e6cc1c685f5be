// A window of requests in flight on one queue, driven from one thread: the
// trace replay, the enterprise workload and the video stream issue through
// it. Submitting waits (polling) for a free place; completions are timed
// into a latency histogram; the first failure is kept. Reads submitted
// without memory land in their place's own part of a read area, so that no
// two reads in flight, and no read and write, share memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "workload/engine.h"
#include "platform/io_queue.h"

namespace tb {

class RequestWindow {
public:
    // `stop` is asked while waiting; when it says yes the window cancels
    // what is in flight and submit()/drain() return false.
    RequestWindow(IoTarget& target, uint32_t depth, std::span<uint8_t> buffer, LatencyHistogram* latency,
                  std::function<bool()> stop);
    ~RequestWindow();
    RequestWindow(const RequestWindow&) = delete;
    RequestWindow& operator=(const RequestWindow&) = delete;

    bool ok() const { return queue_ != nullptr; }
    // Where reads without memory land: `stride` bytes per place of the
    // window (the area holds at least depth x stride bytes).
    void set_read_area(std::span<uint8_t> area, uint32_t stride);
    // Issues one request once a place is free. False when a request failed,
    // the device went quiet for 30 s, or `stop` said yes.
    bool submit(const IoRequest& request);
    // Waits for everything in flight.
    bool drain();
    // Runs one request by itself (the window drained first and after).
    bool run_one(const IoRequest& request);

    uint32_t in_flight() const { return in_flight_; }
    // Whether a request failed; failed_request() is the first that did.
    bool failed() const { return failed_; }
    bool stalled() const { return stalled_; }
    const IoRequest& failed_request() const { return failed_request_; }

private:
    struct Slot {
        bool busy = false;
        uint64_t issued_at = 0;
        IoRequest request;
    };
    bool reap(bool block);

    std::unique_ptr<IoQueue> queue_;
    std::vector<Slot> slots_;
    LatencyHistogram* latency_;
    std::function<bool()> stop_;
    uint32_t in_flight_ = 0;
    uint64_t last_progress_ms_ = 0;
    std::span<uint8_t> read_area_;
    uint32_t read_stride_ = 0;
    bool failed_ = false, stalled_ = false, stopped_ = false;
    IoRequest failed_request_;
};

// Nanoseconds of a steady clock: the latency counter of these workloads.
uint64_t window_counter_ns();

}  // namespace tb
