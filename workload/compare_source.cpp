#include "workload/compare_source.h"

#include <utility>

#include "workload/byte_budget.h"
#include "workload/engine.h"

namespace tb {

namespace {

// Draws of a random unit before a stream whose units are all in flight
// waits for one to come free.
constexpr int kDrawAttempts = 16;

}  // namespace

CompareSource::CompareSource(CompareSourceSettings settings)
    : s_(std::move(settings)),
      stripes_(s_.request_size ? s_.range_bytes / s_.request_size : 0, s_.streams),
      cursor_(s_.start_offset) {}

void CompareSource::use_budget(ByteBudget& budget) {
    std::lock_guard l(m_);
    budget_ = &budget;
}

uint64_t CompareSource::last_sequence() const {
    std::lock_guard l(m_);
    return sequence_;
}

bool CompareSource::paused() {
    if (s_.step_delay_sec == 0) return false;
    const uint64_t now = workload_ms();
    if (run_open_) {
        if (s_.step_run_sec == 0 || now < run_until_ms_) return false;
        run_open_ = false;  // the run phase is over: pause again
        pause_until_ms_ = 0;
    }
    if (pause_until_ms_ == 0) pause_until_ms_ = now + uint64_t{s_.step_delay_sec} * 1000;
    if (now < pause_until_ms_) return true;
    run_open_ = true;
    run_until_ms_ = now + uint64_t{s_.step_run_sec} * 1000;
    return false;
}

// Where the action goes; false when every candidate offset is in flight.
bool CompareSource::place(uint32_t stream, IoAction action, uint64_t& offset, bool& takes_cursor) {
    takes_cursor = false;
    if (action == IoAction::Flush) {
        offset = 0;
        return true;
    }
    if (s_.random || action == IoAction::Trim) {
        for (int i = 0; i < kDrawAttempts; ++i) {
            uint64_t unit;
            if (!stripes_.draw(stream, unit)) return false;
            offset = s_.start_offset + unit * s_.request_size;
            if (!in_flight_.contains(offset)) return true;
        }
        return false;
    }
    offset = cursor_;
    takes_cursor = true;
    return !in_flight_.contains(offset);
}

Draw CompareSource::next(uint32_t stream, PlannedIo& out) {
    std::lock_guard l(m_);
    if (paused()) return {DrawStatus::Paused};
    const IoAction action = s_.actions.empty() ? IoAction::Write : s_.actions[action_index_];
    uint64_t offset;
    bool takes_cursor;
    if (!place(stream, action, offset, takes_cursor)) return {DrawStatus::Wait};
    const uint32_t length = action == IoAction::Flush ? 0 : s_.request_size;
    Draw d;
    if (budget_) {
        switch (budget_->take(length, d.fills_cycle, d.fills_limit)) {
        case ByteBudget::Take::LimitReached: return {DrawStatus::LimitReached};
        case ByteBudget::Take::CycleFull: return {DrawStatus::CycleDone};
        case ByteBudget::Take::Granted: break;
        }
    }
    // The request is out: everything it took moves on.
    if (!s_.actions.empty()) action_index_ = (action_index_ + 1) % s_.actions.size();
    if (takes_cursor) {
        cursor_ += s_.request_size;
        if (cursor_ + s_.request_size > s_.start_offset + s_.range_bytes) cursor_ = s_.start_offset;
    }
    out = PlannedIo{};
    out.action = action;
    out.offset = offset;
    out.length = length;
    out.record = draws_++;
    if (is_write(action)) out.sequence = ++sequence_;
    if (action != IoAction::Flush) in_flight_.add(offset);
    d.status = DrawStatus::Ready;
    return d;
}

void CompareSource::done(uint32_t, const PlannedIo& io) {
    if (io.action == IoAction::Flush) return;
    std::lock_guard l(m_);
    in_flight_.remove(io.offset);
}

}  // namespace tb
