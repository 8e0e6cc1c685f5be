#include "disk/windows_requests.h"

#include <algorithm>

#include "disk/nvme_command.h"

namespace tb::winreq {

namespace {

constexpr uint32_t kDefaultTimeoutS = 60;

uint32_t timeout_or_default(uint32_t seconds) { return seconds ? seconds : kDefaultTimeoutS; }

uint8_t scsi_data_in(const ScsiPassThrough& req) {
    if (req.dir == DataDir::None || req.data.empty()) return sptd::kNoData;
    return req.dir == DataDir::In ? sptd::kDataInFlag : sptd::kDataOut;
}

}  // namespace

std::vector<uint8_t> build_scsi_direct(const ScsiPassThrough& req, uint64_t data_address) {
    std::vector<uint8_t> buf(sptd::kRequestSize, 0);
    const uint8_t data_in = scsi_data_in(req);
    const uint8_t cdb_length = req.cdb_length ? std::min<uint8_t>(req.cdb_length, 16) : 16;
    put_le16(buf, sptd::kLength, sptd::kStructSize);
    buf[sptd::kCdbLength] = cdb_length;
    buf[sptd::kSenseInfoLength] = sptd::kSenseSize;
    buf[sptd::kDataIn] = data_in;
    if (data_in != sptd::kNoData) {
        put_le32(buf, sptd::kTransferLength, static_cast<uint32_t>(req.data.size()));
        put_le64(buf, sptd::kDataBuffer, data_address);
    }
    put_le32(buf, sptd::kTimeout, timeout_or_default(req.timeout_s));
    put_le32(buf, sptd::kSenseOffset, sptd::kSense);
    std::copy_n(req.cdb.begin(), cdb_length, buf.begin() + sptd::kCdb);
    return buf;
}

void read_scsi_direct_answer(std::span<const uint8_t> buffer, ScsiPassThrough& req) {
    req.sense.fill(0);
    if (buffer.size() < sptd::kRequestSize) {
        req.scsi_status = 0;
        req.transferred = 0;
        return;
    }
    req.scsi_status = buffer[sptd::kScsiStatus];
    const uint32_t transferred = get_le32(buffer, sptd::kTransferLength);
    req.transferred = buffer[sptd::kDataIn] == sptd::kNoData
                          ? 0
                          : std::min<uint32_t>(transferred, static_cast<uint32_t>(req.data.size()));
    const size_t sense = std::min<size_t>(buffer[sptd::kSenseInfoLength], req.sense.size());
    std::copy_n(buffer.begin() + sptd::kSense, std::min<size_t>(sense, sptd::kSenseSize), req.sense.begin());
}

std::vector<uint8_t> build_ata_pass_through_ex(const AtaPassThrough& req) {
    const uint32_t n = static_cast<uint32_t>(req.data.size());
    std::vector<uint8_t> buf(apt::kData + n, 0);
    put_le16(buf, apt::kLength, apt::kStructSize);
    put_le16(buf, apt::kFlags, req.flags);
    put_le32(buf, apt::kTransferLength, n);
    put_le32(buf, apt::kTimeout, timeout_or_default(req.timeout_s));
    put_le64(buf, apt::kDataOffset, apt::kData);
    std::copy(req.previous.begin(), req.previous.end(), buf.begin() + apt::kPrevious);
    std::copy(req.current.begin(), req.current.end(), buf.begin() + apt::kCurrent);
    if ((req.flags & kAtaDataOut) && n) std::copy(req.data.begin(), req.data.end(), buf.begin() + apt::kData);
    return buf;
}

void read_ata_pass_through_ex_answer(std::span<const uint8_t> buffer, AtaPassThrough& req) {
    if (buffer.size() < apt::kData) return;
    std::copy_n(buffer.begin() + apt::kCurrent, req.current.size(), req.current.begin());
    std::copy_n(buffer.begin() + apt::kPrevious, req.previous.size(), req.previous.begin());
    if (!(req.flags & kAtaDataIn)) return;
    const size_t n = std::min(req.data.size(), buffer.size() - apt::kData);
    std::copy_n(buffer.begin() + apt::kData, n, req.data.begin());
}

std::vector<uint8_t> build_device_property_query() { return std::vector<uint8_t>(12, 0); }

std::vector<uint8_t> build_trim_request(uint64_t offset, uint64_t length) {
    std::vector<uint8_t> buf(dsm::kRanges + dsm::kRangeSize, 0);
    put_le32(buf, dsm::kSize, dsm::kStructSize);
    put_le32(buf, dsm::kAction, dsm::kActionTrim);
    put_le32(buf, dsm::kRangesOffset, dsm::kRanges);
    put_le32(buf, dsm::kRangesLength, dsm::kRangeSize);
    put_le64(buf, dsm::kRanges, offset);
    put_le64(buf, dsm::kRanges + 8, length);
    return buf;
}

std::vector<uint8_t> build_compression_off() { return std::vector<uint8_t>(2, 0); }

}  // namespace tb::winreq
