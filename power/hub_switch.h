// One use of the power hub: open it, switch or read one port, close it.
// Results: 1, or a negative error code with `detail`.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

// Opens and closes the hub: whether it is there to be used.
int check_hub(std::string& detail);
int switch_hub_port(uint32_t port, bool on, std::string& detail);
int read_hub_port(uint32_t port, int64_t& state, std::string& detail);

}  // namespace tb
