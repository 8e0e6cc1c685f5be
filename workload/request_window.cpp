#include "workload/request_window.h"

#include <array>
#include <chrono>

namespace tb {

uint64_t window_counter_ns() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

RequestWindow::RequestWindow(IoTarget& target, uint32_t depth, std::span<uint8_t> buffer, LatencyHistogram* latency,
                             std::function<bool()> stop)
    : queue_(target.make_queue(depth ? depth : 1, buffer)),
      slots_(depth ? depth : 1),
      latency_(latency),
      stop_(std::move(stop)),
      last_progress_ms_(workload_ms()) {}

RequestWindow::~RequestWindow() {
    // Requests still in flight are cancelled; their buffers belong to the
    // caller, who lets them go only after the window.
    if (!queue_ || in_flight_ == 0) return;
    for (size_t i = 0; i < slots_.size(); ++i)
        if (slots_[i].busy) queue_->cancel(i);
    std::array<IoCompletion, 64> done;
    for (int tries = 0; tries < 100 && in_flight_ > 0; ++tries) {
        size_t n = queue_->wait(done, 10000);
        for (size_t k = 0; k < n; ++k)
            if (done[k].tag < slots_.size() && slots_[done[k].tag].busy) {
                slots_[done[k].tag].busy = false;
                --in_flight_;
            }
    }
}

void RequestWindow::set_read_area(std::span<uint8_t> area, uint32_t stride) {
    if (stride == 0 || area.size() / stride < slots_.size()) return;
    read_area_ = area;
    read_stride_ = stride;
}

bool RequestWindow::reap(bool block) {
    std::array<IoCompletion, 64> done;
    size_t n = block ? queue_->wait(done, 10000) : queue_->poll(done);
    uint64_t now = window_counter_ns();
    for (size_t k = 0; k < n; ++k) {
        const IoCompletion& c = done[k];
        if (c.tag >= slots_.size() || !slots_[c.tag].busy) continue;
        Slot& s = slots_[c.tag];
        s.busy = false;
        --in_flight_;
        if (latency_) latency_->add(now - s.issued_at);
        bool expected = s.request.op == IoOp::Flush ? c.result >= 0 : c.result == static_cast<int32_t>(s.request.length);
        if (!expected && !failed_) {
            failed_ = true;
            failed_request_ = s.request;
        }
    }
    uint64_t ms = workload_ms();
    if (n) last_progress_ms_ = ms;
    else if (in_flight_ && ms - last_progress_ms_ >= 30000) stalled_ = true;
    if (!stopped_ && stop_ && stop_()) stopped_ = true;
    return !failed_ && !stalled_ && !stopped_;
}

bool RequestWindow::submit(const IoRequest& request) {
    if (!queue_ || failed_ || stalled_ || stopped_) return false;
    if (!reap(false)) return false;
    while (in_flight_ == slots_.size())
        if (!reap(true)) return false;
    size_t i = 0;
    while (slots_[i].busy) ++i;
    Slot& s = slots_[i];
    s.request = request;
    s.request.tag = i;
    if (s.request.op == IoOp::Read && !s.request.data && read_stride_ && request.length <= read_stride_)
        s.request.data = read_area_.data() + i * size_t{read_stride_};
    s.issued_at = window_counter_ns();
    SubmitResult r = queue_->submit(s.request);
    if (r.status == SubmitStatus::Pending) {
        s.busy = true;
        ++in_flight_;
        queue_->kick();
        return true;
    }
    bool expected = request.op == IoOp::Flush ? r.result >= 0 : r.result == static_cast<int32_t>(request.length);
    if (r.status == SubmitStatus::Done && expected) return true;
    failed_ = true;
    failed_request_ = s.request;
    return false;
}

bool RequestWindow::drain() {
    if (!queue_) return false;
    while (in_flight_ > 0)
        if (!reap(true)) return false;
    return !failed_ && !stalled_ && !stopped_;
}

bool RequestWindow::run_one(const IoRequest& request) { return drain() && submit(request) && drain(); }

}  // namespace tb
