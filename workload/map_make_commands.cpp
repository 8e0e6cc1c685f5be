// Compare_MapMake and Compare_MapAppend.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/host/local_time.h"
#include "platform/host/private_folder.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "script/job_slot.h"
#include "ui/job_log.h"
#include "workload/command_support.h"
#include "workload/lba_map_file.h"
#include "workload/lba_target.h"
#include "workload/map_command_support.h"
#include "workload/map_commands.h"
#include "workload/map_make.h"
#include "workload/pattern.h"
#include "workload/trim_support.h"

namespace tb {

namespace {

constexpr uint32_t kMaxRatio = kActionTableSize;
constexpr int64_t kMaxAccessKB = 4194303;  // the request size stays below 4 GiB

// What both commands read after their own first keys.
struct RegionKeys {
    uint32_t rand_ratio = 100;
    int64_t lba = 0;
    int64_t range_mb = 1024;
    std::string limit_text;
    uint32_t trim = 0, fua = 0, flush = 0;
};

RegionKeys region_keys(const CommandArgs& a) {
    RegionKeys k;
    k.rand_ratio = static_cast<uint32_t>(a.number("RandRatio"));
    k.lba = a.number("LBA");
    k.range_mb = a.number("RangeLenMB");
    k.limit_text = a.text("LimitTxSizeMB");
    k.trim = static_cast<uint32_t>(a.number("TrimRatio"));
    k.fua = static_cast<uint32_t>(a.number("FuaRatio"));
    k.flush = static_cast<uint32_t>(a.number("FlushRatio"));
    return k;
}

bool check_ratios(int slot, const RegionKeys& k) {
    if (!trims_possible(slot, k.trim)) return false;
    if (k.trim + k.flush > 5000) {
        raise_error(slot, kErrParam, "Trim + Flush Ratio need < 5000");
        return false;
    }
    if (k.trim + k.fua + k.flush > kMaxRatio) {
        raise_error(slot, kErrParam, "Trim + Fua + Flush Ratio need <= 10000");
        return false;
    }
    return true;
}

// The region in bytes: from the LBA, RangeLenMB long (0: to the end of the
// disk), cut at the end of the disk.
bool region_of(int slot, const RegionKeys& k, uint32_t request_size, uint64_t& start, uint64_t& length) {
    const uint32_t ss = job_sector_size();
    const uint64_t disk = disk_bytes(current_target());
    start = static_cast<uint64_t>(k.lba) * ss;
    const uint64_t to_end = disk > start ? disk - start : 0;
    length = static_cast<uint64_t>(k.range_mb) << 20;
    if (length == 0 || length > to_end) length = to_end;
    if (length < request_size) {
        raise_error(slot, kErrParam, "RangeLenMB holds no request of AccessKB from LBA");
        return false;
    }
    if (length / request_size > kMaxMapUnits) {
        raise_error(slot, kErrParam, "RangeLenMB / AccessKB need <= 67108864");
        return false;
    }
    return true;
}

// Writes requests the map holds: LimitTxSizeMB, or one range for "CYCLE" or 0.
bool write_requests_of(int slot, const std::string& limit_text, uint64_t units, uint32_t request_size,
                       uint64_t& out) {
    if (iequals(trim(limit_text), "CYCLE")) {
        out = units;
        return true;
    }
    int64_t mb = 0;
    if (!arg_i64(slot, limit_text, mb) || mb < 0) {
        raise_error(slot, kErrParam, fmt("LimitTxSizeMB:%s must be a size in MB or \"CYCLE\"", limit_text));
        return false;
    }
    out = mb == 0 ? units : (static_cast<uint64_t>(mb) << 20) / request_size;
    if (out == 0) {
        raise_error(slot, kErrParam, "LimitTxSizeMB holds no request of AccessKB");
        return false;
    }
    return true;
}

std::tm local_now(int& milliseconds) {
    using namespace std::chrono;
    const auto since_epoch = system_clock::now().time_since_epoch();
    const auto secs = duration_cast<seconds>(since_epoch);
    milliseconds = static_cast<int>(duration_cast<std::chrono::milliseconds>(since_epoch - secs).count());
    return host::local_time(static_cast<std::time_t>(secs.count()));
}

// A new "[LBAMap_...]" folder in the work folder (the job's log folder
// when there is none); empty when none can be made.
std::string make_map_folder(int slot) {
    std::string base = app().work_folder;
    if (base.empty()) {
        if (JobSlot* js = job_slot(slot)) base = js->log_folder;
    }
    if (base.empty()) return {};
    for (int tries = 0; tries < 50; ++tries) {
        int ms = 0;
        const std::tm tm = local_now(ms);
        const std::string folder = map_folder_name(base, tm, ms);
        if (host::create_private_folder(fs_path(folder))) {
            keep_at_exit(folder);  // a later run compares against this map
            return folder;
        }
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(fs_path(folder), ec))) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {};
}

bool draw_into(MapFileWriter& writer, const MapDraw& draw, uint64_t& records) {
    return draw_map_records(draw, crypto_random32, [&](std::span<const MapRecord> block) {
        records += block.size();
        return records <= 0xFFFFFFFFull && writer.append(block);
    });
}

void announce_map(int slot, const std::string& name, const std::string& path) {
    write_line(slot, fmt("LBA Map File : %s ", path), LineFormat::Normal, 10, colour::kWhite, LineKind::Text, path);
    set_result_string(slot, name, path);
}

// The share of writes at random units and the trim, FUA and flush ratios.
void take_ratios(MapDraw& draw, const RegionKeys& k) {
    draw.rand_ratio = k.rand_ratio;
    draw.trim_ratio = k.trim;
    draw.fua_ratio = k.fua;
    draw.flush_ratio = k.flush;
}

// Draws the records after the `header.count` the file already holds, puts
// the new count into the header and announces the map.
void draw_and_finish(int slot, MapFileWriter& writer, const MapDraw& draw, MapHeader header,
                     const std::string& path, const std::string& name) {
    uint64_t records = header.count;
    if (!draw_into(writer, draw, records)) {
        raise_error(slot, records > 0xFFFFFFFFull ? kErrParam : kErrOutputFile, path);
        return;
    }
    header.count = static_cast<uint32_t>(records);
    if (!writer.finish(header)) {
        raise_error(slot, kErrOutputFile, path);
        return;
    }
    announce_map(slot, name, path);
}

constexpr ArgSpec kMakeSpecs[] = {
    {"RandRatio", "", ArgType::Number, "100", 0, 100},
    {"LBA", "", ArgType::Number, "0", 0, INT64_MAX / 4096},
    {"RangeLenMB", "", ArgType::Number, "1024", 0, INT64_MAX >> 21},
    {"AccessKB", "AccessSector", ArgType::Number, "4", 1, kMaxAccessKB},
    {"LimitTxSizeMB", "", ArgType::Text, "1024"},
    {"TrimRatio", "", ArgType::Number, "0", 0, kMaxRatio},
    {"FuaRatio", "", ArgType::Number, "0", 0, kMaxRatio},
    {"FlushRatio", "", ArgType::Number, "0", 0, kMaxRatio},
};

constexpr ArgSpec kAppendSpecs[] = {
    {"LBAMap", "", ArgType::Text, ""},
    {"RandRatio", "", ArgType::Number, "100", 0, 100},
    {"LBA", "", ArgType::Number, "0", 0, INT64_MAX / 4096},
    {"RangeLenMB", "", ArgType::Number, "1024", 0, INT64_MAX >> 21},
    {"LimitTxSizeMB", "", ArgType::Text, "1024"},
    {"TrimRatio", "", ArgType::Number, "0", 0, kMaxRatio},
    {"FuaRatio", "", ArgType::Number, "0", 0, kMaxRatio},
    {"FlushRatio", "", ArgType::Number, "0", 0, kMaxRatio},
};

}  // namespace

void cmd_Compare_MapMake(int slot, const std::string& args, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    std::optional<CommandArgs> a = read_args(slot, args, name, kMakeSpecs);
    if (!a) return;
    const RegionKeys k = region_keys(*a);
    if (!check_ratios(slot, k)) return;
    const uint32_t ss = job_sector_size();
    const bool in_sectors = ArgReader(slot, args).find_key("AccessSector") != nullptr;
    const uint64_t size = static_cast<uint64_t>(a->number("AccessKB")) * (in_sectors ? ss : 1024);
    if (size % ss || size > 0xFFFFFFFFull) {
        raise_error(slot, kErrParam, fmt("AccessKB must be whole sectors of %u bytes", ss));
        return;
    }
    MapDraw draw;
    draw.request_size = static_cast<uint32_t>(size);
    if (!region_of(slot, k, draw.request_size, draw.region_start, draw.region_length)) return;
    if (!write_requests_of(slot, k.limit_text, draw.region_length / size, draw.request_size, draw.write_requests))
        return;
    take_ratios(draw, k);

    const std::string folder = make_map_folder(slot);
    const std::string path = path_join(folder, kMapFileName);
    MapHeader header{draw.region_start, draw.region_length, draw.request_size, 0};
    MapFileWriter writer;
    std::string why;
    if (folder.empty() || !writer.create(path, header, why)) {
        raise_error(slot, kErrOutputFile, folder.empty() ? "no folder for the map" : why);
        return;
    }
    draw_and_finish(slot, writer, draw, header, path, name);
}

void cmd_Compare_MapAppend(int slot, const std::string& args, const std::string& name) {
    if (!require_raw_mode(slot)) return;
    std::optional<CommandArgs> a = read_args(slot, args, name, kAppendSpecs);
    if (!a) return;
    const RegionKeys k = region_keys(*a);
    if (!check_ratios(slot, k)) return;
    std::string path = a->text("LBAMap");
    if (!resolve_map_argument(slot, path)) return;
    MapFileWriter writer;
    MapHeader old;
    std::string why;
    if (!writer.open_for_append(path, old, why)) {
        raise_error(slot, file_exists(path) ? kErrInvalidData : kErrFileOpen, why);
        return;
    }
    MapDraw draw;
    draw.request_size = old.request_size;
    if (!region_of(slot, k, draw.request_size, draw.region_start, draw.region_length)) return;
    const uint64_t gap = draw.region_start > old.region_start ? draw.region_start - old.region_start
                                                              : old.region_start - draw.region_start;
    if (gap % old.request_size) {
        raise_error(slot, kErrParam, "LBA must lie a whole number of the map's requests from its region");
        return;
    }
    MapHeader header = old;
    header.region_start = std::min(old.region_start, draw.region_start);
    const uint64_t end = std::max(old.region_start + old.region_length, draw.region_start + draw.region_length);
    header.region_length = end - header.region_start;
    if (header.units() > kMaxMapUnits) {
        raise_error(slot, kErrParam, "RangeLenMB / AccessKB need <= 67108864");
        return;
    }
    if (!write_requests_of(slot, k.limit_text, draw.region_length / draw.request_size, draw.request_size,
                           draw.write_requests))
        return;
    take_ratios(draw, k);
    draw_and_finish(slot, writer, draw, header, path, name);
}

}  // namespace tb
