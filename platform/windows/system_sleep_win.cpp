#include "platform/windows/system_sleep_win.h"

#include <windows.h>
#include <powrprof.h>

#include <algorithm>

#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb::host {

namespace {

constexpr DWORD kStopCheckMs = 100;
constexpr LONGLONG kUnitsPerSecond = 10000000;  // timer due times count 100 ns units

std::string last_error_text(const char* what) {
    return std::string(what) + ": " + win32_error_text(::GetLastError());
}

class WindowsWakeTimer final : public WakeTimer {
public:
    explicit WindowsWakeTimer(HostHandle timer) : timer_(std::move(timer)) {}
    ~WindowsWakeTimer() override { ::CancelWaitableTimer(timer_.get()); }

    bool wait(const StopCheck& stop) override {
        for (;;) {
            // A manual-reset timer stays signalled once it has fired.
            const DWORD r = ::WaitForSingleObject(timer_.get(), kStopCheckMs);
            if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) return true;
            if (stop && stop()) return false;
        }
    }

private:
    HostHandle timer_;
};

// Lets this process shut down (and suspend) the machine.
bool enable_shutdown_privilege(std::string& reason) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) {
        reason = last_error_text("OpenProcessToken");
        return false;
    }
    HostHandle token(raw);
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
        reason = last_error_text("LookupPrivilegeValue");
        return false;
    }
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr) ||
        ::GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        reason = last_error_text("AdjustTokenPrivileges");
        return false;
    }
    return true;
}

void move_mouse_to(LONG x, LONG y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = x;
    in.mi.dy = y;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &in, sizeof(in));
}

class WindowsSystemSleep final : public SystemSleep {
public:
    std::unique_ptr<WakeTimer> arm_wake_timer(uint32_t seconds, std::string& reason) override {
        HostHandle timer(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
        if (!timer) {
            reason = last_error_text("CreateWaitableTimer");
            return nullptr;
        }
        LARGE_INTEGER due{};
        due.QuadPart = -static_cast<LONGLONG>(seconds) * kUnitsPerSecond;  // negative: relative to now
        if (seconds == 0) due.QuadPart = -1;
        if (!::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, TRUE)) {
            reason = last_error_text("SetWaitableTimer");
            return nullptr;
        }
        // The timer is set but cannot resume this machine.
        if (::GetLastError() == ERROR_NOT_SUPPORTED) {
            ::CancelWaitableTimer(timer.get());
            reason = "this machine cannot be woken by a timer";
            return nullptr;
        }
        return std::make_unique<WindowsWakeTimer>(std::move(timer));
    }

    SleepOutcome enter(SleepState state) override {
        std::string reason;
        if (!enable_shutdown_privilege(reason)) return {false, reason};
        // Not forced; wake events stay enabled so that the timer wakes it.
        if (!::SetSuspendState(state == SleepState::Hibernate, FALSE, FALSE))
            return {false, last_error_text("SetSuspendState")};
        return {true, {}};
    }

    // Moves between the lower-right and upper-right corners of the screen.
    void wake_display() override {
        constexpr LONG kRight = 65535, kBottom = 65535, kTop = 0;
        for (int round = 0; round < 5; ++round) {
            move_mouse_to(kRight, kBottom);
            ::Sleep(100);
            move_mouse_to(kRight, kTop);
            ::Sleep(100);
            move_mouse_to(kRight, kBottom);
            ::Sleep(100);
            move_mouse_to(kRight, kTop);
            ::Sleep(500);
        }
    }

    // The tick count goes on while the machine sleeps.
    uint64_t now_ms() override { return ::GetTickCount64(); }

    bool pause(uint64_t ms, const StopCheck& stop) override {
        const uint64_t end = ::GetTickCount64() + ms;
        for (;;) {
            if (stop && stop()) return false;
            const uint64_t now = ::GetTickCount64();
            if (now >= end) return true;
            ::Sleep(static_cast<DWORD>(std::min<uint64_t>(end - now, kStopCheckMs)));
        }
    }
};

}  // namespace

std::unique_ptr<SystemSleep> make_windows_system_sleep() { return std::make_unique<WindowsSystemSleep>(); }

}  // namespace tb::host

namespace tb {

std::unique_ptr<SystemSleep> make_native_system_sleep() { return host::make_windows_system_sleep(); }

}  // namespace tb
