// How many processors the program may run on.
#pragma once

namespace tb::host {

// The number of online processors; at least 1.
unsigned processor_count();

}  // namespace tb::host
