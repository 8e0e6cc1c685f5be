#include "platform/offset_target.h"

#include <cerrno>

#include "common/format.h"

namespace tb {

namespace {

class OffsetQueue final : public IoQueue {
public:
    OffsetQueue(std::unique_ptr<IoQueue> q, uint64_t offset, uint64_t size)
        : q_(std::move(q)), offset_(offset), size_(size) {}
    SubmitResult submit(const IoRequest& r) override {
        if (r.op != IoOp::Flush && (r.offset > size_ || r.length > size_ - r.offset))
            return {SubmitStatus::Failed, -EINVAL};
        IoRequest moved = r;
        moved.offset += offset_;
        return q_->submit(moved);
    }
    void kick() override { q_->kick(); }
    size_t poll(std::span<IoCompletion> out) override { return q_->poll(out); }
    size_t wait(std::span<IoCompletion> out, uint32_t us) override { return q_->wait(out, us); }
    void cancel(uint64_t tag) override { q_->cancel(tag); }

private:
    std::unique_ptr<IoQueue> q_;
    uint64_t offset_, size_;
};

class OffsetTarget final : public IoTarget {
public:
    OffsetTarget(std::unique_ptr<IoTarget> inner, uint64_t offset, uint64_t size)
        : inner_(std::move(inner)), offset_(offset), size_(size) {}
    uint64_t size_bytes() const override { return size_; }
    uint32_t sector_size() const override { return inner_->sector_size(); }
    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) override {
        return std::make_unique<OffsetQueue>(inner_->make_queue(depth, buffer), offset_, size_);
    }
    std::string describe() const override { return fmt("%s at %I64d", inner_->describe(), offset_); }

private:
    std::unique_ptr<IoTarget> inner_;
    uint64_t offset_, size_;
};

}  // namespace

std::unique_ptr<IoTarget> make_offset_target(std::unique_ptr<IoTarget> inner, uint64_t offset, uint64_t size) {
    return std::make_unique<OffsetTarget>(std::move(inner), offset, size);
}

}  // namespace tb
