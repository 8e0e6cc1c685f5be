// The progress record of a played LBA map: which records were issued, which
// are known complete, and which flush made the writes before it durable, so
// that a later process (after a crash, a power cut, a restart-and-continue)
// knows what the disk should hold.
//
// How it is kept. The record is a small text file beside the map
// ("<map folder>\LBAMap.progress"), replaced as a whole: written beside it,
// synced, renamed over it, the folder synced, so an interruption leaves
// either the previous record or the new one, never a torn one. It holds
//   floor    every record below it is complete,
//   limit    no record at or above it has been issued (a reservation),
//   done     the records in [floor, limit) known complete,
//   flushed  every write before this record is durable (a flush at
//            flushed-1 completed after all records before it completed),
// plus the counts issued and completed and the patterns used.
//
// The limit is written ahead: before the player issues a record at or past
// the limit, it saves a new record with the limit moved forward (by twice
// what was issued since the last save, and at least two queue depths), so
// the file on disk never claims a record was not issued when it was. The
// floor and the done list are saved every 100 ms of playing, at once after
// every completed flush, and at the end.
//
// What an interruption between two updates costs: records that completed
// after the last save are still seen as uncertain (either the unit's
// version before them or theirs is accepted), never as complete; records
// reserved but never issued are uncertain too, which only means their old
// data is also accepted. A play that ends (to its end, or stopped by an
// error) saves its issue count as the limit, so then only the records it
// really left in flight are uncertain. No record is ever taken as complete that was not,
// and none as never issued that was: the uncertain window is [floor, limit)
// less the done list, about the records of the last 100 to 200 ms.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tb {

struct MapProgress {
    std::string map_path;
    uint32_t map_records = 0;       // the map's record count (to recognise the map)
    uint32_t write_pattern = 0;
    std::optional<uint32_t> base_pattern;  // set by the compare
    uint32_t floor = 0;
    uint32_t limit = 0;
    uint32_t flushed = 0;
    uint64_t issued = 0;
    uint64_t completed = 0;
    std::vector<uint32_t> done;     // ascending, each in [floor, limit)
    bool finished = false;

    // Whether record `index` is known complete / may have been issued
    // without being known complete.
    bool complete(uint32_t index) const;
    bool uncertain(uint32_t index) const;
};

// "<folder of the map>\<map name>.progress".
std::string progress_path_for(const std::string& map_path);

std::string encode_map_progress(const MapProgress& p);
// False when the text is not a whole, consistent progress record.
bool decode_map_progress(const std::string& text, MapProgress& out);

bool save_map_progress(const std::string& path, const MapProgress& p);
// nullopt when there is no record; `damaged` set when there is one that
// cannot be read.
std::optional<MapProgress> load_map_progress(const std::string& path, bool* damaged = nullptr);

// Keeps the record up to date while a map is played (see the top of this
// file). Every call that may save returns false when saving failed.
class MapProgressKeeper {
public:
    using Clock = std::chrono::steady_clock;

    MapProgressKeeper(std::string path, MapProgress start, uint32_t queue_depth);
    // Saves the starting record.
    bool begin();
    // Before issuing record `index`: moves the limit past it first if needed.
    bool reserve(uint32_t index);
    void issued() { ++state_.issued; }
    // A record completed; saves when 100 ms have passed since the last save.
    bool completed(uint32_t index);
    // A flush at `index` completed with nothing else in flight.
    bool flushed(uint32_t index);
    // Every issued record has completed (or the play stopped): saves the end.
    bool finish(bool all_complete);
    const MapProgress& state() const { return state_; }
    uint32_t saves() const { return saves_; }

private:
    bool save();
    void advance_floor();

    std::string path_;
    MapProgress state_;
    std::set<uint32_t> done_;
    uint32_t min_reserve_;
    uint64_t issued_at_last_save_ = 0;
    Clock::time_point last_save_{};
    uint32_t saves_ = 0;
    bool closed_ = false;  // finished: the limit is what was issued
};

}  // namespace tb
