// Telling the log server's agent service about a finished upload: one
// request over TCP, then its reply read until the agent closes the
// connection, 2048 bytes have come, or the time-out passes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tb {

struct AgentAddress {
    std::string host;
    uint16_t port = 1224;
    int timeout_ms = 10000;  // connecting, and waiting for the reply
};

enum class AgentOutcome { Accepted, Refused, Unreachable, NoReply, Cancelled };

struct AgentAnswer {
    AgentOutcome outcome = AgentOutcome::Unreachable;
    std::string reply;   // the agent's text
    std::string detail;  // why it was not reached or did not answer
};

// Sends the upload notice for `description`; `cancelled` is looked at every 200 ms.
AgentAnswer notify_agent(const AgentAddress& agent, std::string_view description,
                         const std::function<bool()>& cancelled);

}  // namespace tb
