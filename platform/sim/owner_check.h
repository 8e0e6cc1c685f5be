// Whether a file or folder of the host belongs to the user running the
// program, as the simulated machine's safety checks ask it.
#pragma once

#include <string>
#include <system_error>

#include "platform/host/user_identity.h"
#include "platform/sim/host_file.h"

namespace tb::sim {

// `user` receives the user's tag for messages ("unknown" when the system
// cannot tell who runs the program, and then nothing is the user's).
inline bool owned_by_user(const HostFileFacts& facts, std::string& user) {
    try {
        user = host::user_tag();
    } catch (const std::system_error&) {
        user = "unknown";
        return false;
    }
    return facts.owner == user;
}

}  // namespace tb::sim
