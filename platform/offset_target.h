// A window of another target: a volume inside its disk. Offsets are taken
// from the window's start; requests that leave it are refused.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/io_queue.h"

namespace tb {

std::unique_ptr<IoTarget> make_offset_target(std::unique_ptr<IoTarget> inner, uint64_t offset, uint64_t size);

}  // namespace tb
