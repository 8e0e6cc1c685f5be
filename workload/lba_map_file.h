// Writing LBA map files: a new map in a folder of its own, records added in
// blocks, the record count patched at the end; appending to an existing
// map; and durable small-file replacement shared with the progress record.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "common/file_handle.h"
#include "workload/lba_map.h"

namespace tb {

// "<work folder>\[LBAMap_YYYYMMDD-hhmmss-mmm]" for a local time and its
// milliseconds (the folder is not made).
std::string map_folder_name(const std::string& work_folder, const std::tm& local, int milliseconds);

class MapFileWriter {
public:
    // A new map with `header` (count 0 until finish()).
    bool create(const std::string& path, const MapHeader& header, std::string& why);
    // An existing map, checked in full; its header is returned and new
    // records go after its last one.
    bool open_for_append(const std::string& path, MapHeader& header, std::string& why);
    bool append(std::span<const MapRecord> records);
    // Writes the final header (with the count) and makes the file durable.
    bool finish(const MapHeader& header);

private:
    FileHandle file_;
};

// Replaces `path` with `content` so that a crash leaves either the old file
// or the new one: written beside it, synced, renamed over it, the folder
// synced.
bool replace_file_durably(const std::string& path, std::string_view content);

}  // namespace tb
