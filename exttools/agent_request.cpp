#include "exttools/agent_request.h"

#include "common/text.h"

namespace tb {

AgentRequest agent_upload_request(std::string_view description) {
    AgentRequest out{};
    for (size_t i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(kAgentUploadNotice >> (8 * i));
    const std::u16string text = to_utf16(utf16_truncate(description, kAgentDescriptionUnits));
    for (size_t i = 0; i < text.size() && i < kAgentDescriptionUnits; ++i) {
        out[4 + 2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
        out[5 + 2 * i] = static_cast<uint8_t>(text[i] >> 8);
    }
    return out;
}

std::string agent_reply_text(std::span<const uint8_t> reply) {
    std::u16string text;
    for (size_t i = 0; i + 1 < reply.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(reply[i] | (reply[i + 1] << 8));
        if (unit == 0) break;
        text += unit;
    }
    return to_utf8(text);
}

bool agent_refused(std::string_view reply_text) { return reply_text == "-1"; }

}  // namespace tb
