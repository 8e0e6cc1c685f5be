#include "workload/command_support.h"

#include <algorithm>

#include "common/format.h"
#include "common/text.h"
#include "disk/disk_record.h"
#include "platform/volumes.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "ui/command_args.h"
#include "ui/job_log.h"
#include "workload/pattern.h"
#include "workload/report.h"
#include "workload/test_file.h"

namespace tb {

const ArgPair* KeyReader::at(std::initializer_list<std::string_view> names, size_t position) const {
    return keyed_arg(r_, names, position);
}

bool KeyReader::u32(std::initializer_list<std::string_view> names, size_t pos, uint32_t& out, uint32_t def) const {
    return opt_u32(r_, at(names, pos), out, def);
}

bool KeyReader::i64(std::initializer_list<std::string_view> names, size_t pos, int64_t& out, int64_t def) const {
    const ArgPair* p = at(names, pos);
    if (!p) {
        out = def;
        return true;
    }
    return arg_i64(r_.slot(), p->value, out);
}

bool KeyReader::boolean(std::initializer_list<std::string_view> names, size_t pos, bool& out, bool def) const {
    return opt_bool(r_, at(names, pos), out, def);
}

bool KeyReader::text(std::initializer_list<std::string_view> names, size_t pos, std::string& out,
                     std::string_view def) const {
    return opt_string(r_, at(names, pos), out, def);
}

bool KeyReader::pattern(std::initializer_list<std::string_view> names, size_t pos, uint32_t& out, uint32_t def) const {
    const ArgPair* p = at(names, pos);
    if (!p) {
        out = def;
        return true;
    }
    std::string t;
    if (arg_string(r_.slot(), p->value, t) && iequals(trim(t), "AUTO")) {
        out = kPatternAuto;
        return true;
    }
    return arg_u32(r_.slot(), p->value, out);
}

bool KeyReader::limit(std::initializer_list<std::string_view> names, size_t pos, uint64_t& out, bool& cycle,
                      bool def_cycle, uint64_t def) const {
    const ArgPair* p = at(names, pos);
    cycle = false;
    if (!p) {
        cycle = def_cycle;
        out = def;
        return true;
    }
    std::string t;
    if (arg_string(r_.slot(), p->value, t) && iequals(trim(t), "CYCLE")) {
        cycle = true;
        out = 0;
        return true;
    }
    int64_t v = 0;
    if (!arg_i64(r_.slot(), p->value, v) || v < 0) return false;
    out = static_cast<uint64_t>(v);
    return true;
}

namespace {

// "a~b" -> a, b.
bool parse_span(const std::string& text, uint64_t& a, uint64_t& b) {
    size_t tilde = text.find('~');
    if (tilde == std::string::npos) return false;
    auto number = [](std::string_view s, uint64_t& v) {
        s = trim(s);
        if (s.empty()) return false;
        v = 0;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<uint64_t>(c - '0');
            if (v > 0xFFFFFFFFull) return false;
        }
        return true;
    };
    return number(std::string_view(text).substr(0, tilde), a) && number(std::string_view(text).substr(tilde + 1), b);
}

}  // namespace

bool read_access_size(const KeyReader& keys, size_t position, uint32_t sector_size, uint32_t def_kb, AccessSize& out) {
    const ArgReader& r = keys.reader();
    out = AccessSize{};
    auto fits = [](uint64_t v) { return v <= 0xFFFFFFFFull; };
    if (const ArgPair* p = r.find_key("AccessSector")) {
        uint32_t n = 0;
        if (!arg_u32(r.slot(), p->value, n) || !fits(uint64_t{n} * sector_size)) return false;
        out.bytes = n * sector_size;
        return true;
    }
    const ArgPair* kb_range = r.find_key("AccessKBRange");
    const ArgPair* sector_range = r.find_key("AccessSectorRange");
    if (kb_range || sector_range) {
        std::string text;
        if (!arg_string(r.slot(), (kb_range ? kb_range : sector_range)->value, text)) return false;
        uint64_t a = 0, b = 0;
        if (!parse_span(text, a, b)) return false;
        uint64_t unit = kb_range ? 1024 : sector_size;
        if (a > b) std::swap(a, b);
        if (!fits(b * unit)) return false;
        out.bytes = static_cast<uint32_t>(b * unit);
        out.spread = static_cast<int32_t>((b - a) * unit);
        return true;
    }
    uint32_t kb = 0;
    if (!opt_u32(r, keyed_arg(r, {"AccessKB"}, position), kb, def_kb) || !fits(uint64_t{kb} * 1024)) return false;
    out.bytes = kb * 1024;
    return true;
}

WorkloadTarget::~WorkloadTarget() {
    io.reset();
    if (!test_file.empty()) volumes().remove_file(test_file);
}

uint32_t job_sector_size() {
    uint32_t s = current_target().bytes_per_sector;
    return s ? s : 512;
}

bool open_workload_target(int slot, bool writes, uint64_t& start_lba, uint64_t& range_mb, WorkloadTarget& out) {
    const DiskRecord& disk = current_target();
    out.mode = target_mode(disk);
    out.sector_size = job_sector_size();
    std::string error;
    if (out.mode == TargetMode::FileSystem) {
        std::string root = volume_root(disk);
        if (root.empty()) {
            raise_error(slot, kErrPrepareFile, fmt("%s has no volume to hold a test file", disk.device_path));
            return false;
        }
        // The file is the range: from its start, at most what the volume
        // can hold (less a margin for the file system itself).
        // The volume's own free space as discovery saw it bounds the file
        // too (a simulated volume keeps its files on the host's disk).
        uint64_t free = free_bytes_at(root);
        const DiskTable& table = disk_table();
        for (int i = 0; i < table.count; ++i) {
            const DiskRecord& v = table.records[i];
            if (v.record_kind == kRecordVolume && v.device_path == disk.first_volume_path && v.size_a)
                free = std::min(free, v.size_a);
        }
        uint64_t free_mb = free >> 20;
        uint64_t room = free_mb > 64 ? free_mb - 64 : 0;
        if (range_mb == 0 || range_mb > room) range_mb = room;
        start_lba = 0;
        std::string path = test_file_path(root, job_number());
        log_text(slot, "Wait for Parpare Test File...");
        if (!prepare_test_file(slot, path, range_mb)) {
            if (cancel_requested(slot)) log_text(slot, kCancelCommandText);
            else raise_error(slot, kErrPrepareFile, path);
            return false;
        }
        out.test_file = path;
        out.io = open_file_target(path, &error);
        if (!out.io) {
            raise_error(slot, kErrOpenDisk, error);
            return false;
        }
        out.size_bytes = range_mb << 20;
        return true;
    }
    if (writes && out.mode == TargetMode::Partition) {
        raise_error(slot, kErrRawOrPartitionOnly, disk.device_path);
        return false;
    }
    out.io = open_disk_target(disk, &error);
    if (!out.io) {
        raise_error(slot, kErrOpenDisk, error.empty() ? disk.device_path : error);
        return false;
    }
    out.size_bytes = out.io->size_bytes();
    if (out.size_bytes == 0) out.size_bytes = disk_bytes(disk);
    uint64_t start = start_lba * out.sector_size;
    uint64_t to_end_mb = start < out.size_bytes ? (out.size_bytes - start) >> 20 : 0;
    if (range_mb == 0 || range_mb > to_end_mb) range_mb = to_end_mb;
    return true;
}

void print_position(int slot, const WorkloadTarget& t, uint64_t byte_offset) {
    log_text(slot, position_text(byte_offset, t.sector_size, t.mode == TargetMode::Raw));
}

}  // namespace tb
