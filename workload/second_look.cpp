#include "workload/second_look.h"

#include <span>

#include "workload/aligned_buffer.h"

namespace tb {

void take_second_look(const MiscompareRecord& m, IoTarget& target, uint32_t sector_size, MiscompareReport& report) {
    record_first_read(report, m.io.offset / sector_size, m.io.length, sector_size, m.expected, m.read);
    wait_before_second_read();
    AlignedBuffer again(m.io.length);
    std::span<const uint8_t> read2;
    if (again) {
        IoRequest req;
        req.op = IoOp::Read;
        req.offset = m.io.offset;
        req.length = m.io.length;
        req.data = again.data();
        // A read may take up to 180 s before the disk counts as not answering.
        if (io_sync(target, req, 180000) == static_cast<int32_t>(m.io.length)) read2 = again.span();
    }
    record_second_read(report, sector_size, m.expected, read2);
}

}  // namespace tb
