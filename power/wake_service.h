// The wake-up service: before this PC powers off, a service on another
// machine is asked to power it on again after a wait (TCP port 1224).
//
// Request (1020 bytes, little-endian): the code 64003 (u32), the wait in
// milliseconds (u32), the length of the adapter's hardware address (u32),
// the address itself (at most 16 bytes, zero-padded), then zeros. Any reply
// of 1 to 256 bytes within the reply time accepts it. A failed attempt is
// tried again one second later, up to five more times.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tb {

constexpr uint16_t kWakeServicePort = 1224;
constexpr uint32_t kWakeRequestCode = 64003;
constexpr size_t kWakeRequestSize = 1020;
constexpr size_t kWakeReplyMax = 256;
constexpr uint32_t kWakeAfterMs = 60000;

struct WakeEndpoint {
    std::string host;
    uint16_t port = kWakeServicePort;
};

// The service named by a setting, "host" or "host:port"; nullopt when the
// setting is empty or its port is not a number from 1 to 65535.
std::optional<WakeEndpoint> wake_endpoint(const std::string& setting);

std::vector<uint8_t> wake_request(uint32_t wait_ms, std::span<const uint8_t> hardware_address);

struct WakeTiming {
    int retries = 5;
    int pause_ms = 1000;          // between attempts
    int connect_timeout_ms = 5000;
    int reply_timeout_ms = 5000;
    int settle_ms = 1000;         // after an accepted request
};

struct WakeOutcome {
    bool accepted = false;
    int attempts = 0;
    std::string reason;  // of the last failed attempt
};

// Asks the service of `setting` to power this PC on `wait_ms` from now.
// `stop` (when given) ends the retries early.
WakeOutcome request_wake_up(const std::string& setting, uint32_t wait_ms, const WakeTiming& timing = {},
                            const std::function<bool()>& stop = {});

}  // namespace tb
