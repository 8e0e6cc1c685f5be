// Mutated vendor records and firmware images (a fixed seed, some thousand
// rounds): every decoder either refuses the bytes or decodes them, and the
// report lines and image helpers stay inside the data, whatever the counts,
// offsets and sizes inside claim.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "vendor/fw_image.h"
#include "vendor/parse_record_kinds.h"
#include "vendor/record_rdt.h"
#include "vendor/vendor_records.h"

namespace {

std::vector<std::vector<uint8_t>> seed_records() {
    tb::CrashDump dump;
    dump.sections.push_back({"a", std::vector<uint8_t>(300, 1)});
    std::vector<tb::VendorEvent> events(10);
    const std::vector<tb::GrownDefect> gd(20);
    const std::vector<tb::DieDefects> dd(8);
    const std::vector<tb::CriticalEntry> crit(3);
    tb::RdtResult rdt;
    rdt.tests.resize(4);
    tb::ManufacturingInformation mp;
    mp.die_defects.assign(16, 2);
    const std::vector<uint8_t> cfg = tb::default_fw_config();
    const std::vector<uint8_t> code(5000, 0x33);
    const std::vector<std::span<const uint8_t>> parts = {code, cfg};
    return {tb::encode_drive_information({}), cfg, tb::encode_manufacturing_information(mp),
            tb::encode_grown_defects(gd), tb::encode_die_defects(dd), tb::encode_otp({}),
            tb::encode_reconstruction({}), tb::encode_vpd({}), tb::encode_event_log(events),
            tb::encode_critical_log(crit), tb::encode_crash_dump(dump), tb::encode_rdt_result(rdt),
            *tb::build_fw_image(parts)};
}

// Flips bytes, plants large numbers in the header area, or cuts the end off.
std::vector<uint8_t> mutate(std::vector<uint8_t> r, std::mt19937& rng) {
    const int kind = static_cast<int>(rng() % 4);
    if (kind == 0 && !r.empty()) {
        for (int i = 0; i < 8; ++i) r[rng() % r.size()] = static_cast<uint8_t>(rng());
    } else if (kind == 1 && r.size() >= 64) {
        const size_t at = (rng() % 16) * 4;
        const uint32_t v = rng() % 2 ? 0xFFFFFFFFu : rng();
        for (size_t i = 0; i < 4; ++i) r[at + i] = static_cast<uint8_t>(v >> (8 * i));
    } else if (kind == 2) {
        r.resize(rng() % (r.size() + 1));
    } else if (r.size() > 800) {  // a section or part table entry
        const size_t at = 16 + (rng() % 32) * 24 + 16;
        for (size_t i = 0; i < 8; ++i) r[at + i] = static_cast<uint8_t>(rng());
    }
    return r;
}

TEST(VendorRecordFuzz, DecodersAndImageHelpersSurviveMutatedInput) {
    const std::vector<std::vector<uint8_t>> seeds = seed_records();
    const tb::RecordKind kinds[] = {
        tb::RecordKind::DriveInformation, tb::RecordKind::FwConfig, tb::RecordKind::MpInfo,
        tb::RecordKind::GrownDefects, tb::RecordKind::DieDefects, tb::RecordKind::Otp,
        tb::RecordKind::Reconstruction, tb::RecordKind::Vpd, tb::RecordKind::EventLog,
        tb::RecordKind::CriticalLog, tb::RecordKind::CrashDump, tb::RecordKind::RdtResult,
        tb::RecordKind::Unknown, tb::RecordKind::Smart,
    };
    std::mt19937 rng(20261209);
    size_t decoded = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::vector<uint8_t> bytes = mutate(seeds[rng() % seeds.size()], rng);
        for (tb::RecordKind kind : kinds) {
            tb::DecodeOptions o;
            o.defect_list = true;
            const tb::DecodedRecord d = tb::decode_record(kind, bytes, o);
            (d.code == 0 ? decoded : refused)++;
            if (d.code == 0 && kind != tb::RecordKind::Unknown) EXPECT_FALSE(d.lines.empty());
        }
        EXPECT_LE(tb::critical_log_chunks(bytes), UINT32_MAX);
        if (const auto dump = tb::decode_crash_dump(bytes)) {
            size_t total = 0;
            for (const auto& s : dump->sections) total += s.data.size();
            EXPECT_LE(total, bytes.size());
        }
        if (const auto parts = tb::fw_image_parts(bytes))
            for (const tb::FwPart& p : *parts) EXPECT_LE(uint64_t{p.offset} + p.size, bytes.size());
        std::vector<uint8_t> editable = bytes;
        if (const auto at = tb::find_fw_config(editable)) {
            EXPECT_LE(*at + tb::kVendorRecordBytes, editable.size());
        }
        tb::refresh_fw_image_checksums(editable);
    }
    EXPECT_GT(decoded, 0u);
    EXPECT_GT(refused, 0u);
}

}  // namespace
