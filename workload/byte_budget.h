// The byte budgets of an engine run: the transfer limit of the whole run and
// the length of one cycle. Sources take a request's bytes before they hand
// it out; a refused take changes nothing.
#pragma once

#include <atomic>
#include <cstdint>

namespace tb {

class ByteBudget {
public:
    enum class Take : uint8_t { Granted, CycleFull, LimitReached };

    // `limit` 0: no transfer limit; `cycle` 0: cycles without a byte length.
    void configure(uint64_t limit, uint64_t cycle) {
        limit_ = limit;
        cycle_ = cycle;
    }
    void start_cycle() { cycle_bytes_.store(0); }

    // Takes `bytes`; on Granted `fills_cycle` / `fills_limit` tell whether
    // this take used up the cycle or the limit.
    Take take(uint64_t bytes, bool& fills_cycle, bool& fills_limit) {
        fills_cycle = fills_limit = false;
        uint64_t total_before = total_bytes_.fetch_add(bytes);
        if (limit_ && total_before >= limit_) {
            total_bytes_.fetch_sub(bytes);
            return Take::LimitReached;
        }
        uint64_t cycle_before = cycle_bytes_.fetch_add(bytes);
        if (cycle_ && cycle_before >= cycle_) {
            total_bytes_.fetch_sub(bytes);
            cycle_bytes_.fetch_sub(bytes);
            return Take::CycleFull;
        }
        fills_limit = limit_ && total_before + bytes >= limit_;
        fills_cycle = !fills_limit && cycle_ && cycle_before + bytes >= cycle_;
        return Take::Granted;
    }
    // Undoes a granted take whose request could not be placed after all.
    void give_back(uint64_t bytes) {
        total_bytes_.fetch_sub(bytes);
        cycle_bytes_.fetch_sub(bytes);
    }

    uint64_t total_bytes() const { return total_bytes_.load(std::memory_order_relaxed); }
    uint64_t cycle_bytes() const { return cycle_bytes_.load(std::memory_order_relaxed); }
    uint64_t cycle_length() const { return cycle_; }
    uint64_t limit() const { return limit_; }

private:
    uint64_t limit_ = 0;
    uint64_t cycle_ = 0;
    alignas(64) std::atomic<uint64_t> total_bytes_{0};
    std::atomic<uint64_t> cycle_bytes_{0};
};

}  // namespace tb
