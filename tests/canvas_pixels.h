// Reading a drawn chart canvas back in the tests.
#pragma once

#include "common/chart_canvas.h"

namespace tb::test {

// How many pixels of colour `c` lie in the rectangle (corners included).
inline int count_colour(const ChartCanvas& canvas, Rgb c, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (canvas.pixel(x, y) == c) ++n;
    return n;
}

}  // namespace tb::test
