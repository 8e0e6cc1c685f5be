// FindLBA_ByPattern: searches the disk from a start LBA to its end for the
// sectors that hold a pattern's bytes anywhere in them.
#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

#include "common/file_handle.h"
#include "common/format.h"
#include "script/app_context.h"
#include "script/arg_table.h"
#include "script/error_policy.h"
#include "script/handler.h"
#include "ui/job_log.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"
#include "workload/compare_report.h"
#include "workload/range_commands.h"
#include "workload/range_disk.h"

namespace tb {

namespace {

constexpr uint32_t kReadBytes = 1u << 20;
constexpr int kMaxFinds = 20;

constexpr ArgSpec kSpecs[] = {
    {"StartLBA", "", ArgType::Number, "0", 0, std::numeric_limits<int64_t>::max()},
    {"FindPattern", "", ArgType::Number, "0x55AAFF00"},
};

// The bytes searched for, most significant first: four, or eight when the
// value does not fit in 32 bits (0xFFFFFFFF, easily the result of a
// sign-extended -1, is taken as eight bytes too).
std::vector<uint8_t> pattern_bytes(int64_t value) {
    const uint64_t v = static_cast<uint64_t>(value);
    const int n = v >= 0xFFFFFFFFull ? 8 : 4;
    std::vector<uint8_t> out;
    for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

std::string byte_list(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += fmt(out.empty() ? "%02X" : " %02X", b);
    return out;
}

uint32_t percent_of(uint64_t done, uint64_t total) { return total ? static_cast<uint32_t>(done * 100 / total) : 100; }

class Search {
public:
    Search(int slot, RangeDisk& disk, std::vector<uint8_t> bytes, AlignedBuffer& buffer)
        : slot_(slot), disk_(disk), bytes_(std::move(bytes)), buffer_(buffer) {}

    // Runs from `lba` to the disk's end; 1, or the error code of a failed
    // read or of a find that could not be saved.
    int32_t run(uint64_t lba);
    uint64_t reached() const { return reached_; }
    int finds() const { return finds_; }
    bool too_many() const { return too_many_; }

private:
    bool holds_pattern(std::span<const uint8_t> sector) const {
        return std::search(sector.begin(), sector.end(), bytes_.begin(), bytes_.end()) != sector.end();
    }
    // Reports one find: false when the search ends here (or the file failed).
    bool report(uint64_t lba, std::span<const uint8_t> sector, int32_t& rc);

    int slot_;
    RangeDisk& disk_;
    std::vector<uint8_t> bytes_;
    AlignedBuffer& buffer_;
    uint64_t reached_ = 0;
    int finds_ = 0;
    bool too_many_ = false;
};

bool Search::report(uint64_t lba, std::span<const uint8_t> sector, int32_t& rc) {
    if (finds_ == kMaxFinds) {
        too_many_ = true;
        log_text(slot_, "Cancel by too many LBAs found", colour::kRed);
        return false;
    }
    ++finds_;
    write_line(slot_, fmt("[%d] Finound LBA : 0x%I64X", finds_, lba), LineFormat::Normal, 10, colour::kYellow);
    const std::string path = output_stem(slot_) + ".hex";
    if (!write_file_bytes(path, std::string_view(reinterpret_cast<const char*>(sector.data()), sector.size()))) {
        raise_error(slot_, kErrOutputFile, path);
        rc = kErrOutputFile;
        return false;
    }
    attach_data_file(slot_, colour::kOlive, path, true);
    return true;
}

int32_t Search::run(uint64_t lba) {
    const uint32_t ss = disk_.sector_size();
    const uint64_t first = lba, total = disk_.sectors() - lba;
    int shown = -1;
    reached_ = lba;
    while (reached_ < disk_.sectors()) {
        if (cancel_requested(slot_)) return 1;
        const uint64_t count = std::min<uint64_t>(disk_.sectors() - reached_, kReadBytes / ss);
        std::span<uint8_t> data = buffer_.span().first(static_cast<size_t>(count * ss));
        const int32_t rc = disk_.read(reached_, data);
        if (rc != 1) return rc;
        for (uint64_t i = 0; i < count; ++i) {
            std::span<const uint8_t> sector = data.subspan(static_cast<size_t>(i * ss), ss);
            int32_t failed = 1;
            if (holds_pattern(sector) && !report(reached_ + i, sector, failed)) return failed;
        }
        reached_ += count;
        if (static_cast<int>(percent_of(reached_ - first, total)) != shown) {
            shown = static_cast<int>(percent_of(reached_ - first, total));
            set_status_text(slot_, fmt("Progress : %d%%", shown));
        }
    }
    return 1;
}

}  // namespace

void cmd_FindLBA_ByPattern(int slot, const std::string& args, const std::string& name) {
    const std::optional<CommandArgs> a = read_args(slot, args, "FindLBA_ByPattern", kSpecs);
    if (!a) return;
    const uint64_t lba = static_cast<uint64_t>(a->number("StartLBA"));
    std::vector<uint8_t> bytes = pattern_bytes(a->number("FindPattern"));
    AlignedBuffer buffer;  // outlives the disk's queue
    RangeDisk disk;
    if (!disk.open(slot, name)) return;
    uint64_t sectors = 0;
    if (!disk.clamp(slot, name, lba, sectors)) return;
    if (!buffer.allocate(std::max(kReadBytes, disk.sector_size()))) {
        raise_error(slot, kErrHostMemory, fmt("%s: %u bytes", name, kReadBytes));
        return;
    }
    if (!disk.prepare(slot, buffer.span())) return;
    log_text(slot, fmt("Search Pattern Byte List: %s", byte_list(bytes)));
    Search search(slot, disk, std::move(bytes), buffer);
    const int32_t rc = search.run(lba);
    set_status_text(slot, "");
    if (rc == kErrOutputFile) return;
    if (rc != 1) {
        const std::string position = current_lba_text(search.reached());
        log_text(slot, position);
        raise_error(slot, rc, position);
        return;
    }
    if (cancel_requested(slot) && !search.too_many()) {
        log_text(slot, fmt("Cancel LBA : 0x%I64X", search.reached()));
        return;
    }
    set_result_number(slot, name, search.finds());
}

}  // namespace tb
