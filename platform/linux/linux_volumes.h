// The volumes of this machine: a volume's root is its mount point.
#pragma once

#include <memory>

#include "platform/volumes.h"

namespace tb::linuxdisk {

std::unique_ptr<Volumes> make_linux_volumes();

}  // namespace tb::linuxdisk
