#include "workload/throughput_summary.h"

#include <algorithm>

namespace tb {

namespace {

uint32_t clamp32(uint64_t v) { return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

}  // namespace

void set_rates(ThroughputSample& pt, uint64_t written, uint64_t read, uint64_t elapsed_us, uint32_t request_size) {
    const uint64_t us = std::max<uint64_t>(elapsed_us, 1);
    const uint64_t size = request_size ? request_size : 1;
    pt.write_kbps = clamp32(written * 1000000 / (us * 1024));
    pt.read_kbps = clamp32(read * 1000000 / (us * 1024));
    pt.write_iops = clamp32(static_cast<uint64_t>(pt.write_kbps) * 1024 / size);
    pt.read_iops = clamp32(static_cast<uint64_t>(pt.read_kbps) * 1024 / size);
}

void add_to_summary(WorkloadResult& r, const ThroughputSample& pt) {
    const uint32_t kbps = pt.write_kbps + pt.read_kbps;
    const uint32_t iops = pt.write_iops + pt.read_iops;
    r.max_kbps = std::max(r.max_kbps, kbps);
    r.min_kbps = std::min(r.min_kbps, kbps);
    r.total_kbps += kbps;
    r.max_iops = std::max(r.max_iops, iops);
    r.min_iops = std::min(r.min_iops, iops);
    r.total_iops += iops;
    ++r.ticks;
}

void close_summary(WorkloadResult& r, uint32_t request_size) {
    if (r.ticks) {
        r.avg_kbps = static_cast<uint32_t>(r.total_kbps / r.ticks);
        r.avg_iops = static_cast<uint32_t>(static_cast<uint64_t>(r.avg_kbps) * 1024 / (request_size ? request_size : 1));
    } else {
        r.min_kbps = r.min_iops = 0;
    }
}

}  // namespace tb
