// The notice of a finished upload to the agent service on the log server: a
// request of 1020 bytes, the 32-bit little-endian request code 64007 and the
// upload description as UTF-16LE text, zero-filled to the end (so always
// terminated); the agent's reply is UTF-16LE text of up to 2048 bytes, "-1"
// meaning refusal.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tb {

constexpr size_t kAgentRequestBytes = 1020;
constexpr uint32_t kAgentUploadNotice = 64007;
constexpr size_t kAgentReplyBytes = 2048;
// UTF-16 units of description the request holds before its terminator.
constexpr size_t kAgentDescriptionUnits = (kAgentRequestBytes - 4) / 2 - 1;

using AgentRequest = std::array<uint8_t, kAgentRequestBytes>;

// The request for `description` (UTF-8), cut to kAgentDescriptionUnits.
AgentRequest agent_upload_request(std::string_view description);

// The reply's text (UTF-8) up to its first terminator or its end; an odd last byte is ignored.
std::string agent_reply_text(std::span<const uint8_t> reply);

// Whether a reply refuses the notice.
bool agent_refused(std::string_view reply_text);

}  // namespace tb
