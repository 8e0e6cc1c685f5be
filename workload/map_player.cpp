#include "workload/map_player.h"

#include <chrono>
#include <thread>

#include "script/error_policy.h"
#include "workload/aligned_buffer.h"

namespace tb {

namespace {

using Clock = std::chrono::steady_clock;

enum class SlotState : uint8_t { Free, Busy, ReadingBack };

struct Slot {
    SlotState state = SlotState::Free;
    PlannedIo io;
};

uint64_t ms_since(Clock::time_point t) {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class Player {
public:
    Player(IoTarget& target, RequestSource& source, DataPolicy& policy, const MapPlayOptions& o, MapPlayResult& r)
        : target_(target), source_(source), policy_(policy), o_(o), r_(r), slots_(o.queue_depth) {}

    void run();

private:
    std::span<uint8_t> write_buffer(uint32_t s) { return {buffers_.data() + size_t{s} * 2 * o_.request_size, o_.request_size}; }
    std::span<uint8_t> read_buffer(uint32_t s) { return {write_buffer(s).data() + o_.request_size, o_.request_size}; }
    bool issue_free_slots();
    bool submit(uint32_t s, const IoRequest& req);
    void complete(uint32_t s, int32_t result);
    void fail(int32_t code, uint64_t offset);
    void pace();
    void finish_request(uint32_t s, bool completed);

    IoTarget& target_;
    RequestSource& source_;
    DataPolicy& policy_;
    const MapPlayOptions& o_;
    MapPlayResult& r_;
    std::vector<Slot> slots_;
    AlignedBuffer buffers_;
    std::unique_ptr<IoQueue> queue_;
    uint32_t busy_ = 0;
    bool ended_ = false, stopping_ = false, paused_ = false, phase_open_ = false;
    Clock::time_point phase_start_{}, last_progress_{};
};

void Player::fail(int32_t code, uint64_t offset) {
    if (r_.code != 1 || r_.cancelled) return;
    r_.code = code;
    r_.position = offset;
    stopping_ = true;
}

void Player::pace() {
    if (o_.step_delay_sec == 0) return;
    if (!phase_open_) {
        if (!paused_) {
            paused_ = true;
            phase_start_ = Clock::now();
        }
        if (ms_since(phase_start_) < uint64_t{o_.step_delay_sec} * 1000) return;
        paused_ = false;
        phase_open_ = true;
        phase_start_ = Clock::now();
        last_progress_ = Clock::now();
        return;
    }
    if (o_.step_run_sec && ms_since(phase_start_) >= uint64_t{o_.step_run_sec} * 1000) phase_open_ = false;
}

bool Player::submit(uint32_t s, const IoRequest& req) {
    SubmitResult sr = queue_->submit(req);
    ++busy_;
    if (sr.status == SubmitStatus::Pending) return true;
    complete(s, sr.result);
    return sr.status == SubmitStatus::Done;
}

bool Player::issue_free_slots() {
    bool issued = false;
    for (uint32_t s = 0; s < slots_.size() && !stopping_ && !ended_; ++s) {
        if (slots_[s].state != SlotState::Free) continue;
        pace();
        if (o_.step_delay_sec && !phase_open_) break;
        PlannedIo io;
        const Draw d = source_.next(s, io);
        if (d.status == DrawStatus::Ended) {
            ended_ = true;
            break;
        }
        if (d.status != DrawStatus::Ready) break;
        if (o_.progress && !o_.progress->reserve(static_cast<uint32_t>(io.record))) {
            // Without a record of what is issued a later compare could not be
            // trusted: stop before the request goes out.
            source_.done(s, io);
            fail(kErrOutputFile, io.offset);
            break;
        }
        if (o_.progress) o_.progress->issued();
        slots_[s].state = SlotState::Busy;
        slots_[s].io = io;
        IoRequest req;
        req.offset = io.offset;
        req.length = io.length;
        req.tag = s;
        switch (io.action) {
            case IoAction::Flush: req.op = IoOp::Flush; break;
            case IoAction::Trim: req.op = IoOp::Trim; break;
            default:
                req.op = IoOp::Write;
                req.fua = io.action == IoAction::FuaWrite;
                req.data = write_buffer(s).data();
                policy_.prepare_write(slots_[s].io, write_buffer(s));
                ++r_.writes_issued;
                break;
        }
        r_.position = io.offset;
        issued = true;
        submit(s, req);
    }
    return issued;
}

void Player::finish_request(uint32_t s, bool completed) {
    Slot& slot = slots_[s];
    if (completed && o_.progress) {
        const uint32_t record = static_cast<uint32_t>(slot.io.record);
        if (!(slot.io.action == IoAction::Flush ? o_.progress->flushed(record) : o_.progress->completed(record)))
            fail(kErrOutputFile, slot.io.offset);
    }
    source_.done(s, slot.io);
    slot.state = SlotState::Free;
}

void Player::complete(uint32_t s, int32_t result) {
    if (busy_) --busy_;
    last_progress_ = Clock::now();
    Slot& slot = slots_[s];
    const PlannedIo& io = slot.io;
    const bool ok = io.action == IoAction::Flush || io.action == IoAction::Trim ? result >= 0
                                                                                : result == static_cast<int32_t>(io.length);
    if (slot.state == SlotState::ReadingBack) {
        if (!ok) {
            fail(kErrReadIO, io.offset);
        } else if (auto wrong = policy_.check(io, write_buffer(s), read_buffer(s)); wrong && r_.code == 1) {
            r_.failed_io = io;
            r_.first_wrong_sector = *wrong;
            r_.written.assign(write_buffer(s).begin(), write_buffer(s).end());
            r_.read.assign(read_buffer(s).begin(), read_buffer(s).end());
            fail(kErrMiscompareThenCorrect, io.offset);
        }
        slot.state = SlotState::Free;
        source_.done(s, io);
        return;
    }
    if (!ok) {
        fail(io.action == IoAction::Flush || io.action == IoAction::Trim ? kErrIoControl : kErrWriteIO, io.offset);
        source_.done(s, io);
        slot.state = SlotState::Free;
        return;
    }
    if (is_write(io.action)) ++r_.writes_completed;
    if (!stopping_ && policy_.wants_read_back(s, io)) {
        if (o_.progress) o_.progress->completed(static_cast<uint32_t>(io.record));
        slot.state = SlotState::ReadingBack;
        IoRequest req{IoOp::Read, io.offset, read_buffer(s).data(), io.length, s};
        submit(s, req);
        return;
    }
    finish_request(s, true);
}

void Player::run() {
    if (!buffers_.allocate(size_t{o_.queue_depth} * 2 * o_.request_size)) {
        r_.code = kErrHostMemory;
        return;
    }
    queue_ = target_.make_queue(o_.queue_depth, buffers_.span());
    if (!queue_) {
        r_.code = kErrOpenDisk;
        return;
    }
    last_progress_ = Clock::now();
    Clock::time_point last_tick = Clock::now();
    std::vector<IoCompletion> done(o_.queue_depth);
    while (true) {
        if (!stopping_ && o_.stop && o_.stop()) {
            r_.cancelled = true;
            stopping_ = true;
            for (uint32_t s = 0; s < slots_.size(); ++s)
                if (slots_[s].state != SlotState::Free) queue_->cancel(s);
        }
        if (o_.tick && ms_since(last_tick) >= 100) {
            o_.tick();
            last_tick = Clock::now();
        }
        issue_free_slots();
        if (busy_ == 0) {
            if (ended_ || stopping_) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(paused_ ? 10 : 1));
            continue;
        }
        queue_->kick();
        const size_t n = queue_->wait(done, 10000);
        for (size_t i = 0; i < n; ++i) complete(static_cast<uint32_t>(done[i].tag), done[i].result);
        if (n == 0 && ms_since(last_progress_) >= o_.timeout_ms) {
            fail(kErrIoTimeout, r_.position);
            break;  // what is still in flight is abandoned
        }
    }
}

}  // namespace

void play_requests(IoTarget& target, RequestSource& source, DataPolicy& policy, const MapPlayOptions& options,
                   MapPlayResult& result) {
    Player(target, source, policy, options, result).run();
}

}  // namespace tb
