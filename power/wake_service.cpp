#include "power/wake_service.h"

#include <chrono>
#include <thread>

#include "common/format.h"
#include "platform/tcp_connection.h"

namespace tb {

namespace {

constexpr size_t kMaxHardwareAddress = 16;

void put_u32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// One connection, one request, one reply; false with `reason`.
bool attempt(const WakeEndpoint& where, uint32_t wait_ms, const WakeTiming& timing, std::string& reason) {
    auto c = tcp_connect(where.host, where.port, timing.connect_timeout_ms, reason);
    if (!c) return false;
    std::vector<uint8_t> request = wake_request(wait_ms, c->adapter_hardware_address());
    if (!c->send_all(request)) {
        reason = "the request could not be sent";
        return false;
    }
    std::vector<uint8_t> reply(kWakeReplyMax);
    int n = c->receive(reply, timing.reply_timeout_ms);
    if (n > 0) return true;
    reason = n == 0 ? "the service closed the connection without a reply" : "no reply from the service";
    return false;
}

}  // namespace

std::optional<WakeEndpoint> wake_endpoint(const std::string& setting) {
    if (setting.empty()) return std::nullopt;
    WakeEndpoint e;
    const size_t colon = setting.rfind(':');
    if (colon == std::string::npos) {
        e.host = setting;
        return e;
    }
    e.host = setting.substr(0, colon);
    const std::string port = setting.substr(colon + 1);
    if (e.host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int p = std::stoi(port);
    if (p < 1 || p > 65535) return std::nullopt;
    e.port = static_cast<uint16_t>(p);
    return e;
}

std::vector<uint8_t> wake_request(uint32_t wait_ms, std::span<const uint8_t> hardware_address) {
    std::vector<uint8_t> b(kWakeRequestSize, 0);
    const size_t n = std::min(hardware_address.size(), kMaxHardwareAddress);
    put_u32(b, 0, kWakeRequestCode);
    put_u32(b, 4, wait_ms);
    put_u32(b, 8, static_cast<uint32_t>(n));
    std::copy(hardware_address.begin(), hardware_address.begin() + static_cast<std::ptrdiff_t>(n), b.begin() + 12);
    return b;
}

WakeOutcome request_wake_up(const std::string& setting, uint32_t wait_ms, const WakeTiming& timing,
                            const std::function<bool()>& stop) {
    WakeOutcome out;
    std::optional<WakeEndpoint> where = wake_endpoint(setting);
    if (!where) {
        out.reason = setting.empty() ? "no wake-up service is set" : fmt("no wake-up service at \"%s\"", setting);
        return out;
    }
    for (int i = 0; i <= timing.retries; ++i) {
        if (i > 0) {
            if (stop && stop()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(timing.pause_ms));
        }
        ++out.attempts;
        if (attempt(*where, wait_ms, timing, out.reason)) {
            out.accepted = true;
            out.reason.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(timing.settle_ms));
            return out;
        }
    }
    return out;
}

}  // namespace tb
