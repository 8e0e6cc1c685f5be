#include "platform/named_event.h"

#include <chrono>

namespace tb {

bool NamedEvent::attach(std::string_view base) { return seg_.attach(base, sizeof(Shared)); }

uint32_t NamedEvent::generation() const {
    return attached() ? __atomic_load_n(&shared()->generation, __ATOMIC_ACQUIRE) : 0;
}

void NamedEvent::set() {
    if (!attached()) return;
    __atomic_store_n(&shared()->signalled, 1u, __ATOMIC_RELEASE);
    __atomic_add_fetch(&shared()->generation, 1u, __ATOMIC_ACQ_REL);
    seg_.wake_waiters(&shared()->generation);
}

void NamedEvent::reset() {
    if (attached()) __atomic_store_n(&shared()->signalled, 0u, __ATOMIC_RELEASE);
}

bool NamedEvent::wait_since(uint32_t since, int timeout_ms) const {
    if (!attached()) return false;
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (generation() != since) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now()).count();
        if (left <= 0) return false;
        seg_.wait_for_change(&shared()->generation, since, static_cast<int>(left));
    }
}

}  // namespace tb
