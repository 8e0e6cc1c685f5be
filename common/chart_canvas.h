// The picture a chart is drawn on: 8-bit RGB pixels, top row first,
// with the few drawing steps a line chart needs (rectangles, lines and
// text in a small built-in 5x7 pixel font of capitals, digits and common
// signs; small letters are drawn as capitals, anything else as '?').
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tb {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

class ChartCanvas {
public:
    // Glyph cell of scale 1: five pixels and a gap wide, seven and two gaps high.
    static constexpr int kGlyphWidth = 6;
    static constexpr int kGlyphHeight = 9;

    ChartCanvas(int width, int height, Rgb background);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<uint8_t>& rgb() const { return rgb_; }
    Rgb pixel(int x, int y) const;

    // Points outside the picture are left out.
    void set(int x, int y, Rgb c);
    void fill(int x, int y, int w, int h, Rgb c);
    void line(int x0, int y0, int x1, int y1, Rgb c);
    // Draws text with its top left corner at (x, y), each font pixel
    // `scale` x `scale` pixels; returns the width drawn.
    int text(int x, int y, std::string_view s, Rgb c, int scale = 1);
    static int text_width(std::string_view s, int scale = 1);

private:
    int width_, height_;
    std::vector<uint8_t> rgb_;
};

}  // namespace tb
