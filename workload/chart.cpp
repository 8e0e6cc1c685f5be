#include "workload/chart.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/paths.h"
#include "ui/chart_display.h"

namespace tb {

void ChartSeries::add(const ThroughputSample& s, uint32_t scale) {
    scale_kbps = std::max(scale_kbps, scale);
    if (slot >= 0) job_events()->chart_point(slot, chart_point_of(s, temperature_offset, scale_kbps, taken));
    ++taken;
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

ChartPoint chart_point_of(const ThroughputSample& s, int temperature_offset, uint32_t scale_kbps, uint32_t number) {
    ChartPoint p;
    p.number = number;
    p.job_ms = s.job_ms;
    p.kbps = s.read_kbps + s.write_kbps;
    p.iops = s.read_iops + s.write_iops;
    p.has_temperature = s.composite != 0;
    p.temperature = static_cast<int32_t>(s.composite) - temperature_offset;
    p.scale_kbps = scale_kbps;
    return p;
}

LineChart throughput_line_chart(std::span<const ChartPoint> points, uint32_t scale_kbps) {
    LineChart chart;
    chart.title = "Throughput";
    chart.x_name = "Time (s)";
    chart.left = {"MB/s", true, 0, std::max<uint32_t>(scale_kbps, 1) / 1024.0};
    ChartLineSeries rate{"Read+Write (MB/s)", {}, false};
    ChartLineSeries temperature{"Temperature (C)", {}, true};
    // Temperatures are read less often than points are taken: a point
    // without a reading keeps the last one (none before the first).
    bool any_temperature = false;
    double last_temperature = std::nan("");
    for (const ChartPoint& p : points) {
        chart.x.push_back(p.job_ms / 1000.0);
        rate.values.push_back(p.kbps / 1024.0);
        if (p.has_temperature) last_temperature = p.temperature;
        temperature.values.push_back(last_temperature);
        any_temperature = any_temperature || p.has_temperature;
    }
    chart.series.push_back(std::move(rate));
    if (any_temperature) {
        chart.right = {"Temperature (C)", true, 0, 100};
        chart.series.push_back(std::move(temperature));
    }
    return chart;
}

bool render_chart_png(const std::string& path, const ChartSeries& s) {
    std::vector<ChartPoint> points;
    points.reserve(s.points.size());
    for (size_t i = 0; i < s.points.size(); ++i)
        points.push_back(chart_point_of(s.points[i], s.temperature_offset, s.scale_kbps, static_cast<uint32_t>(i)));
    return chart_display()->save_chart(path, throughput_line_chart(points, s.scale_kbps));
}

}  // namespace tb
