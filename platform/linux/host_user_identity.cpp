#include "platform/host/user_identity.h"

#include <unistd.h>

namespace tb::host {

std::string user_tag() { return std::to_string(::geteuid()); }

bool is_administrator() { return ::geteuid() == 0; }

}  // namespace tb::host
