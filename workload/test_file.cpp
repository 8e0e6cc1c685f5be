#include "workload/test_file.h"

#include "common/format.h"
#include "platform/process_identity.h"
#include "platform/volumes.h"
#include "script/app_context.h"
#include "ui/status.h"
#include "workload/aligned_buffer.h"

namespace tb {

std::string test_file_path(const std::string& root, uint32_t job_number) {
    return fmt("%s/~TamblorTestFile%08d", root, job_number);
}

uint32_t job_number() { return static_cast<uint32_t>(current_process_id()); }

bool prepare_test_file(int slot, const std::string& path, uint64_t size_mb) {
    constexpr size_t kChunk = 1u << 20;
    std::unique_ptr<NewFile> file = volumes().create_file(path);
    if (!file) return false;
    AlignedBuffer zeros(kChunk);
    bool ok = static_cast<bool>(zeros);
    int shown = -1;
    for (uint64_t i = 0; ok && i < size_mb; ++i) {
        if (cancel_requested(slot)) {
            ok = false;
            break;
        }
        if (!file->write_at(i * kChunk, zeros.span())) {
            ok = false;
            break;
        }
        int percent = static_cast<int>((i + 1) * 100 / size_mb);
        if (percent != shown) {
            shown = percent;
            set_status_text(slot, fmt("Parpare Test File:%d%%", percent));
        }
    }
    if (ok) ok = file->finish();
    file.reset();
    set_status_text(slot, "");
    if (!ok) volumes().remove_file(path);
    return ok;
}

}  // namespace tb
