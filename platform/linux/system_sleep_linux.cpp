#include "platform/linux/system_sleep_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/linux/unique_fd.h"

namespace tb::linuxdisk {

namespace {

constexpr int kStopCheckMs = 100;

// Writes `text` to a sysfs attribute in one write; "" or the reason it failed.
std::string write_attribute(const std::string& path, std::string_view text) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_TRUNC));
    if (!fd) return path + ": " + std::strerror(errno);
    ssize_t n;
    do {
        n = ::write(fd.get(), text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return path + ": " + std::strerror(errno);
    if (static_cast<size_t>(n) != text.size()) return path + ": short write";
    return {};
}

uint64_t boot_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
}

class LinuxWakeTimer final : public WakeTimer {
public:
    LinuxWakeTimer(std::string wakealarm, UniqueFd timer) : wakealarm_(std::move(wakealarm)), timer_(std::move(timer)) {}
    // A stale alarm would wake the machine out of a later, unrelated sleep.
    ~LinuxWakeTimer() override { write_attribute(wakealarm_, "0"); }

    bool wait(const StopCheck& stop) override {
        for (;;) {
            pollfd p{timer_.get(), POLLIN, 0};
            const int r = ::poll(&p, 1, kStopCheckMs);
            if (r > 0) return true;  // expired (and stays readable until read)
            if (r < 0 && errno != EINTR) return true;  // no way to wait longer: treat as woken
            if (stop && stop()) return false;
        }
    }

private:
    std::string wakealarm_;
    UniqueFd timer_;
};

class LinuxSystemSleep final : public SystemSleep {
public:
    explicit LinuxSystemSleep(LinuxSleepFiles files) : files_(std::move(files)) {}

    std::unique_ptr<WakeTimer> arm_wake_timer(uint32_t seconds, std::string& reason) override {
        UniqueFd timer(::timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC | TFD_NONBLOCK));
        if (!timer) {
            reason = std::string("no boot-time timer: ") + std::strerror(errno);
            return nullptr;
        }
        itimerspec due{};
        due.it_value.tv_sec = static_cast<time_t>(seconds);
        if (seconds == 0) due.it_value.tv_nsec = 1;  // zero would disarm it
        if (::timerfd_settime(timer.get(), 0, &due, nullptr) != 0) {
            reason = std::string("no boot-time timer: ") + std::strerror(errno);
            return nullptr;
        }
        // The alarm must be cleared before a new one is accepted.
        std::string failed = write_attribute(files_.wakealarm, "0");
        if (failed.empty()) failed = write_attribute(files_.wakealarm, "+" + std::to_string(seconds));
        if (!failed.empty()) {
            reason = "no RTC wake alarm (" + failed + ")";
            return nullptr;
        }
        return std::make_unique<LinuxWakeTimer>(files_.wakealarm, std::move(timer));
    }

    SleepOutcome enter(SleepState state) override {
        const std::string failed =
            write_attribute(files_.power_state, state == SleepState::Hibernate ? "disk" : "mem");
        if (!failed.empty()) return {false, failed};
        return {true, {}};
    }

    // A Linux console needs no synthetic input to show again after a resume.
    void wake_display() override {}

    uint64_t now_ms() override { return boot_ms(); }

    bool pause(uint64_t ms, const StopCheck& stop) override {
        const uint64_t end = boot_ms() + ms;
        for (;;) {
            if (stop && stop()) return false;
            const uint64_t now = boot_ms();
            if (now >= end) return true;
            const uint64_t step = std::min<uint64_t>(end - now, kStopCheckMs);
            timespec ts{static_cast<time_t>(step / 1000), static_cast<long>((step % 1000) * 1000000)};
            ::nanosleep(&ts, nullptr);
        }
    }

private:
    LinuxSleepFiles files_;
};

}  // namespace

std::unique_ptr<SystemSleep> make_linux_system_sleep(LinuxSleepFiles files) {
    return std::make_unique<LinuxSystemSleep>(std::move(files));
}

}  // namespace tb::linuxdisk

namespace tb {

std::unique_ptr<SystemSleep> make_native_system_sleep() { return linuxdisk::make_linux_system_sleep(); }

}  // namespace tb
