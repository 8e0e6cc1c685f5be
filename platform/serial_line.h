// A serial line to an outside device (the power hubs): opened by name for
// reading and writing, exclusively, with fixed line settings and time-outs.
//
// Names: "COM<n>" everywhere. On Windows it is opened as "\\.\COM<n>". On
// Linux "COM<n>" stands for /dev/ttyS<n-1>, unless the environment variable
// TAMBLOR_COM<n> names another device (e.g. TAMBLOR_COM3=/dev/ttyUSB0, or
// the far end of a pseudo-terminal in tests); a name beginning with '/' is
// taken as the device path itself.
//
// Which machine: the one of the disks in use. The simulated machine has its
// own hub behind a port name; elsewhere it is this machine's serial ports.
// Tests install their own with set_serial_ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tb {

struct SerialSettings {
    uint32_t baud = 115200;
    // Eight data bits, no parity, one stop bit.
    uint32_t input_buffer = 64 * 1024;
    uint32_t output_buffer = 2 * 1024;
    // Time-outs: a read ends when the gap between two bytes exceeds the
    // interval, or when the whole read took per-byte x bytes + constant.
    uint32_t read_interval_ms = 20;
    uint32_t read_per_byte_ms = 1;
    uint32_t read_constant_ms = 500;
    uint32_t write_per_byte_ms = 10;
    uint32_t write_constant_ms = 100;
};

// The most one read returns.
constexpr size_t kSerialReadLimit = 512;

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Writes all of `bytes` within the write time-out; false when not all went.
    virtual bool write(std::span<const uint8_t> bytes) = 0;
    // Reads up to `into.size()` bytes (at most kSerialReadLimit) within the
    // read time-outs; returns how many came (0 when none in time).
    virtual size_t read(std::span<uint8_t> into) = 0;
    // Drops whatever waits in either direction.
    virtual bool purge() = 0;
    // One device-control request of the port's driver: `code`, the input
    // bytes and room for the output; false when the request failed (on a
    // line without such requests: always). `returned` gets the output count.
    virtual bool control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                         size_t& returned) = 0;
    // Whether control() reaches the port's driver; when it does not, kind-0
    // hubs take their requests over the line instead.
    virtual bool has_driver_requests() const = 0;
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // nullptr with `error` when the port is missing, busy or refuses the settings.
    virtual std::unique_ptr<SerialLine> open(const std::string& name, const SerialSettings& settings,
                                             std::string& error) = 0;
};

// The serial ports in use: the installed ones, else those of the disk machine in use.
SerialPorts& serial_ports();
// Installs ports (tests); nullptr goes back to the default.
void set_serial_ports(std::unique_ptr<SerialPorts> ports);
// This machine's own ports (platform/linux or platform/windows).
std::unique_ptr<SerialPorts> make_native_serial_ports();
// Whether `name` is a device path this system's ports open as it is (on
// Linux a path beginning with '/', such as /dev/ttyUSB0; none on Windows,
// whose ports are named COM<n> only).
bool is_serial_device_path(const std::string& name);

}  // namespace tb
