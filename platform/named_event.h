// A named manual-reset event shared by the instances ("SyncEvent").
//
// Besides the signalled state the event keeps a generation that advances at
// every set(). A waiter notes the generation before it starts waiting and is
// released by any later set(), even when it looks only after a short pulse
// (set, a pause, reset) is already over. Waiting is a wait for a change of
// the generation word in shared memory (shared_memory.h): a waiter that dies
// leaves nothing behind that could block the others.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/shared_memory.h"

namespace tb {

class NamedEvent {
public:
    NamedEvent() = default;
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Opens or creates the event (initially not signalled when created).
    bool attach(std::string_view base);
    void detach() { seg_.detach(); }
    // Why the last attach() failed.
    const std::string& error() const { return seg_.error(); }
    bool attached() const { return seg_.attached(); }
    bool is(std::string_view base) const { return seg_.is(base); }

    uint32_t generation() const;
    // Signals the event, advances the generation and wakes every waiter.
    void set();
    void reset();
    // Waits at most `timeout_ms` for a set() after generation `since`; true when one happened.
    bool wait_since(uint32_t since, int timeout_ms) const;

private:
    struct Shared {
        uint32_t generation;  // the word waiters wait on
        uint32_t signalled;
    };
    Shared* shared() const { return seg_.as<Shared>(); }
    SharedSegment seg_;
};

}  // namespace tb
