// IsRelayExisted: whether a USB relay is attached, asked of the relay
// library of the library folder, which is loaded for the question only.
#pragma once

#include <string>
#include <vector>

namespace tb {

// The serial numbers of the attached relays (each at most 128 characters);
// empty when the library is missing or finds none.
std::vector<std::string> attached_relays();

void cmd_IsRelayExisted(int slot, const std::string& args, const std::string& name);

}  // namespace tb
