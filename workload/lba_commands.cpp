#include "workload/lba_commands.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "common/format.h"
#include "common/text.h"
#include "disk/ata_command.h"
#include "disk/ata_transport.h"
#include "disk/disk_record.h"
#include "platform/disk_device.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/file_argument.h"
#include "script/handler.h"
#include "ui/command_args.h"
#include "common/file_handle.h"
#include "ui/job_log.h"
#include "workload/aligned_buffer.h"
#include "platform/io_queue.h"
#include "workload/lba_target.h"
#include "workload/pattern.h"

namespace tb {

namespace {

constexpr uint32_t kSectorsPerCluster = 8;
constexpr uint32_t kMaxTransferBytes = 32u << 20;  // one synchronous request
constexpr const char* kRawOnlyText = "Command Only Support RAW Mode";

std::string_view bytes_view(std::span<const uint8_t> data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

bool raw_mode(const DiskRecord& d) { return d.record_kind == kRecordDisk && d.raw_flag != 0; }

// The whole disk of a target that may be one of its volumes.
DiskRecord physical_disk(const DiskRecord& target) {
    if (target.record_kind == kRecordDisk) return target;
    for (const DiskRecord& r : disk_table().records)
        if (r.record_kind == kRecordDisk && r.disk_number == target.disk_number) return r;
    return target;
}

// The first volume of a disk target (itself for a volume); nullopt without one.
std::optional<DiskRecord> volume_of(const DiskRecord& target) {
    if (target.record_kind == kRecordVolume) return target;
    for (const DiskRecord& r : disk_table().records)
        if (r.record_kind == kRecordVolume && r.disk_number == target.disk_number) return r;
    return std::nullopt;
}

uint32_t sector_size_of(const DiskRecord& d, const IoTarget& t) {
    if (t.sector_size()) return t.sector_size();
    return d.bytes_per_sector ? d.bytes_per_sector : 512;
}

// Opens a target; -1 "Open Disk Fail" raised when it cannot be opened.
std::unique_ptr<IoTarget> open_or_raise(int slot, const DiskRecord& d) {
    std::string why;
    std::unique_ptr<IoTarget> t = open_disk_target(d, &why);
    if (!t) raise_error(slot, kErrOpenDisk, why.empty() ? d.physical_path : why);
    return t;
}

// The default data file of the command, shown as a hex view.
bool save_and_show(int slot, const std::string& chosen, std::span<const uint8_t> data, uint32_t colour) {
    const std::string path = chosen.empty() ? output_stem(slot) + ".Hex" : chosen;
    if (!write_file_bytes(path, bytes_view(data))) {
        raise_error(slot, kErrOutputFile, path);
        return false;
    }
    attach_data_file(slot, colour, path, true);
    return true;
}

// An aligned buffer of `count` sectors; an empty one with the error raised
// when the transfer is too large for one request or memory is short.
AlignedBuffer sector_buffer(int slot, uint32_t count, uint32_t sector_size, const std::string& name) {
    const uint64_t bytes = static_cast<uint64_t>(count) * sector_size;
    if (bytes > kMaxTransferBytes) {
        raise_error(slot, kErrParam, fmt("SectorCount:%u", count));
        return {};
    }
    AlignedBuffer buf(static_cast<size_t>(bytes));
    if (!buf) raise_error(slot, kErrHostMemory, name);
    return buf;
}

}  // namespace

// ---------------------------------------------------------------- LBARead

void cmd_LBARead(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    if (!r.has(0)) return;
    const std::string key = to_upper(r.pair(0).key);
    int64_t address = 0;
    uint32_t count = 1, times = 1;
    std::string save;
    if (!arg_i64(slot, r.pair(0).value, address) || !opt_u32(r, keyed_arg(r, {"SectorCount"}, 1), count, 1) ||
        !opt_u32(r, keyed_arg(r, {"Times"}, 2), times, 1) || !opt_string(r, keyed_arg(r, {"SaveFile"}, 3), save))
        return;
    if (address < 0 || count == 0) {
        raise_error(slot, kErrParam, fmt("LBA:%lld, SectorCount:%u", static_cast<long long>(address), count));
        return;
    }
    // VLBA and VLCN address the volume; LBA the whole disk.
    const DiskRecord target = current_target();
    DiskRecord where = physical_disk(target);
    uint64_t lba = static_cast<uint64_t>(address);
    if (key == "VLBA" || key == "VLCN") {
        std::optional<DiskRecord> v = volume_of(target);
        if (!v) {
            raise_error(slot, kErrNoPartition, key);
            return;
        }
        where = *v;
        if (key == "VLCN") lba *= kSectorsPerCluster;
    }
    if (!save.empty()) {
        switch (resolve_file_argument(slot, save, true, "Hex", "Save File")) {
            case FileResolve::Chosen: break;
            case FileResolve::Cancelled: set_cancel(slot); return;
            case FileResolve::NotFound: raise_error(slot, kErrFileOpen, save); return;
        }
    }
    std::unique_ptr<IoTarget> t = open_or_raise(slot, where);
    if (!t) return;
    const uint32_t ss = sector_size_of(where, *t);
    AlignedBuffer buf = sector_buffer(slot, count, ss, name);
    if (!buf) return;
    const uint64_t bytes = buf.size();
    if (times != 1) log_text(slot, fmt("Read %d Times", static_cast<int>(times)));
    for (uint32_t i = 0; i < std::max<uint32_t>(times, 1); ++i) {
        if (cancel_requested(slot)) return;
        IoRequest req{IoOp::Read, lba * ss, buf.data(), static_cast<uint32_t>(bytes)};
        if (io_sync(*t, req) != static_cast<int32_t>(bytes)) {
            raise_error(slot, kErrReadIO, fmt("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(lba >> 32),
                                              static_cast<uint32_t>(lba)));
            return;
        }
    }
    save_and_show(slot, save, buf.span(), colour::kOlive);
}

// ---------------------------------------------------------------- LBAWrite

void cmd_LBAWrite(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    int64_t address = 0;
    if (!r.has(0) || !arg_i64(slot, r.pair(0).value, address)) return;
    const ArgPair* file_arg = r.find_key("File");
    uint32_t count = 1, pattern = 0x55AAFF00;
    bool mark = true, fua = false;
    std::string file;
    if (file_arg) {
        if (!opt_string(r, file_arg, file)) return;
    } else {
        const ArgPair* p = keyed_arg(r, {"WritePattern"}, 2);
        if (!opt_u32(r, keyed_arg(r, {"SectorCount"}, 1), count, 1) ||
            (p && !arg_u32(slot, p->value, pattern)) || !opt_bool(r, keyed_arg(r, {"MarkSectorHeader"}, 3), mark, true) ||
            !opt_bool(r, keyed_arg(r, {"FUA"}, 4), fua, false))
            return;
    }
    if (address < 0 || (!file_arg && count == 0)) {
        raise_error(slot, kErrParam, fmt("LBA:%lld, SectorCount:%u", static_cast<long long>(address), count));
        return;
    }
    const DiskRecord target = current_target();
    // Writing raw sectors under a file system or the system disk destroys
    // it: the command says why and refuses, like every RAW-mode command.
    if (!raw_mode(target)) {
        log_text(slot, kRawOnlyText, colour::kRed);
        raise_error(slot, kErrRawModeOnly, "Use ChangeDisk() or Partition_Delete() then try again.");
        return;
    }
    std::string content;
    if (file_arg) {
        switch (resolve_file_argument(slot, file, false, "Hex", "Hex File")) {
            case FileResolve::Chosen: break;
            case FileResolve::Cancelled: set_cancel(slot); return;
            case FileResolve::NotFound: raise_error(slot, kErrFileOpen, file); return;
        }
        if (!read_file_bytes(file, content) || content.empty()) {
            raise_error(slot, kErrFileOpen, file);
            return;
        }
    }
    std::unique_ptr<IoTarget> t = open_or_raise(slot, target);
    if (!t) return;
    const uint32_t ss = sector_size_of(target, *t);
    if (file_arg) count = static_cast<uint32_t>((content.size() + ss - 1) / ss);
    AlignedBuffer buf = sector_buffer(slot, count, ss, name);
    if (!buf) return;
    const uint64_t bytes = buf.size();
    const uint64_t lba = static_cast<uint64_t>(address);
    if (file_arg) {
        std::fill(buf.data(), buf.data() + bytes, 0);
        std::copy(content.begin(), content.end(), buf.data());
    } else {
        pattern_fill(buf.span(), pattern);
        if (mark) sector_stamp(buf.span(), lba * ss, ss);
    }
    if (!save_and_show(slot, {}, buf.span(), colour::kOrange)) return;
    IoRequest req{IoOp::Write, lba * ss, buf.data(), static_cast<uint32_t>(bytes)};
    req.fua = fua;
    if (io_sync(*t, req) != static_cast<int32_t>(bytes)) {
        raise_error(slot, kErrWriteIO, fmt("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(lba >> 32),
                                           static_cast<uint32_t>(lba)));
        return;
    }
}

// ---------------------------------------------------------------- TRIM

namespace {

// One ATA DATA SET MANAGEMENT (TRIM) per range entry of at most 65,535
// sectors: 48-bit LBA and 16-bit count in the first 8 bytes of a 4096-byte
// payload.
int ata_trim(const DiskRecord& disk, uint64_t lba, uint64_t sectors) {
    std::unique_ptr<DiskDevice> dev = disk_platform().open(disk.physical_path);
    if (!dev) return kErrOpenDisk;
    std::vector<uint8_t> payload(4096);
    while (sectors > 0) {
        const uint64_t n = std::min<uint64_t>(sectors, 0xFFFF);
        std::fill(payload.begin(), payload.end(), 0);
        const uint64_t entry = (lba & 0xFFFFFFFFFFFFull) | (n << 48);
        for (int i = 0; i < 8; ++i) payload[static_cast<size_t>(i)] = static_cast<uint8_t>(entry >> (8 * i));
        if (!send_ata(disk.access_protocol, *dev, ata_op::kDataSetManagement, 0x0001, kAtaDmaOut, 0, 0, payload))
            return kErrIoControl;
        lba += n;
        sectors -= n;
    }
    return 1;
}

}  // namespace

int trim_disk_range(const DiskRecord& disk, uint64_t lba, uint64_t sectors) {
    std::string why;
    std::unique_ptr<IoTarget> t = open_disk_target(disk, &why);
    if (!t) return kErrOpenDisk;
    const uint32_t ss = sector_size_of(disk, *t);
    const uint64_t total = t->size_bytes() / ss;
    if (lba >= total) return kErrParam;
    if (sectors == 0 || sectors > total - lba) sectors = total - lba;
    if (disk.access_protocol == kProtoUsbAta) return ata_trim(disk, lba, sectors);
    // The discard request carries 32-bit lengths: whole-disk trims go in pieces.
    constexpr uint64_t kPiece = 1ull << 30;
    uint64_t offset = lba * ss, left = sectors * ss;
    while (left > 0) {
        const uint64_t n = std::min(left, kPiece);
        IoRequest req{IoOp::Trim, offset, nullptr, static_cast<uint32_t>(n)};
        if (io_sync(*t, req) < 0) return kErrIoControl;
        offset += n;
        left -= n;
    }
    return 1;
}

void cmd_TRIM(int slot, const std::string& args, const std::string& name) {
    ArgReader r(slot, args);
    int64_t address = 128;
    uint32_t count = 1;
    const ArgPair* p = keyed_arg(r, {"LBA"}, 0);
    if ((p && !arg_i64(slot, p->value, address)) || !opt_u32(r, keyed_arg(r, {"TRIMSectorCount"}, 1), count, 1))
        return;
    const DiskRecord target = current_target();
    if (!raw_mode(target)) {
        raise_error(slot, kErrRawModeOnly, name);
        return;
    }
    if (address < 0) {
        raise_error(slot, kErrParam, fmt("LBA:%lld", static_cast<long long>(address)));
        return;
    }
    const int rc = trim_disk_range(target, static_cast<uint64_t>(address), count);
    if (rc == kErrIoControl) raise_error(slot, rc, "IO Control Error");
    else if (rc != 1) raise_error(slot, rc, name);
}

// ---------------------------------------------------------------- FlushCache

void cmd_FlushCache(int slot, const std::string&, const std::string& name) {
    const DiskRecord target = physical_disk(current_target());
    std::unique_ptr<IoTarget> t = open_or_raise(slot, target);
    if (!t) return;
    IoRequest req{IoOp::Flush, 0, nullptr, 0};
    if (io_sync(*t, req) < 0) raise_error(slot, kErrIoControl, name);
}

}  // namespace tb
