#include "workload/range_disk.h"

#include <chrono>

#include "common/format.h"
#include "disk/disk_record.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "workload/lba_target.h"

namespace tb {

namespace {

constexpr auto kRequestTimeout = std::chrono::seconds(180);
constexpr uint32_t kWaitStepUs = 100000;
constexpr int kCancelGraceSteps = 10;

}  // namespace

bool RangeDisk::open(int slot, std::string_view command) {
    const DiskRecord& disk = current_target();
    if (target_mode(disk) != TargetMode::Raw) {
        raise_error(slot, kErrRawModeOnly, fmt("%s: use ChangeDisk() or Partition_Delete() then try again.", command));
        return false;
    }
    std::string why;
    target_ = open_disk_target(disk, &why);
    if (!target_) {
        raise_error(slot, kErrOpenDisk, why.empty() ? disk.device_path : why);
        return false;
    }
    sector_size_ = target_->sector_size() ? target_->sector_size()
                   : disk.bytes_per_sector ? disk.bytes_per_sector
                                           : 512;
    const uint64_t bytes = target_->size_bytes() ? target_->size_bytes() : disk_bytes(disk);
    sectors_ = bytes / sector_size_;
    return true;
}

bool RangeDisk::clamp(int slot, std::string_view command, uint64_t lba, uint64_t& sectors) const {
    if (lba >= sectors_) {
        raise_error(slot, kErrParam,
                    fmt("%s: LBA:0x%I64X is beyond the last LBA 0x%I64X", command, lba, sectors_ ? sectors_ - 1 : 0));
        return false;
    }
    if (sectors == 0 || sectors > sectors_ - lba) sectors = sectors_ - lba;
    return true;
}

bool RangeDisk::prepare(int slot, std::span<uint8_t> buffer) {
    queue_ = target_ ? target_->make_queue(1, buffer) : nullptr;
    if (!queue_) raise_error(slot, kErrHostMemory, fmt("no request queue for %s", target_ ? target_->describe() : ""));
    return queue_ != nullptr;
}

int32_t RangeDisk::transfer(IoOp op, uint64_t lba, std::span<uint8_t> data) {
    const int32_t failed = op == IoOp::Read ? kErrReadIO : kErrWriteIO;
    if (!queue_) return failed;
    IoRequest request{op, lba * sector_size_, data.data(), static_cast<uint32_t>(data.size())};
    request.tag = next_tag_++;
    const SubmitResult s = queue_->submit(request);
    if (s.status == SubmitStatus::Failed) return failed;
    if (s.status == SubmitStatus::Done) return s.result == static_cast<int32_t>(data.size()) ? 1 : failed;
    queue_->kick();
    const auto deadline = std::chrono::steady_clock::now() + kRequestTimeout;
    IoCompletion c;
    for (;;) {
        if (queue_->wait(std::span<IoCompletion>(&c, 1), kWaitStepUs) && c.tag == request.tag)
            return c.result == static_cast<int32_t>(data.size()) ? 1 : failed;
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    // The buffer must not be in use when the caller lets it go.
    queue_->cancel(request.tag);
    for (int i = 0; i < kCancelGraceSteps; ++i)
        if (queue_->wait(std::span<IoCompletion>(&c, 1), kWaitStepUs) && c.tag == request.tag) break;
    return kErrIoTimeout;
}

}  // namespace tb
