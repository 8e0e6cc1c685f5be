#include "platform/windows/disk_io_queue.h"

#include <winioctl.h>

#include <algorithm>
#include <cerrno>
#include <deque>

#include "disk/windows_requests.h"
#include "platform/windows_io_rules.h"

namespace tb::windisk {

namespace {

// One request in flight. The OVERLAPPED lives in a separate array so that a
// completion finds its slot by position.
struct Slot {
    bool busy = false;
    uint64_t tag = 0;
    HANDLE handle = nullptr;
    host::HostHandle event;  // events mode only
};

host::HostHandle open_handle(const std::wstring& path, uint32_t flags) {
    return host::HostHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          flags | winio::kAttributeNormal, nullptr));
}

// A request that runs to its end inside the call: an event whose low bit is
// set keeps the completion away from the port.
class SyncWait {
public:
    SyncWait() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        ov_.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(event_.get()) | 1);
    }
    OVERLAPPED* overlapped() { return &ov_; }
    bool valid() const { return static_cast<bool>(event_); }
    // The outcome of a call that returned `started`.
    bool finish(HANDLE h, BOOL started, DWORD& bytes, uint32_t& error) {
        if (!started && ::GetLastError() != winio::kErrorIoPending) {
            error = ::GetLastError();
            return false;
        }
        if (!::GetOverlappedResult(h, &ov_, &bytes, TRUE)) {
            error = ::GetLastError();
            return false;
        }
        return true;
    }

private:
    host::HostHandle event_;
    OVERLAPPED ov_{};
};

class DiskIoQueue final : public IoQueue {
public:
    DiskIoQueue(const QueuePath& path, uint32_t depth, bool async)
        : path_(path), async_(async), slots_(depth ? depth : 1), overlapped_(new OVERLAPPED[slots_.size()]{}) {}

    // Opens the handle and the port (or the slots' events); the -errno of
    // what failed, else 0.
    int32_t open() {
        if (path_.shared) {
            handle_ = path_.shared;
            for (Slot& s : slots_) {
                s.event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
                if (!s.event) return winio::errno_from_system_error(::GetLastError());
            }
            return 0;
        }
        own_.reset();
        own_ = open_handle(path_.path, path_.flags);
        if (!own_) return winio::errno_from_system_error(::GetLastError());
        handle_ = own_.get();
        port_.reset(::CreateIoCompletionPort(handle_, nullptr, 0, 1));
        if (!port_) return winio::errno_from_system_error(::GetLastError());
        return 0;
    }

    ~DiskIoQueue() override {
        // The system writes into the slots until each request is over.
        if (in_flight_ == 0) return;
        // Only this queue's requests: a shared handle carries other queues' too.
        for (size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].busy) ::CancelIoEx(slots_[i].handle, &overlapped_[i]);
        std::vector<IoCompletion> sink(slots_.size());
        for (int rounds = 0; in_flight_ > 0 && rounds < 600; ++rounds) wait(sink, 100000);
    }

    SubmitResult submit(const IoRequest& r) override {
        switch (r.op) {
            case IoOp::Flush: return run_now(r, ::FlushFileBuffers(handle_) ? 0 : failure());
            case IoOp::Trim: return run_now(r, trim(r));
            case IoOp::Read:
            case IoOp::Write: break;
        }
        HANDLE h = handle_;
        if (r.op == IoOp::Write && r.fua) {
            h = write_through_handle();
            if (!h) return {SubmitStatus::Failed, winio::errno_from_system_error(::GetLastError())};
        }
        const size_t index = free_slot();
        if (index == slots_.size()) return {SubmitStatus::Failed, -EBUSY};
        Slot& s = slots_[index];
        OVERLAPPED& ov = overlapped_[index];
        ov = OVERLAPPED{};
        ov.Offset = static_cast<DWORD>(r.offset);
        ov.OffsetHigh = static_cast<DWORD>(r.offset >> 32);
        if (s.event) {
            ::ResetEvent(s.event.get());
            ov.hEvent = s.event.get();
        }
        const BOOL started = r.op == IoOp::Read ? ::ReadFile(h, r.data, r.length, nullptr, &ov)
                                                : ::WriteFile(h, r.data, r.length, nullptr, &ov);
        if (!started && ::GetLastError() != winio::kErrorIoPending)
            return {SubmitStatus::Failed, winio::errno_from_system_error(::GetLastError())};
        s.busy = true;
        s.tag = r.tag;
        s.handle = h;
        ++in_flight_;
        if (!async_) settle(index);
        return {SubmitStatus::Pending, 0};
    }

    size_t poll(std::span<IoCompletion> out) override {
        size_t n = take_ready(out);
        if (n < out.size()) n += reap(out.subspan(n), 0);
        return n;
    }

    size_t wait(std::span<IoCompletion> out, uint32_t timeout_us) override {
        size_t n = poll(out);
        if (n || out.empty()) return n;
        const DWORD ms = static_cast<DWORD>((uint64_t{timeout_us} + 999) / 1000);
        return reap(out, ms);
    }

    void cancel(uint64_t tag) override {
        for (size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].busy && slots_[i].tag == tag) ::CancelIoEx(slots_[i].handle, &overlapped_[i]);
    }

private:
    static int32_t failure() { return winio::errno_from_system_error(::GetLastError()); }

    // A request done inside submit(): trims and flushes (and every request
    // of a synchronous queue) report through the next poll().
    SubmitResult run_now(const IoRequest& r, int32_t result) {
        if (async_) return {result < 0 ? SubmitStatus::Failed : SubmitStatus::Done, result};
        ready_.push_back({r.tag, result});
        return {SubmitStatus::Pending, 0};
    }

    int32_t trim(const IoRequest& r) {
        if (!path_.block_device) return -EOPNOTSUPP;
        std::vector<uint8_t> request = winreq::build_trim_request(r.offset, r.length);
        SyncWait sync;
        if (!sync.valid()) return failure();
        DWORD bytes = 0;
        uint32_t error = 0;
        const BOOL started = ::DeviceIoControl(handle_, winreq::kIoctlStorageManageDataSetAttributes,
                                               request.data(), static_cast<DWORD>(request.size()), nullptr, 0,
                                               nullptr, sync.overlapped());
        if (!sync.finish(handle_, started, bytes, error)) return winio::errno_from_system_error(error);
        return static_cast<int32_t>(r.length);
    }

    HANDLE write_through_handle() {
        if (path_.shared) return handle_;  // a locked volume has one handle
        if (!write_through_) {
            write_through_ = open_handle(path_.path, path_.flags | winio::kFlagWriteThrough);
            if (!write_through_) return nullptr;
            if (!::CreateIoCompletionPort(write_through_.get(), port_.get(), 0, 1)) {
                write_through_.reset();
                return nullptr;
            }
        }
        return write_through_.get();
    }

    size_t free_slot() const {
        for (size_t i = 0; i < slots_.size(); ++i)
            if (!slots_[i].busy) return i;
        return slots_.size();
    }

    // Completes slot `index` and keeps its completion for the next poll().
    void complete(size_t index) {
        Slot& s = slots_[index];
        DWORD bytes = 0;
        const BOOL ok = ::GetOverlappedResult(s.handle, &overlapped_[index], &bytes, FALSE);
        ready_.push_back({s.tag, winio::completion_result(ok != FALSE, bytes, ok ? 0 : ::GetLastError())});
        s.busy = false;
        --in_flight_;
    }

    // A synchronous queue waits for its one request inside submit().
    void settle(size_t index) {
        while (slots_[index].busy) {
            if (port_) drain_port(INFINITE);
            else {
                DWORD bytes = 0;
                ::GetOverlappedResult(slots_[index].handle, &overlapped_[index], &bytes, TRUE);
                complete(index);
            }
        }
    }

    size_t take_ready(std::span<IoCompletion> out) {
        const size_t n = std::min(out.size(), ready_.size());
        std::copy_n(ready_.begin(), n, out.begin());
        ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

    // Moves finished requests to the ready list, waiting at most `ms` for
    // the first; then hands out what is ready.
    size_t reap(std::span<IoCompletion> out, DWORD ms) {
        if (in_flight_ == 0) return take_ready(out);
        if (port_) drain_port(ms);
        else drain_events(ms);
        return take_ready(out);
    }

    void drain_port(DWORD ms) {
        OVERLAPPED_ENTRY entries[64];
        ULONG removed = 0;
        if (!::GetQueuedCompletionStatusEx(port_.get(), entries, 64, &removed, ms, FALSE)) return;
        for (ULONG i = 0; i < removed; ++i) {
            const ptrdiff_t index = entries[i].lpOverlapped - overlapped_.get();
            if (index >= 0 && static_cast<size_t>(index) < slots_.size() && slots_[index].busy)
                complete(static_cast<size_t>(index));
        }
    }

    void drain_events(DWORD ms) {
        HANDLE events[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        for (size_t i = 0; i < slots_.size() && count < MAXIMUM_WAIT_OBJECTS; ++i)
            if (slots_[i].busy) events[count++] = slots_[i].event.get();
        if (count == 0 || ::WaitForMultipleObjects(count, events, FALSE, ms) == WAIT_TIMEOUT) return;
        for (size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].busy && HasOverlappedIoCompleted(&overlapped_[i])) complete(i);
    }

    QueuePath path_;
    bool async_;
    std::vector<Slot> slots_;
    std::unique_ptr<OVERLAPPED[]> overlapped_;
    host::HostHandle own_, write_through_, port_;
    HANDLE handle_ = nullptr;
    size_t in_flight_ = 0;
    std::deque<IoCompletion> ready_;
};

// A queue whose handle could not be opened: every request fails with why.
class RefusingQueue final : public IoQueue {
public:
    explicit RefusingQueue(int32_t reason) : reason_(reason) {}
    SubmitResult submit(const IoRequest&) override { return {SubmitStatus::Failed, reason_}; }
    size_t poll(std::span<IoCompletion>) override { return 0; }
    size_t wait(std::span<IoCompletion>, uint32_t) override { return 0; }
    void cancel(uint64_t) override {}

private:
    int32_t reason_;
};

}  // namespace

std::unique_ptr<IoQueue> make_disk_io_queue(const QueuePath& path, uint32_t depth, bool async) {
    auto q = std::make_unique<DiskIoQueue>(path, depth, async);
    if (int32_t reason = q->open(); reason < 0) return std::make_unique<RefusingQueue>(reason);
    return q;
}

}  // namespace tb::windisk
