#include "files/file_progress.h"

#include "common/format.h"
#include "script/job_log_writer.h"

namespace tb {

int whole_percent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) return 100;
    // done * 100 overflows only past 2^57 bytes; divide first for those.
    if (done > (uint64_t{1} << 56)) return static_cast<int>(done / (total / 100 + 1));
    return static_cast<int>(done * 100 / total);
}

FileProgressLine::FileProgressLine(int slot, std::string title) : slot_(slot), title_(std::move(title)) {
    index_ = log_text(slot_, fmt("%s0%%", title_));
}

void FileProgressLine::update(uint64_t done, uint64_t total) {
    const int percent = whole_percent(done, total);
    if (percent == shown_) return;
    shown_ = percent;
    rewrite_line(slot_, index_, fmt("%s%d%%", title_, percent));
}

}  // namespace tb
