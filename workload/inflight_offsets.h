// The offsets of requests in flight, so that a source never hands out an
// offset another stream is still working on. Not locked: the source that
// owns it guards it.
//
// At most a queue depth of requests (128) is in flight, so a short list
// searched from end to end is both the fastest look-up and free of any
// allocation once it has grown to the depth.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tb {

class InFlightOffsets {
public:
    bool contains(uint64_t offset) const { return find(offset) != entries_.end(); }
    void add(uint64_t offset) {
        auto it = find(offset);
        if (it != entries_.end()) ++it->count;
        else entries_.push_back({offset, 1});
    }
    void remove(uint64_t offset) {
        auto it = find(offset);
        if (it == entries_.end()) return;
        if (--it->count > 0) return;
        *it = entries_.back();  // order does not matter
        entries_.pop_back();
    }
    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        uint64_t offset;
        uint32_t count;
    };
    std::vector<Entry>::const_iterator find(uint64_t offset) const {
        return std::find_if(entries_.begin(), entries_.end(), [offset](const Entry& e) { return e.offset == offset; });
    }
    std::vector<Entry>::iterator find(uint64_t offset) {
        return std::find_if(entries_.begin(), entries_.end(), [offset](const Entry& e) { return e.offset == offset; });
    }
    std::vector<Entry> entries_;
};

}  // namespace tb
