// The offsets of requests in flight, so that a source never hands out an
// offset another stream is still working on. Not locked: the source that
// owns it guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace tb {

class InFlightOffsets {
public:
    bool contains(uint64_t offset) const { return counts_.find(offset) != counts_.end(); }
    void add(uint64_t offset) { ++counts_[offset]; }
    void remove(uint64_t offset) {
        auto it = counts_.find(offset);
        if (it == counts_.end()) return;
        if (--it->second == 0) counts_.erase(it);
    }
    size_t size() const { return counts_.size(); }

private:
    std::unordered_map<uint64_t, uint32_t> counts_;
};

}  // namespace tb
