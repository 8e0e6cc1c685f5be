#include "power/hub_frames.h"

namespace tb {

namespace {

constexpr uint8_t kFrameStart = 0xAE;
constexpr uint8_t kFrameEnd = 0xAC;
constexpr uint32_t kKind3PortsOfPortZero = 6;

}  // namespace

bool known_hub_kind(int kind) {
    return kind == kHubDriver || kind == kHubFramed || kind == kHubTigo || kind == kHubRelay || kind == kHubCh340;
}

std::vector<HubControl> kind0_switch_requests(bool on) {
    return {HubControl{kHubControlSelect, uint8_t{1}, 0},
            HubControl{kHubControlSwitch, static_cast<uint8_t>(on ? 1 : 0), 0}};
}

std::vector<HubControl> kind0_state_requests() {
    return {HubControl{kHubControlSelect, uint8_t{1}, 0}, HubControl{kHubControlState, std::nullopt, 1}};
}

HubFrame kind0_line_frame(const HubControl& request) {
    HubFrame frame;
    for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<uint8_t>(request.code >> shift));
    frame.push_back(request.input.value_or(0));
    return frame;
}

HubFrame kind2_switch_frame(uint8_t port, bool on) {
    if (port == 0)
        return {kFrameStart, 0x20, 0xCF, 0x29, 0x03, 0xFF, static_cast<uint8_t>(on ? 0xFF : 0x00), 0x00, kFrameEnd};
    return {kFrameStart, 0x20, 0xCF, 0x28, 0x02, port, static_cast<uint8_t>(on ? 0x01 : 0x00), kFrameEnd};
}

HubFrame kind2_state_query(uint8_t port) {
    return {kFrameStart, 0x00, 0xCF, 0x2B, 0x01, static_cast<uint8_t>(port == 0 ? 1 : port), kFrameEnd};
}

std::optional<uint8_t> kind2_state_from_reply(std::span<const uint8_t> reply) {
    if (reply.size() < kKind2StateReplyBytes) return std::nullopt;
    return reply[4];
}

std::vector<HubFrame> kind3_switch_frames(uint32_t port, bool on) {
    const uint8_t letter = on ? 'o' : 'c';
    auto frame = [letter](uint32_t digit) {
        return HubFrame{letter, ' ', static_cast<uint8_t>('0' + digit), '\r'};
    };
    std::vector<HubFrame> frames;
    if (port == 0) {
        for (uint32_t digit = 0; digit < kKind3PortsOfPortZero; ++digit) frames.push_back(frame(digit));
    } else if (port <= kKind3HighestPort) {
        frames.push_back(frame(port - 1));
    }
    return frames;
}

HubFrame kind5_switch_frame(bool on) {
    if (on) return {0xA0, 0x01, 0x00, 0xA1};
    return {0xA0, 0x01, 0x01, 0xA2};
}

}  // namespace tb
