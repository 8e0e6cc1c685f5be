#include "exttools/agent_notice.h"

#include <chrono>
#include <vector>

#include "exttools/agent_request.h"
#include "platform/tcp_connection.h"

namespace tb {

namespace {

constexpr int kSliceMs = 200;

using Clock = std::chrono::steady_clock;

// Reads until the peer closes, the reply is full, or the time-out passes.
AgentAnswer read_reply(TcpConnection& c, int timeout_ms, const std::function<bool()>& cancelled) {
    std::vector<uint8_t> reply;
    const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    uint8_t piece[512];
    while (reply.size() < kAgentReplyBytes) {
        if (cancelled && cancelled()) return {AgentOutcome::Cancelled, {}, "cancelled"};
        if (Clock::now() >= until) break;
        const size_t room = kAgentReplyBytes - reply.size();
        const int n = c.receive(std::span<uint8_t>(piece, room < sizeof piece ? room : sizeof piece), kSliceMs);
        if (n == 0) break;  // closed by the agent: the reply is complete
        if (n > 0) reply.insert(reply.end(), piece, piece + n);
    }
    AgentAnswer a;
    if (reply.empty()) {
        a.outcome = AgentOutcome::NoReply;
        a.detail = "no reply";
        return a;
    }
    a.reply = agent_reply_text(reply);
    a.outcome = agent_refused(a.reply) ? AgentOutcome::Refused : AgentOutcome::Accepted;
    return a;
}

}  // namespace

AgentAnswer notify_agent(const AgentAddress& agent, std::string_view description,
                         const std::function<bool()>& cancelled) {
    std::string error;
    auto connection = tcp_connect(agent.host, agent.port, agent.timeout_ms, error);
    if (!connection) return {AgentOutcome::Unreachable, {}, error};
    const AgentRequest request = agent_upload_request(description);
    if (!connection->send_all(request)) return {AgentOutcome::Unreachable, {}, "the request could not be sent"};
    return read_reply(*connection, agent.timeout_ms, cancelled);
}

}  // namespace tb
