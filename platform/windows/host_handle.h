// An owned Win32 handle, closed when it goes out of scope.
#pragma once

#include <windows.h>

#include <utility>

namespace tb::host {

class HostHandle {
public:
    HostHandle() = default;
    explicit HostHandle(HANDLE h) : h_(h) {}
    HostHandle(const HostHandle&) = delete;
    HostHandle& operator=(const HostHandle&) = delete;
    HostHandle(HostHandle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
    HostHandle& operator=(HostHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, INVALID_HANDLE_VALUE));
        return *this;
    }
    ~HostHandle() { reset(); }

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Gives up ownership without closing.
    HANDLE release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (*this) ::CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace tb::host
