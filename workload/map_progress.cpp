#include "workload/map_progress.h"

#include <algorithm>
#include <sstream>

#include "common/file_handle.h"
#include "common/format.h"
#include "platform/paths.h"
#include "workload/lba_map_file.h"

namespace tb {

namespace {

constexpr const char* kMagic = "tamblor map progress 1";
constexpr auto kSaveInterval = std::chrono::milliseconds(100);

bool parse_u64(const std::string& s, uint64_t& out) {
    if (s.empty() || s.size() > 20) return false;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        const uint64_t next = v * 10 + static_cast<uint64_t>(c - '0');
        if (next / 10 != v) return false;
        v = next;
    }
    out = v;
    return true;
}

bool parse_u32(const std::string& s, uint32_t& out) {
    uint64_t v = 0;
    if (!parse_u64(s, v) || v > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

bool MapProgress::complete(uint32_t index) const {
    return index < floor || std::binary_search(done.begin(), done.end(), index);
}

bool MapProgress::uncertain(uint32_t index) const { return index >= floor && index < limit && !complete(index); }

std::string progress_path_for(const std::string& map_path) {
    return path_join(path_folder(map_path), path_stem(map_path) + ".progress");
}

std::string encode_map_progress(const MapProgress& p) {
    std::string out = std::string(kMagic) + "\n";
    out += "map=" + p.map_path + "\n";
    out += fmt("records=%u\nwrite_pattern=%u\n", p.map_records, p.write_pattern);
    out += p.base_pattern ? fmt("base_pattern=%u\n", *p.base_pattern) : std::string("base_pattern=none\n");
    out += fmt("floor=%u\nlimit=%u\nflushed=%u\n", p.floor, p.limit, p.flushed);
    out += fmt("issued=%I64u\ncompleted=%I64u\n", p.issued, p.completed);
    out += "done=";
    for (size_t i = 0; i < p.done.size(); ++i) out += fmt(i ? ",%u" : "%u", p.done[i]);
    out += fmt("\nfinished=%d\nend\n", p.finished ? 1 : 0);
    return out;
}

bool decode_map_progress(const std::string& text, MapProgress& out) {
    out = MapProgress{};
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) return false;
    bool ended = false;
    unsigned seen = 0;
    while (std::getline(in, line)) {
        if (line == "end") {
            ended = true;
            break;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        bool ok = true;
        if (key == "map") out.map_path = value;
        else if (key == "records") ok = parse_u32(value, out.map_records);
        else if (key == "write_pattern") ok = parse_u32(value, out.write_pattern);
        else if (key == "base_pattern") {
            uint32_t v = 0;
            if (value != "none") {
                ok = parse_u32(value, v);
                out.base_pattern = v;
            }
        } else if (key == "floor") ok = parse_u32(value, out.floor);
        else if (key == "limit") ok = parse_u32(value, out.limit);
        else if (key == "flushed") ok = parse_u32(value, out.flushed);
        else if (key == "issued") ok = parse_u64(value, out.issued);
        else if (key == "completed") ok = parse_u64(value, out.completed);
        else if (key == "finished") out.finished = value == "1";
        else if (key == "done") {
            std::istringstream items(value);
            std::string item;
            while (std::getline(items, item, ',')) {
                uint32_t v = 0;
                if (!parse_u32(item, v)) return false;
                out.done.push_back(v);
            }
        } else {
            return false;
        }
        if (!ok) return false;
        ++seen;
    }
    if (!ended || seen != 11) return false;
    if (out.floor > out.limit || out.limit > out.map_records || out.flushed > out.floor) return false;
    if (!std::is_sorted(out.done.begin(), out.done.end())) return false;
    for (uint32_t d : out.done)
        if (d < out.floor || d >= out.limit) return false;
    return true;
}

bool save_map_progress(const std::string& path, const MapProgress& p) {
    return replace_file_durably(path, encode_map_progress(p));
}

std::optional<MapProgress> load_map_progress(const std::string& path, bool* damaged) {
    if (damaged) *damaged = false;
    if (!file_exists(path)) return std::nullopt;
    std::string text;
    MapProgress p;
    if (!read_file_bytes(path, text) || !decode_map_progress(text, p)) {
        if (damaged) *damaged = true;
        return std::nullopt;
    }
    return p;
}

MapProgressKeeper::MapProgressKeeper(std::string path, MapProgress start, uint32_t queue_depth)
    : path_(std::move(path)), state_(std::move(start)), min_reserve_(std::max<uint32_t>(2 * queue_depth, 16)) {
    state_.floor = state_.limit = state_.flushed = 0;
    state_.issued = state_.completed = 0;
    state_.done.clear();
    state_.finished = false;
}

bool MapProgressKeeper::begin() { return save(); }

bool MapProgressKeeper::reserve(uint32_t index) {
    if (index < state_.limit) return true;
    const uint64_t recent = state_.issued - issued_at_last_save_;
    const uint64_t ahead = std::max<uint64_t>(min_reserve_, 2 * recent);
    state_.limit = static_cast<uint32_t>(std::min<uint64_t>(state_.map_records, uint64_t{index} + 1 + ahead));
    return save();
}

void MapProgressKeeper::advance_floor() {
    while (!done_.empty() && *done_.begin() == state_.floor) {
        done_.erase(done_.begin());
        ++state_.floor;
    }
}

bool MapProgressKeeper::completed(uint32_t index) {
    ++state_.completed;
    done_.insert(index);
    advance_floor();
    if (Clock::now() - last_save_ < kSaveInterval) return true;
    return save();
}

bool MapProgressKeeper::flushed(uint32_t index) {
    ++state_.completed;
    done_.insert(index);
    advance_floor();
    state_.flushed = std::min(index + 1, state_.floor);
    return save();
}

bool MapProgressKeeper::finish(bool all_complete) {
    state_.finished = all_complete;
    // Nothing more is issued: the records reserved past the last one issued
    // were never played, and must not pass for possibly played (a later
    // trim or write of a unit would excuse the loss of its earlier write).
    closed_ = true;
    state_.limit = std::max(static_cast<uint32_t>(state_.issued), state_.floor);
    return save();
}

bool MapProgressKeeper::save() {
    // Keep the reservation ahead of the issuing so that saving it rarely
    // waits on the next request.
    const uint64_t recent = state_.issued - issued_at_last_save_;
    const uint64_t wanted = state_.issued + std::max<uint64_t>(min_reserve_, 2 * recent);
    if (!closed_ && state_.issued > 0)
        state_.limit = static_cast<uint32_t>(std::max<uint64_t>(state_.limit, std::min<uint64_t>(state_.map_records, wanted)));
    state_.done.assign(done_.begin(), done_.end());
    while (!state_.done.empty() && state_.done.back() >= state_.limit) state_.done.pop_back();
    issued_at_last_save_ = state_.issued;
    last_save_ = Clock::now();
    ++saves_;
    return save_map_progress(path_, state_);
}

}  // namespace tb
