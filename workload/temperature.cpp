#include "workload/temperature.h"

#include <atomic>
#include <vector>

#include "disk/ata_transport.h"
#include "disk/disk_record.h"
#include "disk/nvme_transport.h"
#include "platform/disk_device.h"

namespace tb {

namespace {

bool read_nvme(const DiskRecord& disk, Temperatures& out) {
    std::vector<uint8_t> log(512);
    if (!nvme_get_log_page(disk, 2, 0, false, log).ok()) return false;
    out.composite = static_cast<uint16_t>(log[1] | (log[2] << 8));
    for (int i = 0; i < 8; ++i)
        out.sensors[i] = static_cast<uint16_t>(log[200 + 2 * i] | (log[201 + 2 * i] << 8));
    return true;
}

// SMART READ DATA: 30 attribute entries of 12 bytes from byte 2; the raw
// value is bytes 5..10 of an entry.
bool read_ata(const DiskRecord& disk, Temperatures& out) {
    auto device = disk_platform().open(disk.device_path);
    if (!device) return false;
    std::vector<uint8_t> data(512);
    constexpr uint8_t kSmartReadData = 0xD0;
    if (!send_ata(disk.access_protocol, *device, ata_op::kSmart, kSmartReadData, kAtaDriveReady | kAtaDataIn, 0x00C24F00u, 0,
                  data))
        return false;
    for (int e = 0; e < 30; ++e) {
        const uint8_t* a = data.data() + 2 + 12 * e;
        uint16_t raw_low = a[5];
        switch (a[0]) {
        case 194: out.composite = raw_low; break;
        case 190: out.sensors[0] = raw_low; break;
        case 231: out.sensors[1] = raw_low; break;
        default: break;
        }
    }
    return true;
}

bool read_from_disk(const DiskRecord& disk, Temperatures& out) {
    if (is_nvme_protocol(disk.access_protocol)) return read_nvme(disk, out);
    if (is_ata_protocol(disk.access_protocol)) return read_ata(disk, out);
    return false;
}

std::atomic<TemperatureReader> g_reader{nullptr};

}  // namespace

bool read_temperatures(const DiskRecord& disk, Temperatures& out) {
    out = Temperatures{};
    TemperatureReader r = g_reader.load();
    bool ok = r ? r(disk, out) : read_from_disk(disk, out);
    if (!ok) out = Temperatures{};
    return ok;
}

void set_temperature_reader(TemperatureReader reader) { g_reader.store(reader); }

int temperature_offset(const DiskRecord& disk) { return is_nvme_protocol(disk.access_protocol) ? 273 : 0; }

}  // namespace tb
