#include "workload/map_make.h"

#include <numeric>

#include "workload/pattern.h"

namespace tb {

std::vector<uint8_t> build_action_table(uint32_t trim, uint32_t fua, uint32_t flush, uint32_t seed) {
    std::vector<uint8_t> table(kActionTableSize, static_cast<uint8_t>(MapAction::Write));
    std::vector<uint32_t> free_positions(kActionTableSize);
    std::iota(free_positions.begin(), free_positions.end(), 0u);
    WorkloadRandom rng(seed);
    auto place = [&](uint32_t count, MapAction action) {
        for (uint32_t i = 0; i < count && !free_positions.empty(); ++i) {
            const uint32_t pick = rng.below(static_cast<uint32_t>(free_positions.size()));
            table[free_positions[pick]] = static_cast<uint8_t>(action);
            free_positions[pick] = free_positions.back();
            free_positions.pop_back();
        }
    };
    place(trim, MapAction::Trim);
    place(fua, MapAction::FuaWrite);
    place(flush, MapAction::Flush);
    return table;
}

bool draw_map_records(const MapDraw& draw, const SeedSource& seeds, const RecordSink& sink) {
    const uint64_t units = draw.request_size ? draw.region_length / draw.request_size : 0;
    if (units == 0 || units > kMaxMapUnits) return draw.write_requests == 0;
    const uint32_t unit_count = static_cast<uint32_t>(units);
    const std::vector<uint8_t> actions =
        build_action_table(draw.trim_ratio, draw.fua_ratio, draw.flush_ratio, seeds());
    uint8_t random_choice[100];
    fill_ratio_table(random_choice, draw.rand_ratio, seeds());

    std::vector<MapRecord> block;
    block.reserve(kRecordsPerBlock);
    WorkloadRandom rng;
    uint64_t writes = 0;
    uint32_t action_at = 0, choice_at = 0, next_unit = 0;
    auto offset_of = [&](uint32_t unit) { return draw.region_start + uint64_t{unit} * draw.request_size; };
    while (writes < draw.write_requests) {
        if (block.empty()) rng = WorkloadRandom(seeds());
        MapRecord r;
        r.action = static_cast<MapAction>(actions[action_at]);
        action_at = (action_at + 1) % kActionTableSize;
        if (r.action == MapAction::Trim) {
            r.offset = offset_of(rng.below(unit_count));
        } else if (is_write(r.action)) {
            const bool random = random_choice[choice_at] != 0;
            choice_at = (choice_at + 1) % 100;
            if (random) {
                r.offset = offset_of(rng.below(unit_count));
            } else {
                r.offset = offset_of(next_unit);
                next_unit = next_unit + 1 == unit_count ? 0 : next_unit + 1;
            }
            ++writes;
        }
        block.push_back(r);
        if (block.size() == kRecordsPerBlock) {
            if (!sink(block)) return false;
            block.clear();
        }
    }
    return block.empty() || sink(block);
}

}  // namespace tb
