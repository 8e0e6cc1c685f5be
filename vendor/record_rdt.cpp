#include "vendor/record_rdt.h"

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

std::vector<uint8_t> encode_rdt_result(const RdtResult& r) {
    const size_t bytes = kRdtHeaderBytes + r.tests.size() * kRdtEntryBytes;
    std::vector<uint8_t> out((bytes + kVendorRecordBytes - 1) / kVendorRecordBytes * kVendorRecordBytes, 0);
    put_record_number(out, 0, 4, kRdtMagic);
    put_record_number(out, 4, 4, r.tests.size());
    put_record_number(out, 8, 4, r.loops);
    put_record_number(out, 12, 4, r.error_code);
    for (size_t i = 0; i < r.tests.size(); ++i) {
        const size_t at = kRdtHeaderBytes + i * kRdtEntryBytes;
        put_record_text(out, at, 32, r.tests[i].name);
        put_record_number(out, at + 32, 4, r.tests[i].loops);
        put_record_number(out, at + 36, 4, r.tests[i].error_code);
        put_record_number(out, at + 40, 4, r.tests[i].bad_blocks);
        put_record_number(out, at + 44, 4, r.tests[i].seconds);
    }
    return out;
}

std::optional<RdtResult> decode_rdt_result(std::span<const uint8_t> in) {
    if (in.size() < kRdtHeaderBytes || record_number(in, 0, 4) != kRdtMagic) return std::nullopt;
    const uint64_t count = record_number(in, 4, 4);
    if (count > (in.size() - kRdtHeaderBytes) / kRdtEntryBytes) return std::nullopt;
    RdtResult r;
    r.loops = static_cast<uint32_t>(record_number(in, 8, 4));
    r.error_code = static_cast<uint32_t>(record_number(in, 12, 4));
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kRdtHeaderBytes + i * kRdtEntryBytes;
        RdtTest t;
        t.name = record_text(in, at, 32);
        t.loops = static_cast<uint32_t>(record_number(in, at + 32, 4));
        t.error_code = static_cast<uint32_t>(record_number(in, at + 36, 4));
        t.bad_blocks = static_cast<uint32_t>(record_number(in, at + 40, 4));
        t.seconds = static_cast<uint32_t>(record_number(in, at + 44, 4));
        r.tests.push_back(std::move(t));
    }
    return r;
}

}  // namespace tb
