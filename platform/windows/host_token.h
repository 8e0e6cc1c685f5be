// Queries of this process's access token.
#pragma once

#include <windows.h>

#include <vector>

namespace tb::host {

// The token's information of one class, as the system returns it; throws
// std::system_error when it cannot be read.
std::vector<unsigned char> process_token_information(TOKEN_INFORMATION_CLASS what);

// The security identifier of the user the process runs as (points into `buffer`).
PSID process_user_sid(std::vector<unsigned char>& buffer);

}  // namespace tb::host
