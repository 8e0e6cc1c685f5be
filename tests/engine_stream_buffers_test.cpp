// The engine's streams on a target that moves data only when a request
// completes, in reverse order of submission (as a real device may): every
// request in flight has memory of its own, and a data policy's read-backs
// see the data of their own request.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "workload/compare_source.h"
#include "workload/engine.h"
#include "workload/aligned_buffer.h"
#include "workload/pattern.h"
#include "workload/request_window.h"
#include "workload/stamp_policy.h"

namespace tb {
namespace {

// A disk in memory whose requests transfer their data when they complete.
class DeferredDisk {
public:
    explicit DeferredDisk(uint64_t bytes, uint8_t fill = 0) : bytes_(bytes, fill) {}

    // Called at submission: notes the buffer; a buffer already held by a
    // request in flight is an overlap.
    void submitted(const IoRequest& r) {
        std::lock_guard l(m_);
        if (!r.data) return;
        if (busy_.count(r.data)) ++overlaps_;
        if (busy_reads_.count(r.data) || (r.op == IoOp::Read && busy_.count(r.data))) ++read_overlaps_;
        busy_.insert(r.data);
        if (r.op == IoOp::Read) busy_reads_.insert(r.data);
        ++requests_;
    }
    int32_t complete(const IoRequest& r) {
        std::lock_guard l(m_);
        if (r.offset + r.length > bytes_.size()) return -EIO;
        switch (r.op) {
        case IoOp::Write: std::memcpy(bytes_.data() + r.offset, r.data, r.length); break;
        case IoOp::Read: std::memcpy(r.data, bytes_.data() + r.offset, r.length); break;
        case IoOp::Trim: std::memset(bytes_.data() + r.offset, 0, r.length); break;
        case IoOp::Flush: return 0;
        }
        if (auto it = busy_.find(r.data); it != busy_.end()) busy_.erase(it);
        if (r.op == IoOp::Read)
            if (auto it = busy_reads_.find(r.data); it != busy_reads_.end()) busy_reads_.erase(it);
        return static_cast<int32_t>(r.length);
    }
    uint32_t overlaps() const {
        std::lock_guard l(m_);
        return overlaps_;
    }
    // Overlaps where a read was one of the two.
    uint32_t read_overlaps() const {
        std::lock_guard l(m_);
        return read_overlaps_;
    }
    uint64_t requests() const {
        std::lock_guard l(m_);
        return requests_;
    }
    std::vector<uint8_t> copy() const {
        std::lock_guard l(m_);
        return bytes_;
    }

private:
    mutable std::mutex m_;
    std::vector<uint8_t> bytes_;
    std::multiset<const uint8_t*> busy_, busy_reads_;
    uint32_t overlaps_ = 0, read_overlaps_ = 0;
    uint64_t requests_ = 0;
};

class DeferredQueue final : public IoQueue {
public:
    explicit DeferredQueue(DeferredDisk& disk) : disk_(disk) {}
    SubmitResult submit(const IoRequest& r) override {
        disk_.submitted(r);
        pending_.push_back(r);
        return {SubmitStatus::Pending, 0};
    }
    size_t poll(std::span<IoCompletion> out) override {
        // Everything submitted completes, the newest first.
        size_t n = 0;
        while (!pending_.empty() && n < out.size()) {
            const IoRequest r = pending_.back();
            pending_.pop_back();
            out[n++] = {r.tag, disk_.complete(r)};
        }
        return n;
    }
    size_t wait(std::span<IoCompletion> out, uint32_t) override {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        return poll(out);
    }
    void cancel(uint64_t) override {}

private:
    DeferredDisk& disk_;
    std::vector<IoRequest> pending_;
};

class DeferredTarget final : public IoTarget {
public:
    explicit DeferredTarget(DeferredDisk& disk) : disk_(disk) {}
    uint64_t size_bytes() const override { return 64ull << 20; }
    uint32_t sector_size() const override { return 512; }
    std::unique_ptr<IoQueue> make_queue(uint32_t, std::span<uint8_t>) override {
        return std::make_unique<DeferredQueue>(disk_);
    }
    std::string describe() const override { return "deferred"; }

private:
    DeferredDisk& disk_;
};

PerfParams params_on(DeferredDisk& disk, std::atomic<bool>& cancel) {
    PerfParams p;
    p.cancel = &cancel;
    p.open = [&disk]() { return std::make_unique<DeferredTarget>(disk); };
    p.on_status = [](const std::string&) {};
    p.processors = 2;
    p.rate = 10;
    p.sector_size = 512;
    return p;
}

TEST(EngineStreamBuffers, NoTwoRequestsInFlightShareMemory) {
    for (uint32_t write_ratio : {0u, 100u, 50u}) {
        DeferredDisk disk(8ull << 20);
        std::atomic<bool> cancel{false};
        PerfParams p = params_on(disk, cancel);
        p.write_ratio = write_ratio;
        p.random_ratio = 100;
        p.range_mb = 8;
        p.request_size = 4096;
        p.queue_depth = 16;
        p.limit_mb = 4;
        WorkloadResult r;
        ASSERT_EQ(run_performance(p, r), 1);
        EXPECT_EQ(disk.requests(), 1024u);
        EXPECT_EQ(disk.overlaps(), 0u) << "write ratio " << write_ratio;
    }
}

TEST(EngineStreamBuffers, ReadBacksSeeTheirOwnRequestsData) {
    DeferredDisk disk(4ull << 20);
    std::atomic<bool> cancel{false};
    PerfParams p = params_on(disk, cancel);
    p.range_mb = 4;
    p.request_size = 8192;
    p.queue_depth = 16;
    p.limit_mb = 8;  // every unit written about twice
    CompareSourceSettings cs;
    cs.random = true;
    cs.range_bytes = 4ull << 20;
    cs.request_size = 8192;
    cs.streams = 16;
    CompareSource source(std::move(cs));
    StampedPatternPolicy policy(kPatternAuto, 512, 1, 16);
    p.make_source = [&source](const SourcePlace&, ByteBudget& budget) {
        source.use_budget(budget);
        return std::make_unique<SharedSourceHandle>(source);
    };
    p.policy = &policy;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1) << "first wrong offset " << r.miscompare.first_wrong_offset;
    EXPECT_FALSE(r.miscompared);
    EXPECT_EQ(disk.overlaps(), 0u);
    EXPECT_EQ(policy.read_backs(), 1024u);
    EXPECT_EQ(source.last_sequence(), 1024u);
    // What landed: every written sector carries its own LBA and a sequence
    // number that was handed out.
    const std::vector<uint8_t> bytes = disk.copy();
    for (uint64_t s = 0; s < bytes.size() / 512; ++s) {
        const uint8_t* at = bytes.data() + s * 512;
        if (get_be64(at + 8) == 0) continue;  // never written
        ASSERT_EQ(get_be64(at), s);
        ASSERT_LE(get_be64(at + 8), 1024u);
    }
}

TEST(EngineStreamBuffers, AChangedSectorIsReportedWithBothBuffers) {
    DeferredDisk disk(1ull << 20);
    std::atomic<bool> cancel{false};
    PerfParams p = params_on(disk, cancel);
    p.range_mb = 1;
    p.request_size = 4096;
    p.queue_depth = 4;
    CompareSourceSettings cs;
    cs.range_bytes = 1ull << 20;
    cs.request_size = 4096;
    cs.streams = 4;
    CompareSource source(std::move(cs));
    // A policy whose check finds the third sector of the fifth write wrong.
    struct Picky final : DataPolicy {
        StampedPatternPolicy inner{0x11223344, 512, 1, 4};
        void prepare_write(PlannedIo& io, std::span<uint8_t> d) override { inner.prepare_write(io, d); }
        bool wants_read_back(uint32_t s, const PlannedIo& io) override { return inner.wants_read_back(s, io); }
        std::optional<uint32_t> check(const PlannedIo& io, std::span<const uint8_t> w,
                                      std::span<const uint8_t> r) const override {
            if (io.sequence == 5) return 2u;
            return inner.check(io, w, r);
        }
        void expected_data(const PlannedIo& io, std::span<uint8_t> out) const override {
            inner.expected_data(io, out);
        }
    } policy;
    p.make_source = [&source](const SourcePlace&, ByteBudget& budget) {
        source.use_budget(budget);
        return std::make_unique<SharedSourceHandle>(source);
    };
    p.policy = &policy;
    WorkloadResult r;
    EXPECT_EQ(run_performance(p, r), -70);
    ASSERT_TRUE(r.miscompared);
    EXPECT_EQ(r.miscompare.io.sequence, 5u);
    EXPECT_EQ(r.miscompare.io.offset, 4u * 4096);
    EXPECT_EQ(r.miscompare.first_wrong_offset, 4u * 4096 + 2 * 512);
    EXPECT_EQ(r.position, 4u * 4096);
    ASSERT_EQ(r.miscompare.expected.size(), 4096u);
    EXPECT_EQ(r.miscompare.expected, r.miscompare.read);  // the read itself was right
    EXPECT_EQ(get_be64(r.miscompare.expected.data() + 2 * 512), 4u * 8 + 2);
    EXPECT_EQ(get_be64(r.miscompare.expected.data() + 8), 5u);
}

TEST(RequestWindowBuffers, ReadsWithoutMemoryLandInTheirOwnPlaces) {
    DeferredDisk disk(1ull << 20, 0xC3);
    DeferredTarget target(disk);
    constexpr uint32_t kDepth = 8, kSize = 4096;
    AlignedBuffer memory(kSize * (1 + kDepth));
    ASSERT_TRUE(memory);
    pattern_fill_value(memory.span().first(kSize), 0x5A5A5A5A);
    RequestWindow window(target, kDepth, memory.span(), nullptr, [] { return false; });
    window.set_read_area(memory.span().subspan(kSize), kSize);
    WorkloadRandom rng(7);
    for (int i = 0; i < 400; ++i) {
        IoRequest r;
        const bool write = i % 3 == 0;
        r.op = write ? IoOp::Write : IoOp::Read;
        r.offset = rng.below(256) * uint64_t{kSize};
        r.length = kSize;
        r.data = write ? memory.data() : nullptr;  // writes share the read-only pattern
        ASSERT_TRUE(window.submit(r));
    }
    ASSERT_TRUE(window.drain());
    // Only the writes, which all send the same unchanged pattern, met on
    // one buffer; the pattern is still intact, and every unit holds either
    // its old bytes or the pattern.
    EXPECT_EQ(disk.requests(), 400u);
    EXPECT_EQ(disk.read_overlaps(), 0u);
    std::vector<uint8_t> pattern(kSize);
    pattern_fill_value(pattern, 0x5A5A5A5A);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), memory.data()));
    const std::vector<uint8_t> bytes = disk.copy();
    for (uint64_t unit = 0; unit < 256; ++unit) {
        const uint8_t* at = bytes.data() + unit * kSize;
        EXPECT_TRUE(std::all_of(at, at + kSize, [at](uint8_t b) { return b == at[0]; })) << unit;
        EXPECT_TRUE(at[0] == 0xC3 || at[0] == 0x5A) << unit;
    }
}

}  // namespace
}  // namespace tb
