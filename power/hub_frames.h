// The bytes a power hub understands, by hub kind. "Off" cuts the supply of
// the disk, "on" restores it. Port 0 means every port where a kind has
// ports; the kinds without ports ignore it.
//
//   kind 0  a driver-level hub: three device-control requests (codes below)
//           on the opened serial port; on systems without such requests they
//           travel over the line itself, framed as kind0_line_frame says
//   kind 2  a framed hub: AE .. AC frames carrying the port
//   kind 3  "Tigo PowerHub": text commands "c n\r" / "o n\r", n = port - 1
//   kind 5  "CH340 PowerHub": a one-channel relay board, four-byte frames
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tb {

using HubFrame = std::vector<uint8_t>;

enum HubKind : int { kHubDriver = 0, kHubFramed = 2, kHubTigo = 3, kHubRelay = 4, kHubCh340 = 5 };

// True for the kinds this system knows.
bool known_hub_kind(int kind);

// Kind 0: the device-control requests.
constexpr uint32_t kHubControlSelect = 0x2220B4;  // input: the byte 1
constexpr uint32_t kHubControlSwitch = 0x2220BC;  // input: 0 off, 1 on
constexpr uint32_t kHubControlState = 0x2220C4;   // output: one byte, the state

struct HubControl {
    uint32_t code = 0;
    std::optional<uint8_t> input;  // the one input byte, if the request has one
    size_t output_bytes = 0;       // bytes the request returns
};

std::vector<HubControl> kind0_switch_requests(bool on);
std::vector<HubControl> kind0_state_requests();

// Kind 0 over a plain serial line: the control code as four bytes, least
// significant first, then the input byte (0 when the request has none). A
// request with output is answered by that many bytes.
HubFrame kind0_line_frame(const HubControl& request);

// Kind 2.
HubFrame kind2_switch_frame(uint8_t port, bool on);
HubFrame kind2_state_query(uint8_t port);  // port 0 asks for port 1
constexpr size_t kKind2StateReplyBytes = 6;
// The state byte of a reply (its fifth byte); nullopt when the reply is short.
std::optional<uint8_t> kind2_state_from_reply(std::span<const uint8_t> reply);

// Kind 3: one frame per port; port 0 gives the frames of ports 1 to 6.
// Ports above 10 have no digit: empty.
std::vector<HubFrame> kind3_switch_frames(uint32_t port, bool on);
constexpr size_t kKind3ReplyBytes = 7;  // read after every frame, not looked at
constexpr uint32_t kKind3HighestPort = 10;

// Kind 5.
HubFrame kind5_switch_frame(bool on);

}  // namespace tb
