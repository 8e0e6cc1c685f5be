#include "platform/sim/write_journal.h"

#include <algorithm>
#include <map>

namespace tb::sim {

namespace {

// Byte ranges already settled by newer writes during the backward walk.
class SettledRanges {
  public:
    void add(uint64_t first, uint64_t end) {
        auto it = ranges_.upper_bound(first);
        if (it != ranges_.begin() && std::prev(it)->second >= first) {
            --it;
            first = it->first;
        }
        while (it != ranges_.end() && it->first <= end) {
            end = std::max(end, it->second);
            it = ranges_.erase(it);
        }
        ranges_.emplace(first, end);
    }
    // The parts of [first, end) not settled, in order.
    template <class F>
    void for_each_gap(uint64_t first, uint64_t end, F f) const {
        auto it = ranges_.upper_bound(first);
        if (it != ranges_.begin() && std::prev(it)->second > first) --it;
        uint64_t at = first;
        for (; it != ranges_.end() && it->first < end; ++it) {
            if (it->first > at) f(at, it->first);
            at = std::max(at, it->second);
        }
        if (at < end) f(at, end);
    }

  private:
    std::map<uint64_t, uint64_t> ranges_;  // first -> end (exclusive), disjoint
};

}  // namespace

void WriteJournal::record(uint64_t offset, std::vector<uint8_t> old) {
    if (old.empty()) return;
    cached_bytes_ += old.size();
    const uint64_t length = old.size();
    entries_.push_back({offset, length, std::move(old)});
    trim_to_limit();
}

void WriteJournal::note_durable(uint64_t offset, uint64_t length) {
    if (cached_bytes_ == 0 || length == 0) return;  // nothing older that a loss could undo
    entries_.push_back({offset, length, {}});
}

void WriteJournal::clear() {
    entries_.clear();
    cached_bytes_ = 0;
}

void WriteJournal::trim_to_limit() {
    while (cached_bytes_ > limit_ && !entries_.empty()) {
        cached_bytes_ -= entries_.front().old.size();
        entries_.pop_front();
    }
    while (!entries_.empty() && entries_.front().old.empty()) entries_.pop_front();  // nothing older to guard
}

uint64_t WriteJournal::undo(const Landed& landed, const PutBack& put_back) {
    SettledRanges settled;
    uint64_t restored = 0;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        const uint64_t end = it->offset + it->length;
        const bool stays = it->old.empty() || (landed && landed());
        if (!stays) {
            settled.for_each_gap(it->offset, end, [&](uint64_t from, uint64_t to) {
                std::span<const uint8_t> part(it->old.data() + (from - it->offset), to - from);
                if (put_back(from, part)) restored += part.size();
            });
        }
        if (stays) settled.add(it->offset, end);
    }
    clear();
    return restored;
}

}  // namespace tb::sim
