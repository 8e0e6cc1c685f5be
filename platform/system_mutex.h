// One machine-wide mutex as the system provides it: opened by name (in the
// namespace of shared_memory.h), owned by the thread that takes it, taken
// again by its owner (each take needs its own release), and taken over by
// the next locker when its holder dies holding it. The bookkeeping the
// instances need on top is in named_mutex.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tb {

class SystemMutex {
public:
    enum class Take { Taken, TimedOut, Failed };

    SystemMutex();
    ~SystemMutex();
    SystemMutex(const SystemMutex&) = delete;
    SystemMutex& operator=(const SystemMutex&) = delete;

    // Opens or creates the mutex `base` of the current namespace (closing
    // the one open before); false with error() set when it cannot be had.
    bool open(std::string_view base);
    bool opened() const;
    // Whether the open mutex is `base` of the current namespace.
    bool is(std::string_view base) const;
    const std::string& error() const { return error_; }

    // Waits at most `timeout_ms` for the mutex. A holder that died holding
    // it has left whatever it protected as it was; that is all the next
    // holder can expect of a crashed peer, so the take succeeds.
    Take take(int timeout_ms);
    // Releases one take by the calling thread.
    bool give();

private:
    struct System;
    std::unique_ptr<System> system_;
    std::string error_;
};

}  // namespace tb
