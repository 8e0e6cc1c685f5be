// A stage of a job's progress bar: the percentages where it begins and ends.
#pragma once

#include <cstdint>

namespace tb {

struct ProgressStage {
    uint16_t start = 0;
    uint16_t end = 0;  // 0 stands for 100
};

}  // namespace tb
