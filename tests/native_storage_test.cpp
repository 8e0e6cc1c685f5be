// The block storage of the machine the program was built for, on a test
// file: unbuffered queued writes and reads at their offsets, flushes,
// forced-unit-access writes, reads at the end and a queue that completes
// inside submit(); and the test files made on a volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/block_storage.h"
#include "platform/host/page_memory.h"
#include "platform/native_machine.h"
#include "platform/volumes.h"

namespace tb {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kFileBytes = 1 << 20;
constexpr uint32_t kBlock = 4096;

class NativeStorage : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937_64 draw{std::random_device{}()};
        dir_ = fs::temp_directory_path() / ("tamblor-native-" + std::to_string(draw()));
        fs::create_directories(dir_);
        path_ = dir_ / "target.bin";
        std::ofstream(path_, std::ios::binary) << std::string(kFileBytes, '\0');
        storage_ = make_native_block_storage();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::unique_ptr<IoTarget> open(bool async = true) {
        PathOptions o;
        o.async_queues = async;
        std::string error;
        std::unique_ptr<IoTarget> t = storage_->open_path(path_.string(), o, &error);
        EXPECT_TRUE(t) << error;
        return t;
    }

    // Waits for `count` completions (at most 10 s).
    static std::vector<IoCompletion> collect(IoQueue& q, size_t count) {
        std::vector<IoCompletion> got, batch(8);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            const size_t n = q.wait(batch, 100000);
            got.insert(got.end(), batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(n));
        }
        return got;
    }

    fs::path dir_, path_;
    std::unique_ptr<BlockStorage> storage_;
};

IoRequest request(IoOp op, uint64_t offset, uint8_t* data, uint32_t length, uint64_t tag, bool fua = false) {
    IoRequest r;
    r.op = op;
    r.offset = offset;
    r.data = data;
    r.length = length;
    r.tag = tag;
    r.fua = fua;
    return r;
}

TEST_F(NativeStorage, QueuedWritesAndReadsLandAtTheirOffsets) {
    std::unique_ptr<IoTarget> target = open();
    ASSERT_TRUE(target);
    EXPECT_EQ(target->size_bytes(), kFileBytes);
    EXPECT_GE(target->sector_size(), 512u);
    EXPECT_FALSE(target->describe().empty());

    host::PageMemory memory(8 * kBlock);
    auto* bytes = static_cast<uint8_t*>(memory.data());
    for (uint32_t i = 0; i < 4; ++i) std::fill_n(bytes + i * kBlock, kBlock, static_cast<uint8_t>(0xA0 + i));
    std::unique_ptr<IoQueue> q = target->make_queue(4, {bytes, memory.size()});
    ASSERT_TRUE(q);
    for (uint32_t i = 0; i < 4; ++i) {
        // Out of order on the medium: block 3, 2, 1, 0 of the second 64 KiB.
        const uint64_t offset = 65536 + uint64_t{3 - i} * kBlock;
        SubmitResult s = q->submit(request(IoOp::Write, offset, bytes + i * kBlock, kBlock, 10 + i, i == 2));
        ASSERT_EQ(s.status, SubmitStatus::Pending) << s.result;
    }
    q->kick();
    std::vector<IoCompletion> done = collect(*q, 4);
    ASSERT_EQ(done.size(), 4u);
    std::set<uint64_t> tags;
    for (const IoCompletion& c : done) {
        EXPECT_EQ(c.result, static_cast<int32_t>(kBlock)) << c.tag;
        tags.insert(c.tag);
    }
    EXPECT_EQ(tags, (std::set<uint64_t>{10, 11, 12, 13}));

    SubmitResult flush = q->submit(request(IoOp::Flush, 0, nullptr, 0, 20));
    if (flush.status == SubmitStatus::Pending) {
        std::vector<IoCompletion> f = collect(*q, 1);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].result, 0);
    } else {
        EXPECT_EQ(flush.status, SubmitStatus::Done);
        EXPECT_EQ(flush.result, 0);
    }

    uint8_t* back = bytes + 4 * kBlock;
    std::fill_n(back, 4 * kBlock, 0x11);
    ASSERT_EQ(q->submit(request(IoOp::Read, 65536, back, 4 * kBlock, 30)).status, SubmitStatus::Pending);
    done = collect(*q, 1);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].tag, 30u);
    EXPECT_EQ(done[0].result, static_cast<int32_t>(4 * kBlock));
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_EQ(back[i * kBlock + 100], static_cast<uint8_t>(0xA0 + 3 - i)) << "block " << i;

    // What the queue wrote is in the file for everyone.
    q.reset();
    target.reset();
    std::ifstream in(path_, std::ios::binary);
    in.seekg(65536 + 3 * kBlock);
    EXPECT_EQ(in.get(), 0xA0);
}

TEST_F(NativeStorage, AReadAtTheEndIsShortNotAnError) {
    std::unique_ptr<IoTarget> target = open();
    ASSERT_TRUE(target);
    host::PageMemory memory(kBlock);
    auto* bytes = static_cast<uint8_t*>(memory.data());
    std::unique_ptr<IoQueue> q = target->make_queue(1, {bytes, memory.size()});
    SubmitResult s = q->submit(request(IoOp::Read, kFileBytes, bytes, kBlock, 7));
    if (s.status == SubmitStatus::Pending) {
        std::vector<IoCompletion> done = collect(*q, 1);
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].result, 0);
    } else {
        EXPECT_EQ(s.result, 0);
    }
}

TEST_F(NativeStorage, ASynchronousQueueCompletesInsideSubmit) {
    std::unique_ptr<IoTarget> target = open(false);
    ASSERT_TRUE(target);
    host::PageMemory memory(kBlock);
    auto* bytes = static_cast<uint8_t*>(memory.data());
    std::fill_n(bytes, kBlock, 0x5C);
    std::unique_ptr<IoQueue> q = target->make_queue(2, {bytes, memory.size()});
    ASSERT_EQ(q->submit(request(IoOp::Write, 8192, bytes, kBlock, 1)).status, SubmitStatus::Pending);
    std::vector<IoCompletion> done(4);
    ASSERT_EQ(q->poll(done), 1u);  // no waiting needed
    EXPECT_EQ(done[0].tag, 1u);
    EXPECT_EQ(done[0].result, static_cast<int32_t>(kBlock));
}

TEST_F(NativeStorage, AMissingPathIsRefusedWithItsName) {
    std::string error;
    const std::string missing = (dir_ / "missing.bin").string();
    EXPECT_FALSE(storage_->open_path(missing, PathOptions{}, &error));
    EXPECT_NE(error.find("missing.bin"), std::string::npos) << error;
}

TEST_F(NativeStorage, TestFilesAreMadeWrittenAndRemoved) {
    std::unique_ptr<Volumes> volumes = make_native_volumes();
    EXPECT_GT(volumes->free_bytes(dir_.string()), 0u);
    const fs::path file = dir_ / "~test.bin";
    {
        std::ofstream(file, std::ios::binary) << "old contents that must go";
        std::unique_ptr<NewFile> f = volumes->create_file(file.string());
        ASSERT_TRUE(f);
        host::PageMemory memory(2 * kBlock);
        std::fill_n(static_cast<uint8_t*>(memory.data()), memory.size(), 0x3C);
        const std::span<const uint8_t> block(static_cast<const uint8_t*>(memory.data()), kBlock);
        EXPECT_TRUE(f->write_at(kBlock, block));  // the second block first
        EXPECT_TRUE(f->write_at(0, block));
        EXPECT_TRUE(f->finish());
    }
    EXPECT_EQ(fs::file_size(file), 2u * kBlock);
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(in.get(), 0x3C);
    in.close();
    EXPECT_TRUE(volumes->remove_file(file.string()));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(volumes->remove_file(file.string()));
}

}  // namespace
}  // namespace tb
