// Steps the map commands share: the RAW-mode check, the map file argument,
// reading a pattern or a size limit that may be a word, and the position
// line before an error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/io_queue.h"
#include "workload/lba_map.h"

namespace tb {

// False (with -20 raised) unless the job's disk is in RAW mode.
bool require_raw_mode(int slot);

// Resolves the `LBAMap` argument (an empty name asks for a file titled
// "LBA Map File"). False when the job was stopped by a cancelled question
// or the error was raised (-11 for a file that does not exist).
bool resolve_map_argument(int slot, std::string& path);

// Resolves and reads a map, checked against the job's disk: -11 when it
// cannot be read, -90 when it is damaged, -2 when its region does not fit
// the disk or its sizes are not whole sectors.
bool load_map_for_disk(int slot, std::string& path, LbaMap& map);

// A pattern key's text: a number, or "AUTO" (kPatternAuto). False with -2
// raised when it is neither, or when it is "AUTO" and `refusal` is given
// (the refusal is the message).
bool pattern_from_text(int slot, const std::string& text, uint32_t& out, const char* refusal = nullptr);

// The job's whole disk for the map I/O; nullptr with -1 raised.
std::unique_ptr<IoTarget> open_map_target(int slot);

// "CurrentLBA: 0x%08X%08X" for a byte offset, then the error.
void raise_at_position(int slot, int32_t code, uint64_t byte_offset);

}  // namespace tb
