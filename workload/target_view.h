// A target lent to the engine for one run while its owner keeps it (for a
// second look at the disk after the run).
#pragma once

#include <memory>
#include <string>

#include "platform/io_queue.h"

namespace tb {

class TargetView final : public IoTarget {
public:
    explicit TargetView(IoTarget& target) : target_(target) {}
    uint64_t size_bytes() const override { return target_.size_bytes(); }
    uint32_t sector_size() const override { return target_.sector_size(); }
    std::unique_ptr<IoQueue> make_queue(uint32_t depth, std::span<uint8_t> buffer) override {
        return target_.make_queue(depth, buffer);
    }
    std::string describe() const override { return target_.describe(); }

private:
    IoTarget& target_;
};

}  // namespace tb
