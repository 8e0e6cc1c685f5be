#include "workload/map_command_support.h"

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "ui/job_log.h"
#include "workload/command_support.h"
#include "workload/compare_report.h"
#include "workload/lba_target.h"
#include "workload/pattern.h"

namespace tb {

bool require_raw_mode(int slot) {
    if (target_mode(current_target()) == TargetMode::Raw) return true;
    log_text(slot, "Command Only Support RAW Mode", colour::kRed);
    raise_error(slot, kErrRawModeOnly, "Use ChangeDisk() or Partition_Delete() then try again.");
    return false;
}

bool resolve_map_argument(int slot, std::string& path) {
    switch (resolve_file_argument(slot, path, false, "map", "LBA Map File")) {
        case FileResolve::Chosen: return true;
        case FileResolve::Cancelled: set_cancel(slot); return false;
        case FileResolve::NotFound: raise_error(slot, kErrFileOpen, path); return false;
    }
    return false;
}

bool load_map_for_disk(int slot, std::string& path, LbaMap& map) {
    if (!resolve_map_argument(slot, path)) return false;
    if (!file_exists(path)) {
        raise_error(slot, kErrFileOpen, path);
        return false;
    }
    std::string why;
    if (!load_lba_map(path, map, why)) {
        raise_error(slot, file_exists(path) ? kErrInvalidData : kErrFileOpen, why);
        return false;
    }
    const uint32_t ss = job_sector_size();
    const MapHeader& h = map.header;
    if (h.region_start % ss || h.request_size % ss) {
        raise_error(slot, kErrParam, fmt("The map's region start and request size must be whole sectors of %u bytes", ss));
        return false;
    }
    const uint64_t disk = disk_bytes(current_target());
    if (disk && h.region_start + h.units() * h.request_size > disk) {
        raise_error(slot, kErrParam, "The map's region passes the end of the disk");
        return false;
    }
    return true;
}

bool pattern_from_text(int slot, const std::string& text, uint32_t& out, const char* refusal) {
    int64_t v = 0;
    if (iequals(trim(text), "AUTO")) {
        out = kPatternAuto;
    } else if (arg_i64(slot, text, v) && v >= 0 && v <= 0xFFFFFFFFll) {
        out = static_cast<uint32_t>(v);
    } else {
        raise_error(slot, kErrParam, fmt("Pattern:%s is not a 32-bit number", text));
        return false;
    }
    if (out == kPatternAuto && refusal) {
        raise_error(slot, kErrParam, refusal);
        return false;
    }
    return true;
}

std::unique_ptr<IoTarget> open_map_target(int slot) {
    std::string why;
    std::unique_ptr<IoTarget> t = open_disk_target(current_target(), &why);
    if (!t) raise_error(slot, kErrOpenDisk, why.empty() ? current_target().device_path : why);
    return t;
}

void raise_at_position(int slot, int32_t code, uint64_t byte_offset) {
    const std::string at = current_lba_text(byte_offset / job_sector_size());
    log_text(slot, at);
    raise_error(slot, code, at);
}

}  // namespace tb
