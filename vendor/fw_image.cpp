#include "vendor/fw_image.h"

#include <algorithm>

#include "vendor/record_bytes.h"
#include "vendor/vendor_records.h"

namespace tb {

namespace {

size_t entry_at(size_t i) { return kFwImagePartTable + i * kFwImagePartEntryBytes; }

size_t round_up(size_t n) { return (n + kFwImageHeaderBytes - 1) / kFwImageHeaderBytes * kFwImageHeaderBytes; }

bool is_config(std::span<const uint8_t> part) { return fw_config_checksum_ok(part); }

}  // namespace

uint32_t dword_sum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    for (size_t at = 0; at < bytes.size(); at += 4)
        sum += static_cast<uint32_t>(record_number(bytes, at, std::min<size_t>(4, bytes.size() - at)));
    return sum;
}

std::optional<std::vector<FwPart>> fw_image_parts(std::span<const uint8_t> image) {
    if (image.size() < kFwImageHeaderBytes || record_number(image, 0, 4) != kFwImageMagic ||
        record_number(image, 4, 4) != kFwImageVersion)
        return std::nullopt;
    const uint64_t count = record_number(image, 8, 4);
    if (count == 0 || count > kFwImageMaxParts) return std::nullopt;
    std::vector<FwPart> parts;
    for (size_t i = 0; i < count; ++i) {
        FwPart p;
        p.kind = static_cast<FwPartKind>(record_number(image, entry_at(i), 4));
        p.offset = static_cast<uint32_t>(record_number(image, entry_at(i) + 4, 4));
        p.size = static_cast<uint32_t>(record_number(image, entry_at(i) + 8, 4));
        p.checksum = static_cast<uint32_t>(record_number(image, entry_at(i) + 12, 4));
        if (p.offset < kFwImageHeaderBytes || !record_range_ok(image.size(), p.offset, p.size)) return std::nullopt;
        parts.push_back(p);
    }
    return parts;
}

std::optional<std::vector<uint8_t>> build_fw_image(std::span<const std::span<const uint8_t>> parts) {
    if (parts.empty() || parts.size() > kFwImageMaxParts) return std::nullopt;
    uint64_t total = kFwImageHeaderBytes;
    for (const auto& p : parts) total += round_up(p.size());
    if (total > UINT32_MAX) return std::nullopt;
    std::vector<uint8_t> image(static_cast<size_t>(total), 0);
    put_record_number(image, 0, 4, kFwImageMagic);
    put_record_number(image, 4, 4, kFwImageVersion);
    put_record_number(image, 8, 4, parts.size());
    put_record_number(image, 12, 4, total);
    size_t at = kFwImageHeaderBytes;
    for (size_t i = 0; i < parts.size(); ++i) {
        const FwPartKind kind = is_config(parts[i]) ? FwPartKind::Config : FwPartKind::Code;
        put_record_number(image, entry_at(i), 4, static_cast<uint32_t>(kind));
        put_record_number(image, entry_at(i) + 4, 4, at);
        put_record_number(image, entry_at(i) + 8, 4, parts[i].size());
        put_record_number(image, entry_at(i) + 12, 4, dword_sum(parts[i]));
        std::copy(parts[i].begin(), parts[i].end(), image.begin() + static_cast<std::ptrdiff_t>(at));
        at += round_up(parts[i].size());
    }
    return image;
}

std::optional<size_t> find_fw_config(std::span<const uint8_t> file) {
    if (const auto parts = fw_image_parts(file)) {
        for (const FwPart& p : *parts)
            if (p.kind == FwPartKind::Config && p.size == kVendorRecordBytes) return p.offset;
        return std::nullopt;
    }
    for (size_t at = 0; at + kVendorRecordBytes <= file.size(); at += kVendorRecordBytes)
        if (is_config(file.subspan(at, kVendorRecordBytes))) return at;
    return std::nullopt;
}

void refresh_fw_image_checksums(std::span<uint8_t> file) {
    const auto parts = fw_image_parts(file);
    if (!parts) return;
    for (size_t i = 0; i < parts->size(); ++i) {
        const FwPart& p = (*parts)[i];
        put_record_number(file, entry_at(i) + 12, 4, dword_sum(file.subspan(p.offset, p.size)));
    }
}

}  // namespace tb
