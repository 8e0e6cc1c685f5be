// Serial lines on Linux: a tty device in raw mode, 8N1, taken exclusively
// (TIOCEXCL and an advisory lock), with the read and write time-outs kept by
// poll(). Linux has no driver-level hub requests and no settable buffer
// sizes; kind-0 hubs are then spoken to over the line.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "common/text.h"
#include "platform/linux/unique_fd.h"
#include "platform/serial_line.h"

namespace tb {

namespace {

using linuxdisk::UniqueFd;
using Clock = std::chrono::steady_clock;

// "COM<n>" -> $TAMBLOR_COM<n>, else /dev/ttyS<n-1>; "/..." -> itself.
bool device_path_of(const std::string& name, std::string& path, std::string& error) {
    if (!name.empty() && name[0] == '/') {
        path = name;
        return true;
    }
    if (name.size() < 4 || !iequals(name.substr(0, 3), "COM")) {
        error = "not a serial port name: " + name;
        return false;
    }
    const std::string digits = name.substr(3);
    char* end = nullptr;
    const unsigned long n = std::strtoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || n == 0 || n > 256) {
        error = "not a serial port name: " + name;
        return false;
    }
    const std::string variable = "TAMBLOR_COM" + std::to_string(n);
    if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) {
        path = mapped;
        return true;
    }
    path = "/dev/ttyS" + std::to_string(n - 1);
    return true;
}

bool speed_of(uint32_t baud, speed_t& speed) {
    switch (baud) {
        case 1200: speed = B1200; return true;
        case 2400: speed = B2400; return true;
        case 4800: speed = B4800; return true;
        case 9600: speed = B9600; return true;
        case 19200: speed = B19200; return true;
        case 38400: speed = B38400; return true;
        case 57600: speed = B57600; return true;
        case 115200: speed = B115200; return true;
        case 230400: speed = B230400; return true;
        default: return false;
    }
}

bool set_line(int fd, const SerialSettings& settings, std::string& error) {
    speed_t speed = B0;
    if (!speed_of(settings.baud, speed)) {
        error = "unsupported baud rate " + std::to_string(settings.baud);
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        error = std::string("not a serial line: ") + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = std::string("line settings refused: ") + std::strerror(errno);
        return false;
    }
    return true;
}

int ms_until(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

bool wait_for(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        int rc = ::poll(&p, 1, timeout_ms);
        if (rc < 0 && errno == EINTR) continue;
        return rc > 0 && (p.revents & events) != 0;
    }
}

class LinuxSerialLine final : public SerialLine {
public:
    LinuxSerialLine(UniqueFd fd, const SerialSettings& settings) : fd_(std::move(fd)), settings_(settings) {}
    ~LinuxSerialLine() override { ::ioctl(fd_.get(), TIOCNXCL); }  // the device is free again for others

    bool write(std::span<const uint8_t> bytes) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.write_constant_ms +
                                                                       settings_.write_per_byte_ms * bytes.size());
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (!wait_for(fd_.get(), POLLOUT, ms_until(deadline))) return false;
        }
        return true;
    }

    size_t read(std::span<uint8_t> into) override {
        const size_t wanted = into.size() < kSerialReadLimit ? into.size() : kSerialReadLimit;
        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.read_constant_ms +
                                                                       settings_.read_per_byte_ms * wanted);
        size_t got = 0;
        while (got < wanted) {
            // Before the first byte only the total time counts; after it the gap too.
            int wait = ms_until(deadline);
            if (got > 0 && wait > static_cast<int>(settings_.read_interval_ms))
                wait = static_cast<int>(settings_.read_interval_ms);
            if (!wait_for(fd_.get(), POLLIN, wait)) break;
            ssize_t n = ::read(fd_.get(), into.data() + got, wanted - got);
            if (n > 0) got += static_cast<size_t>(n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
        }
        return got;
    }

    bool purge() override { return ::tcflush(fd_.get(), TCIOFLUSH) == 0; }

    bool control(uint32_t, std::span<const uint8_t>, std::span<uint8_t>, size_t& returned) override {
        returned = 0;
        return false;
    }
    bool has_driver_requests() const override { return false; }

private:
    UniqueFd fd_;
    SerialSettings settings_;
};

class LinuxSerialPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialLine> open(const std::string& name, const SerialSettings& settings,
                                     std::string& error) override {
        std::string path;
        if (!device_path_of(name, path, error)) return nullptr;
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            error = path + " is in use";
            return nullptr;
        }
        if (!set_line(fd.get(), settings, error)) return nullptr;
        ::ioctl(fd.get(), TIOCEXCL);  // later opens by others are refused (root aside)
        ::tcflush(fd.get(), TCIOFLUSH);
        return std::make_unique<LinuxSerialLine>(std::move(fd), settings);
    }
};

}  // namespace

std::unique_ptr<SerialPorts> make_native_serial_ports() { return std::make_unique<LinuxSerialPorts>(); }

bool is_serial_device_path(const std::string& name) { return name.size() > 1 && name[0] == '/'; }

}  // namespace tb
