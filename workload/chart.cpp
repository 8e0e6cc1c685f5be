#include "workload/chart.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/chart_canvas.h"
#include "platform/paths.h"

namespace tb {

void ChartSeries::add(const ThroughputSample& s, uint32_t scale) {
    scale_kbps = std::max(scale_kbps, scale);
    if (points.size() >= kMaxPoints) {
        for (size_t i = 0; i < points.size() / 2; ++i) points[i] = points[2 * i];
        points.resize(points.size() / 2);
    }
    points.push_back(s);
}

namespace {

void put_be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void chunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t n) {
    put_be32(out, static_cast<uint32_t>(n));
    size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    if (n) out.insert(out.end(), data, data + n);
    uLong crc = crc32(0L, out.data() + at, static_cast<uInt>(n + 4));
    put_be32(out, static_cast<uint32_t>(crc));
}

// A COLORREF (0x00BBGGRR) as a pixel colour.
Rgb rgb_of(uint32_t colour) {
    return {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8), static_cast<uint8_t>(colour >> 16)};
}

}  // namespace

bool write_png(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
    if (rgb.size() != size_t{width} * height * 3) return false;
    std::vector<uint8_t> raw;
    raw.reserve((size_t{width} * 3 + 1) * height);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        const uint8_t* row = rgb.data() + size_t{y} * width * 3;
        raw.insert(raw.end(), row, row + size_t{width} * 3);
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK) return false;

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put_be32(ihdr, width);
    put_be32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    chunk(png, "IHDR", ihdr.data(), ihdr.size());
    chunk(png, "IDAT", packed.data(), packed_size);
    chunk(png, "IEND", nullptr, 0);

    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(native_path(path).c_str(), "wb"), &std::fclose);
    if (!f) return false;
    return std::fwrite(png.data(), 1, png.size(), f.get()) == png.size();
}

bool render_chart_png(const std::string& path, const ChartSeries& s) {
    constexpr uint32_t kW = 800, kH = 300, kLeft = 8, kBottom = 8;
    constexpr uint32_t kGrid = 0x404040, kAxis = 0x969696, kKbps = 0x00FF00, kTemp = 0x277FFF;
    ChartCanvas c(static_cast<int>(kW), static_cast<int>(kH), Rgb{});
    const int plot_w = static_cast<int>(kW - kLeft - 8), plot_h = static_cast<int>(kH - kBottom - 8);
    const int x0 = static_cast<int>(kLeft), y0 = static_cast<int>(kH - kBottom);
    for (int g = 0; g <= 10; ++g) {
        int y = y0 - plot_h * g / 10;
        c.line(x0, y, x0 + plot_w, y, rgb_of(g == 0 ? kAxis : kGrid));
        int x = x0 + plot_w * g / 10;
        c.line(x, y0, x, y0 - plot_h, rgb_of(g == 0 ? kAxis : kGrid));
    }
    const size_t n = s.points.size();
    const double scale = std::max<uint32_t>(s.scale_kbps, 1);
    auto px = [&](size_t i) { return x0 + static_cast<int>(n > 1 ? static_cast<double>(i) * plot_w / (n - 1) : 0); };
    auto py_kb = [&](const ThroughputSample& p) {
        double v = static_cast<double>(p.read_kbps) + p.write_kbps;
        return y0 - static_cast<int>(std::min(v / scale, 1.0) * plot_h);
    };
    auto py_temp = [&](const ThroughputSample& p) {
        int t = static_cast<int>(p.composite) - s.temperature_offset;  // degrees on a 0..100 scale
        return y0 - plot_h * std::clamp(t, 0, 100) / 100;
    };
    for (size_t i = 1; i < n; ++i) {
        c.line(px(i - 1), py_kb(s.points[i - 1]), px(i), py_kb(s.points[i]), rgb_of(kKbps));
        if (s.points[i - 1].composite && s.points[i].composite)
            c.line(px(i - 1), py_temp(s.points[i - 1]), px(i), py_temp(s.points[i]), rgb_of(kTemp));
    }
    if (n == 1) c.set(px(0), py_kb(s.points[0]), rgb_of(kKbps));
    return write_png(path, kW, kH, c.rgb());
}

}  // namespace tb
