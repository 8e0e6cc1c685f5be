#include "workload/client_trace.h"

#include <algorithm>

#include "common/format.h"

namespace tb {

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool number(std::string_view s, uint64_t& v) {
    if (s.empty()) return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

std::string_view next_field(std::string_view line, size_t& at) {
    while (at < line.size() && blank(line[at])) ++at;
    size_t b = at;
    while (at < line.size() && !blank(line[at])) ++at;
    return line.substr(b, at - b);
}

// Hundredths of a percent as "%d.%02d".
std::string share(uint64_t part, uint64_t total) {
    uint64_t h = total ? part * 10000 / total : 0;
    return fmt("%d.%02d", static_cast<uint32_t>(h / 100), static_cast<uint32_t>(h % 100));
}

// Sectors as GiB with two decimals.
std::string gib(uint64_t sectors) {
    uint64_t hundredths = sectors * 512 * 100 >> 30;
    return fmt("%d.%02d", static_cast<uint32_t>(hundredths / 100), static_cast<uint32_t>(hundredths % 100));
}

}  // namespace

std::vector<TraceCommand> parse_trace(std::string_view text, void (*progress)(int, void*), void* context) {
    std::vector<TraceCommand> out;
    out.reserve(text.size() / 24);
    int shown = -1;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t e = text.find('\n', pos);
        if (e == std::string_view::npos) e = text.size();
        std::string_view line = text.substr(pos, e - pos);
        pos = e + 1;
        size_t at = 0;
        std::string_view word = next_field(line, at);
        uint64_t lba = 0, count = 0;
        if (!word.empty() && number(next_field(line, at), lba) && number(next_field(line, at), count) &&
            count <= 0xFFFFFFFFull) {
            TraceCommand c;
            c.op = word == "$write" ? TraceOp::Write : word == "$trims" ? TraceOp::Trim : TraceOp::Flush;
            c.lba = lba;
            c.sectors = static_cast<uint32_t>(count);
            out.push_back(c);
        }
        if (progress) {
            int percent = static_cast<int>(std::min<size_t>(pos, text.size()) * 100 / std::max<size_t>(text.size(), 1));
            if (percent != shown) progress(shown = percent, context);
        }
    }
    return out;
}

void add_to_summary(TraceSummary& s, const TraceCommand& c) {
    ++s.commands;
    switch (c.op) {
    case TraceOp::Write:
        ++s.writes;
        s.write_sectors += c.sectors;
        s.max_write = std::max(s.max_write, c.sectors);
        break;
    case TraceOp::Trim:
        ++s.trims;
        s.trim_sectors += c.sectors;
        s.max_trim = std::max(s.max_trim, c.sectors);
        break;
    case TraceOp::Flush: ++s.flushes; break;
    }
}

std::vector<bool> hot_slices(const std::vector<TraceCommand>& commands) {
    std::vector<bool> hot(kTraceSlices, false);
    for (const TraceCommand& c : commands) {
        if (c.op == TraceOp::Flush || c.sectors == 0) continue;
        uint64_t first = c.lba / kTraceSliceSectors, last = (c.lba + c.sectors - 1) / kTraceSliceSectors;
        for (uint64_t s = first; s <= last && s < kTraceSlices; ++s) hot[s] = true;
    }
    return hot;
}

std::vector<std::string> summary_lines(const TraceSummary& s, bool maxima) {
    std::vector<std::string> out = {
        fmt("Total Commands     : %d", static_cast<uint32_t>(s.commands)),
        fmt("Trim Commands(%%)   : %-12d | %s", static_cast<uint32_t>(s.trims), share(s.trims, s.commands)),
        fmt("Write Commands(%%)  : %-12d | %s", static_cast<uint32_t>(s.writes), share(s.writes, s.commands)),
        fmt("Flush Commands(%%)  : %-12d | %s", static_cast<uint32_t>(s.flushes), share(s.flushes, s.commands)),
        fmt("Trim Size (GB)     : %s", gib(s.trim_sectors)),
        fmt("Write Size (GB)    : %s", gib(s.write_sectors)),
    };
    if (maxima) {
        out.push_back(fmt("Max Write Sectors  : %d", s.max_write));
        out.push_back(fmt("Max Trim Sectors   : %d", s.max_trim));
    }
    return out;
}

SliceMap make_slice_map(const std::vector<bool>& hot, uint64_t range_mb) {
    SliceMap m;
    m.target_slices = range_mb / 20 + 1;
    for (bool h : hot) (h ? m.hot : m.cold) += 1;
    m.scale = m.target_slices > m.hot && m.cold ? (m.target_slices - m.hot) * 100 / m.cold : 0;
    m.start.resize(hot.size());
    uint64_t hot_before = 0, cold_before = 0;
    for (size_t i = 0; i < hot.size(); ++i) {
        m.start[i] = (hot_before + cold_before * m.scale / 100) * kTraceSliceSectors;
        (hot[i] ? hot_before : cold_before) += 1;
    }
    return m;
}

uint64_t SliceMap::map(uint64_t trace_lba) const {
    uint64_t slice = trace_lba / kTraceSliceSectors;
    uint64_t inside = trace_lba % kTraceSliceSectors;
    if (slice >= start.size()) {
        // Beyond the trace's space: after the last slice, unscaled.
        uint64_t last = start.empty() ? 0 : start.back() + kTraceSliceSectors;
        return last + (slice - start.size()) * kTraceSliceSectors + inside;
    }
    return start[slice] + inside;
}

std::vector<std::string> scale_lines(const SliceMap& m, uint64_t range_mb) {
    return {fmt("Target Range (MB)  : %d", static_cast<uint32_t>(range_mb)),
            fmt("Cold Range Scale X : %d.%02d", static_cast<uint32_t>(m.scale / 100),
                static_cast<uint32_t>(m.scale % 100))};
}

}  // namespace tb
