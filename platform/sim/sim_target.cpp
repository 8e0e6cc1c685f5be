#include "platform/sim/sim_target.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "common/format.h"
#include "platform/sim/backing_store.h"
#include "platform/sim/host_file.h"

namespace tb {

namespace {

// Where the bytes live.
class Medium {
public:
    virtual ~Medium() = default;
    virtual uint64_t size() const = 0;
    virtual bool read(uint64_t offset, uint8_t* out, uint32_t length) = 0;
    virtual bool write(uint64_t offset, const uint8_t* in, uint32_t length, bool fua) = 0;
    virtual bool trim(uint64_t offset, uint64_t length) = 0;
    virtual bool flush() = 0;
    virtual std::string describe() const = 0;
};

class StoreMedium final : public Medium {
public:
    StoreMedium(sim::BackingStore& store, std::shared_ptr<sim::BackingStore> owned)
        : store_(store), owned_(std::move(owned)) {}
    uint64_t size() const override { return store_.size(); }
    bool read(uint64_t offset, uint8_t* out, uint32_t length) override {
        return store_.read(offset, std::span<uint8_t>(out, length));
    }
    bool write(uint64_t offset, const uint8_t* in, uint32_t length, bool fua) override {
        return store_.write(offset, std::span<const uint8_t>(in, length), fua);
    }
    bool trim(uint64_t offset, uint64_t length) override { return store_.trim(offset, length); }
    bool flush() override { return store_.flush(); }
    std::string describe() const override { return fmt("%s (simulated disk)", store_.path()); }

private:
    sim::BackingStore& store_;
    std::shared_ptr<sim::BackingStore> owned_;
};

class HostFileMedium final : public Medium {
public:
    HostFileMedium(sim::HostFile file, uint64_t size, std::string shown)
        : file_(std::move(file)), size_(size), shown_(std::move(shown)) {}
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, uint8_t* out, uint32_t length) override {
        return inside(offset, length) && file_.read_at(offset, std::span<uint8_t>(out, length));
    }
    bool write(uint64_t offset, const uint8_t* in, uint32_t length, bool fua) override {
        if (!inside(offset, length) || !file_.write_at(offset, std::span<const uint8_t>(in, length))) return false;
        return !fua || file_.sync();
    }
    bool trim(uint64_t offset, uint64_t length) override {
        return inside(offset, length) && file_.punch_hole(offset, length);
    }
    bool flush() override { return file_.sync(); }
    std::string describe() const override { return fmt("%s (positioned I/O)", shown_); }

private:
    bool inside(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    sim::HostFile file_;
    uint64_t size_;
    std::string shown_;
};

class MemoryMedium final : public Medium {
public:
    MemoryMedium(uint64_t size, bool keep) : size_(size) {
        if (keep) bytes_.assign(static_cast<size_t>(size), 0);
    }
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, uint8_t* out, uint32_t length) override {
        if (!inside(offset, length)) return false;
        std::lock_guard lock(m_);
        if (bytes_.empty()) std::memset(out, 0, length);
        else std::memcpy(out, bytes_.data() + offset, length);
        return true;
    }
    bool write(uint64_t offset, const uint8_t* in, uint32_t length, bool) override {
        if (!inside(offset, length)) return false;
        std::lock_guard lock(m_);
        if (!bytes_.empty()) std::memcpy(bytes_.data() + offset, in, length);
        return true;
    }
    bool trim(uint64_t offset, uint64_t length) override {
        if (!inside(offset, length)) return false;
        std::lock_guard lock(m_);
        if (!bytes_.empty()) std::memset(bytes_.data() + offset, 0, static_cast<size_t>(length));
        return true;
    }
    bool flush() override { return true; }
    std::string describe() const override { return "memory"; }

private:
    bool inside(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
    uint64_t size_;
    std::mutex m_;
    std::vector<uint8_t> bytes_;
};

using Clock = std::chrono::steady_clock;

struct Shared {
    std::unique_ptr<Medium> medium;
    SimIoHooks hooks;
    uint32_t sector = 512;
    std::mutex record_lock;
    uint32_t next_queue = 0;
};

class SimQueue final : public IoQueue {
public:
    SimQueue(Shared& shared, uint32_t number) : s_(shared), number_(number) {}

    SubmitResult submit(const IoRequest& r) override {
        if (s_.hooks.record) {
            std::lock_guard lock(s_.record_lock);
            s_.hooks.record(number_, r);
        }
        int32_t res = s_.hooks.error ? s_.hooks.error(r) : 0;
        if (res == 0) res = execute(r);
        if (s_.hooks.done) s_.hooks.done(r, res);
        int64_t latency = s_.hooks.latency_us ? s_.hooks.latency_us(r) : 0;
        if (s_.hooks.complete_inline && latency == 0)
            return {res < 0 ? SubmitStatus::Failed : SubmitStatus::Done, res};
        Pending p;
        p.tag = r.tag;
        p.result = res;
        p.never = latency < 0;
        p.due = Clock::now() + std::chrono::microseconds(latency < 0 ? 0 : latency);
        pending_.push_back(p);
        return {SubmitStatus::Pending, 0};
    }

    size_t poll(std::span<IoCompletion> out) override {
        size_t n = 0;
        auto now = Clock::now();
        for (size_t i = 0; i < pending_.size() && n < out.size();) {
            Pending& p = pending_[i];
            if (!p.never && p.due <= now) {
                out[n++] = {p.tag, p.result};
                pending_[i] = pending_.back();
                pending_.pop_back();
            } else {
                ++i;
            }
        }
        return n;
    }

    size_t wait(std::span<IoCompletion> out, uint32_t timeout_us) override {
        size_t n = poll(out);
        if (n) return n;
        auto until = Clock::now() + std::chrono::microseconds(timeout_us);
        for (const Pending& p : pending_)
            if (!p.never && p.due < until) until = p.due;
        std::this_thread::sleep_until(until);
        return poll(out);
    }

    void cancel(uint64_t tag) override {
        if (s_.hooks.ignore_cancel) return;
        for (Pending& p : pending_) {
            if (p.tag != tag) continue;
            p.never = false;
            p.due = Clock::now();
            p.result = -ECANCELED;
        }
    }

private:
    struct Pending {
        uint64_t tag = 0;
        int32_t result = 0;
        bool never = false;
        Clock::time_point due;
    };

    int32_t execute(const IoRequest& r) {
        Medium& m = *s_.medium;
        switch (r.op) {
        case IoOp::Read:
            return m.read(r.offset, r.data, r.length) ? static_cast<int32_t>(r.length) : -EIO;
        case IoOp::Write:
            return m.write(r.offset, r.data, r.length, r.fua) ? static_cast<int32_t>(r.length) : -EIO;
        case IoOp::Trim:
            return m.trim(r.offset, r.length) ? static_cast<int32_t>(r.length) : -EIO;
        case IoOp::Flush:
            return m.flush() ? 0 : -EIO;
        }
        return -EINVAL;
    }

    Shared& s_;
    uint32_t number_;
    std::vector<Pending> pending_;
};

class SimTarget final : public IoTarget {
public:
    SimTarget(std::unique_ptr<Medium> medium, uint32_t sector, SimIoHooks hooks) {
        s_.medium = std::move(medium);
        s_.sector = sector;
        s_.hooks = std::move(hooks);
    }
    uint64_t size_bytes() const override { return s_.medium->size(); }
    uint32_t sector_size() const override { return s_.sector; }
    std::unique_ptr<IoQueue> make_queue(uint32_t, std::span<uint8_t>) override {
        uint32_t number;
        {
            std::lock_guard lock(s_.record_lock);
            number = s_.next_queue++;
        }
        return std::make_unique<SimQueue>(s_, number);
    }
    std::string describe() const override { return s_.medium->describe(); }

private:
    Shared s_;
};

}  // namespace

std::unique_ptr<IoTarget> make_store_target(std::shared_ptr<sim::BackingStore> store, uint32_t sector_size,
                                            SimIoHooks hooks) {
    if (!store) return nullptr;
    sim::BackingStore& ref = *store;
    return std::make_unique<SimTarget>(std::make_unique<StoreMedium>(ref, std::move(store)), sector_size,
                                       std::move(hooks));
}

std::unique_ptr<IoTarget> make_host_file_target(sim::HostFile file, uint64_t size, std::string shown,
                                                uint32_t sector_size) {
    if (!file) return nullptr;
    return std::make_unique<SimTarget>(std::make_unique<HostFileMedium>(std::move(file), size, std::move(shown)),
                                       sector_size, SimIoHooks{});
}

std::unique_ptr<IoTarget> make_memory_target(uint64_t size, uint32_t sector_size, SimIoHooks hooks, bool keep_data) {
    return std::make_unique<SimTarget>(std::make_unique<MemoryMedium>(size, keep_data), sector_size, std::move(hooks));
}

}  // namespace tb
