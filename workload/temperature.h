// Disk temperatures for the throughput series: the composite temperature
// and up to eight sensors, read from the NVMe SMART / health log (kelvin) or
// the ATA SMART attributes 194, 190 and 231 (degrees Celsius).
#pragma once

#include <array>
#include <cstdint>

namespace tb {

struct DiskRecord;

struct Temperatures {
    uint16_t composite = 0;
    std::array<uint16_t, 8> sensors{};
};

// False when nothing could be read (the values stay 0).
using TemperatureReader = bool (*)(const DiskRecord& disk, Temperatures& out);

bool read_temperatures(const DiskRecord& disk, Temperatures& out);
// Replaces the reader (tests); nullptr restores the disk reader.
void set_temperature_reader(TemperatureReader reader);

// The offset the chart subtracts: 273 for NVMe disks (kelvin), else 0.
int temperature_offset(const DiskRecord& disk);

}  // namespace tb
