// The volatile write cache of a simulated disk as an undo journal: every
// write that is not yet durable has its entry with the bytes it replaced,
// in the order the writes came. The medium already holds the new data; a
// flush makes every entry durable (the journal is emptied), and a power
// loss walks the journal backwards and puts the old bytes back, so what is
// left on the medium is exactly what had been made durable.
//
// Durable writes (FUA, trims) between cached ones are entries too, without
// old bytes: a lost write older than them must not undo their data. With a
// random power loss every cached write either landed or not; the backward
// walk keeps the data of the newest landed write on every byte.
//
// The old bytes are bounded (the cache size): the oldest entries count as
// destaged (durable) when the bound is passed. Not thread-safe: its medium
// guards it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace tb::sim {

class WriteJournal {
  public:
    // Says whether a lost write landed after all (random power loss).
    using Landed = std::function<bool()>;
    // Puts `old` back at `offset`; false when that failed.
    using PutBack = std::function<bool(uint64_t offset, std::span<const uint8_t> old)>;

    void set_limit(uint64_t bytes) { limit_ = bytes ? bytes : 1; }
    // A cached write at `offset` that replaced `old`.
    void record(uint64_t offset, std::vector<uint8_t> old);
    // A durable write or trim of [offset, offset + length).
    void note_durable(uint64_t offset, uint64_t length);
    // Everything so far is durable.
    void clear();
    // Bytes of cached writes not yet durable.
    uint64_t cached_bytes() const { return cached_bytes_; }
    bool empty() const { return entries_.empty(); }

    // The power is lost: every cached write is undone, except those
    // `landed` says (nullptr: none) landed. Returns the bytes put back; the
    // journal is empty afterwards.
    uint64_t undo(const Landed& landed, const PutBack& put_back);

  private:
    struct Entry {
        uint64_t offset = 0;
        uint64_t length = 0;
        std::vector<uint8_t> old;  // empty: a durable write
    };
    void trim_to_limit();

    std::deque<Entry> entries_;
    uint64_t cached_bytes_ = 0;
    uint64_t limit_ = 64ull << 20;
};

}  // namespace tb::sim
