// Who the program runs as.
#pragma once

#include <string>

namespace tb::host {

// A text naming the user, fit for a folder name: the effective user id on
// Linux, the user's security identifier on Windows. Stable within a user.
std::string user_tag();

// Whether the program runs with administrator rights (root, or an elevated
// token on Windows).
bool is_administrator();

}  // namespace tb::host
