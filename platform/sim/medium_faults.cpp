#include "platform/sim/medium_faults.h"

#include <algorithm>

namespace tb::sim {

namespace {

constexpr uint64_t kUnit = 512;

uint64_t byte_after(uint64_t lba, uint32_t sector_size) {
    if (lba >= UINT64_MAX / sector_size) return UINT64_MAX;
    return (lba + 1) * sector_size - 1;
}

}  // namespace

MediumFault medium_fault_of(const FaultRule& rule, uint32_t sector_size) {
    MediumFault f;
    f.kind = rule.kind;
    f.count = rule.count;
    f.chance = rule.chance;
    f.first_byte = rule.first_lba > UINT64_MAX / sector_size ? UINT64_MAX : rule.first_lba * sector_size;
    f.last_byte = byte_after(rule.last_lba, sector_size);
    f.unit = sector_size;
    return f;
}

void MediumFaults::add(const MediumFault& fault) {
    if (fault.count == 0 && fault.chance <= 0) return;
    faults_.push_back(fault);
}

std::optional<MediumFault> MediumFaults::take_write(uint64_t offset, uint64_t length) {
    return take(offset, length, [](const MediumFault& f) {
        return f.kind == FaultKind::CorruptWrite || f.kind == FaultKind::DropWrite || f.kind == FaultKind::MisdirectWrite;
    });
}

bool MediumFaults::watches_stale(uint64_t offset, uint64_t length) const {
    const uint64_t last = length ? offset + length - 1 : offset;
    return std::any_of(faults_.begin(), faults_.end(), [&](const MediumFault& f) {
        return f.kind == FaultKind::StaleRead && last >= f.first_byte && offset <= f.last_byte;
    });
}

void MediumFaults::corrupt(const MediumFault& fault, std::span<uint8_t> data) {
    for (size_t unit = 0; unit < data.size(); unit += kUnit) {
        const size_t in_unit = std::min<size_t>(kUnit, data.size() - unit);
        if (fault.xor_mask) {
            for (uint32_t k : fault.byte_in_unit)
                if (k < in_unit) data[unit + k] ^= fault.xor_mask;
            continue;
        }
        const size_t at = static_cast<size_t>(random_() % in_unit);
        const auto mask = static_cast<uint8_t>(1 + random_() % 255);
        data[unit + at] ^= mask;
    }
}

uint64_t MediumFaults::misdirect(const MediumFault& fault, uint64_t offset, uint64_t length, uint64_t medium_size) {
    const uint64_t unit = std::max<uint64_t>(fault.unit, kUnit);
    auto pick = [&](uint64_t first, uint64_t last) -> std::optional<uint64_t> {
        first = (first + unit - 1) / unit * unit;
        if (last >= medium_size) last = medium_size - 1;
        if (first > last || last - first + 1 < length) return std::nullopt;
        const uint64_t places = (last + 1 - length - first) / unit + 1;  // starts that keep the write inside
        if (places < 2) return std::nullopt;
        uint64_t at = first + random_() % places * unit;
        if (at == offset) at = at + unit <= last + 1 - length ? at + unit : first;
        return at == offset ? std::nullopt : std::optional<uint64_t>(at);
    };
    if (auto at = pick(fault.first_byte, fault.last_byte)) return *at;
    if (auto at = pick(0, medium_size - 1)) return *at;
    return offset;  // a medium with no other place for it
}

}  // namespace tb::sim
