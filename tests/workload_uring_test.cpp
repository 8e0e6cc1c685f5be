// The engine on this machine's files: the io_uring queue (O_DIRECT) and the
// synchronous fallback put the same bytes at the same places, and reads,
// trims and flushes complete through them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "workload/aligned_buffer.h"
#include "workload/engine.h"
#include "platform/linux/fd_target.h"

namespace tb {
namespace {

class WorkloadFdTarget : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        // A file system that takes O_DIRECT (tmpfs may not).
        std::string dir = ::access("/var/tmp", W_OK) == 0 ? "/var/tmp" : "/tmp";
        path = dir + "/tamblor-uring-XXXXXX";
        int fd = ::mkstemp(path.data());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 16 << 20), 0);
        ::close(fd);
    }
    void TearDown() override { ::unlink(path.c_str()); }

    std::unique_ptr<IoTarget> open() {
        PathOptions o;
        o.async_queues = GetParam();
        std::string error;
        auto t = open_fd_target(path, &error, o);
        EXPECT_TRUE(t) << error;
        return t;
    }
    std::vector<uint8_t> file_bytes(uint64_t offset, size_t n) {
        std::vector<uint8_t> out(n);
        int fd = ::open(path.c_str(), O_RDONLY);
        EXPECT_EQ(::pread(fd, out.data(), n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
        ::close(fd);
        return out;
    }

    std::string path;
};

TEST_P(WorkloadFdTarget, SequentialWriteLandsWithThePatternAndRandomReadsComplete) {
    auto target = open();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->size_bytes(), 16u << 20);
    if (GetParam() && uring_available()) {
        EXPECT_NE(target->describe().find("io_uring"), std::string::npos);
    }
    std::atomic<bool> cancel{false};
    PerfParams p;
    p.cancel = &cancel;
    p.open = [&] { return std::move(target); };
    p.write_ratio = 100;
    p.start_lba = 2048;  // 1 MiB in
    p.range_mb = 8;
    p.request_size = 128 * 1024;
    p.queue_depth = 8;
    p.pattern = 0xA1B2C3D4;
    p.limit_mb = 8;
    p.processors = 2;
    WorkloadResult r;
    ASSERT_EQ(run_performance(p, r), 1);
    EXPECT_EQ(r.completed_requests, 64u);
    std::vector<uint8_t> expect(4096);
    for (size_t i = 0; i < expect.size(); ++i) expect[i] = static_cast<uint8_t>(0xA1B2C3D4u >> (24 - 8 * (i % 4)));
    EXPECT_EQ(file_bytes(1 << 20, 4096), expect);
    EXPECT_EQ(file_bytes((9 << 20) - 4096, 4096), expect);
    EXPECT_EQ(file_bytes((1 << 20) - 4096, 4096), std::vector<uint8_t>(4096, 0));
    EXPECT_EQ(file_bytes(9 << 20, 4096), std::vector<uint8_t>(4096, 0));

    auto again = open();
    PerfParams q = p;
    q.open = [&] { return std::move(again); };
    q.write_ratio = 0;
    q.random_ratio = 100;
    q.request_size = 4096;
    q.queue_depth = 32;
    q.limit_mb = 4;
    ASSERT_EQ(run_performance(q, r), 1);
    EXPECT_EQ(r.completed_requests, 1024u);
}

TEST_P(WorkloadFdTarget, SingleRequestsReadTrimAndFlush) {
    auto target = open();
    ASSERT_TRUE(target);
    AlignedBuffer buf(8192);
    std::memset(buf.data(), 0x5A, buf.size());
    IoRequest w{IoOp::Write, 4096, buf.data(), 8192, 7};
    EXPECT_EQ(io_sync(*target, w), 8192);
    IoRequest f{IoOp::Flush, 0, nullptr, 0, 8};
    EXPECT_EQ(io_sync(*target, f), 0);
    std::memset(buf.data(), 0, buf.size());
    IoRequest rd{IoOp::Read, 4096, buf.data(), 8192, 9};
    EXPECT_EQ(io_sync(*target, rd), 8192);
    EXPECT_EQ(buf.data()[0], 0x5A);
    EXPECT_EQ(buf.data()[8191], 0x5A);
    IoRequest t{IoOp::Trim, 4096, nullptr, 4096, 10};
    EXPECT_EQ(io_sync(*target, t), 4096);
    EXPECT_EQ(file_bytes(4096, 4096), std::vector<uint8_t>(4096, 0));
    EXPECT_EQ(file_bytes(8192, 1), std::vector<uint8_t>(1, 0x5A));
    // Past the end of the file a read is short: the engine counts it as a failure.
    IoRequest past{IoOp::Read, 16u << 20, buf.data(), 4096, 11};
    EXPECT_EQ(io_sync(*target, past), 0);
}

// A wait with nothing to complete ends after its own time-out, also right
// after a wait with a much longer one whose request completed at once.
TEST_P(WorkloadFdTarget, AWaitEndsAfterItsOwnTimeoutAfterALongerOne) {
    auto target = open();
    ASSERT_TRUE(target);
    AlignedBuffer buf;
    ASSERT_TRUE(buf.allocate(4096));
    auto queue = target->make_queue(1, buf.span());
    ASSERT_TRUE(queue);
    IoRequest rd{IoOp::Read, 0, buf.data(), 4096, 1};
    const SubmitResult s = queue->submit(rd);
    ASSERT_NE(s.status, SubmitStatus::Failed);
    std::array<IoCompletion, 4> done;
    if (s.status == SubmitStatus::Pending) {
        size_t n = 0;
        for (int i = 0; i < 10 && n == 0; ++i) n = queue->wait(done, 3000000);
        ASSERT_EQ(n, 1u);
        EXPECT_EQ(done[0].tag, 1u);
    }
    for (uint32_t timeout_us : {20000u, 1000u}) {
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(queue->wait(done, timeout_us), 0u);
        const auto took = std::chrono::steady_clock::now() - t0;
        EXPECT_LT(took, std::chrono::milliseconds(1000)) << timeout_us;
    }
}

INSTANTIATE_TEST_SUITE_P(WorkloadQueues, WorkloadFdTarget, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Uring" : "Positioned"; });

}  // namespace
}  // namespace tb
