// The block lists that track open If/else chains and While loops.
#pragma once

#include <cstdint>
#include <vector>

namespace tb {

enum class BlockKind : uint32_t { IfDo = 1, IfSkip = 2, LoopDo = 3, LoopSkip = 4 };

struct BlockEntry {
    uint32_t depth = 0;
    BlockKind kind = BlockKind::IfDo;
    uint32_t resume = 0;  // statement offset of the While that opened a LoopDo entry on MainList
};

// A stack with its top at the back.
class BlockList {
public:
    void push(BlockKind kind, uint32_t resume = 0) {
        uint32_t depth = entries_.empty() ? 0 : entries_.back().depth + 1;
        entries_.push_back({depth, kind, resume});
    }
    // Removes the top; false when the list was already empty.
    bool pop() {
        if (entries_.empty()) return false;
        entries_.pop_back();
        return true;
    }
    const BlockEntry* top() const { return entries_.empty() ? nullptr : &entries_.back(); }
    BlockEntry* top() { return entries_.empty() ? nullptr : &entries_.back(); }
    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    void clear() { entries_.clear(); }
    const std::vector<BlockEntry>& entries() const { return entries_; }

private:
    std::vector<BlockEntry> entries_;
};

}  // namespace tb
