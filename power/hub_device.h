// One opened power hub of some kind: switches a port and reads its state.
// Results: 1, or a negative error code with `detail`.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

class HubDevice {
public:
    virtual ~HubDevice() = default;
    virtual int switch_port(uint32_t port, bool on, std::string& detail) = 0;
    virtual int read_state(uint32_t port, int64_t& state, std::string& detail) = 0;
};

}  // namespace tb
