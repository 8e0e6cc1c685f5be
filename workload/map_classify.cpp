#include "workload/map_classify.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "workload/pattern.h"

namespace tb {

void SectorCounts::add(const SectorCounts& o) {
    correct += o.correct;
    old_data += o.old_data;
    zeros += o.zeros;
    miscompare += o.miscompare;
    read_fail += o.read_fail;
    lost_durable += o.lost_durable;
    lost_unflushed += o.lost_unflushed;
}

namespace {

bool all_bytes(std::span<const uint8_t> d, uint8_t value) {
    return std::all_of(d.begin(), d.end(), [value](uint8_t b) { return b == value; });
}

bool same(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

std::vector<uint8_t> version_data(const MapReplay& replay, uint64_t unit, const UnitVersion& v,
                                  const CompareSetup& s) {
    std::vector<uint8_t> out(replay.unit_bytes());
    fill_version(out, v, replay.unit_offset(unit), s.sector_size, s.base_pattern, s.write_pattern);
    return out;
}

struct Rebuilt {
    std::vector<uint8_t> data;
    bool in_flight = false;
};

void count_all(SectorCounts& c, SectorClass k, uint64_t n) {
    switch (k) {
        case SectorClass::Correct: c.correct += n; break;
        case SectorClass::OldData: c.old_data += n; break;
        case SectorClass::Zeros: c.zeros += n; break;
        case SectorClass::Miscompare: c.miscompare += n; break;
        case SectorClass::ReadFail: c.read_fail += n; break;
    }
}

// Wrong sectors of a played version count as lost, durable or not.
void count_lost(SectorCounts& c, const MapReplay& replay, const UnitVersion& expected) {
    if (expected.kind == UnitVersion::Kind::Base) return;
    const uint64_t wrong = c.old_data + c.zeros + c.miscompare;
    if (replay.durable(expected)) c.lost_durable += wrong;
    else c.lost_unflushed += wrong;
}

}  // namespace

UnitClassification classify_unit(MapReplay& replay, uint64_t unit, std::span<const uint8_t> data,
                                 const CompareSetup& s) {
    UnitClassification out;
    const uint32_t ss = s.sector_size;
    const uint64_t sectors = data.size() / ss;
    const UnitVersion expected = replay.expected(unit);
    out.expected = version_data(replay, unit, expected, s);
    const auto finish = [&](SectorClass k) {
        count_all(out.counts, k, sectors);
        if (k != SectorClass::Correct) out.first_wrong = 0;
        count_lost(out.counts, replay, expected);
        return out;
    };
    if (same(data, out.expected)) return finish(SectorClass::Correct);
    if (expected.kind == UnitVersion::Kind::Zeros && all_bytes(data, 0xFF)) return finish(SectorClass::Correct);
    std::vector<std::vector<uint8_t>> flying;
    for (const UnitVersion& v : replay.in_flight(unit)) {
        flying.push_back(version_data(replay, unit, v, s));
        if (same(data, flying.back())) return finish(SectorClass::Correct);
    }
    if (all_bytes(data, 0)) return finish(SectorClass::Zeros);
    const std::vector<uint8_t> base = version_data(replay, unit, UnitVersion{}, s);
    if (same(data, base)) return finish(SectorClass::OldData);
    if (data.size() < 24 || get_be64(data.data()) != replay.unit_offset(unit) / ss)
        return finish(SectorClass::Miscompare);
    // The earlier write a write count names, rebuilt once per count.
    std::map<uint64_t, std::optional<Rebuilt>> earlier;
    const auto named = [&](uint64_t count) -> const std::optional<Rebuilt>& {
        auto it = earlier.find(count);
        if (it != earlier.end()) return it->second;
        std::optional<Rebuilt> v;
        if (std::optional<UnitVersion> w = replay.write_with_count(unit, count))
            v = Rebuilt{version_data(replay, unit, *w, s), replay.uncertain(*w)};
        return earlier.emplace(count, std::move(v)).first->second;
    };
    const std::optional<Rebuilt>& whole = named(get_be64(data.data() + 16));
    if (whole && same(data, whole->data)) return finish(whole->in_flight ? SectorClass::Correct : SectorClass::OldData);
    const uint64_t first_lba = replay.unit_offset(unit) / ss;
    for (uint64_t i = 0; i < sectors; ++i) {
        const auto piece = [&](std::span<const uint8_t> d) { return d.subspan(i * ss, ss); };
        const std::span<const uint8_t> got = piece(data);
        SectorClass k = SectorClass::Miscompare;
        if (same(got, piece(out.expected))) {
            k = SectorClass::Correct;
        } else if (std::any_of(flying.begin(), flying.end(), [&](const auto& f) { return same(got, piece(f)); })) {
            k = SectorClass::Correct;
        } else if (all_bytes(got, 0)) {
            k = SectorClass::Zeros;
        } else if (same(got, piece(base))) {
            k = SectorClass::OldData;
        } else if (ss >= 24 && get_be64(got.data()) == first_lba + i) {
            // Each sector names its own write: a torn or partly lost write
            // can leave sectors of different versions.
            const std::optional<Rebuilt>& v = named(get_be64(got.data() + 16));
            if (v && same(got, piece(v->data))) k = v->in_flight ? SectorClass::Correct : SectorClass::OldData;
        }
        count_all(out.counts, k, 1);
        if (k != SectorClass::Correct && out.first_wrong < 0) out.first_wrong = static_cast<int64_t>(i);
    }
    count_lost(out.counts, replay, expected);
    return out;
}

UnitClassification classify_unreadable(MapReplay& replay, uint64_t unit, const CompareSetup& s) {
    UnitClassification out;
    out.expected = version_data(replay, unit, replay.expected(unit), s);
    out.counts.read_fail = replay.unit_bytes() / s.sector_size;
    out.first_wrong = 0;
    return out;
}

}  // namespace tb
