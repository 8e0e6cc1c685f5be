// The simulated machine's volumes. They carry no file system: the files of a
// volume live in a folder of the machine beside the disk images, on the
// host's own file system.
#pragma once

#include <memory>

#include "platform/volumes.h"

namespace tb::sim {

std::unique_ptr<Volumes> make_sim_volumes();

}  // namespace tb::sim
