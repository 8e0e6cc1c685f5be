// Serial lines on Windows: "\\.\COM<n>" opened exclusively, with the
// driver's buffers, line settings and time-outs set as asked, both
// directions purged, and the driver's device-control requests passed on.
#include <windows.h>

#include "platform/serial_line.h"
#include "platform/windows/host_handle.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

std::string system_error(const char* what) { return std::string(what) + " (error " + std::to_string(::GetLastError()) + ")"; }

bool set_line(HANDLE h, const SerialSettings& s, std::string& error) {
    if (!::SetupComm(h, s.input_buffer, s.output_buffer)) {
        error = system_error("buffer sizes refused");
        return false;
    }
    ::PurgeComm(h, kPurgeAll);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        error = system_error("not a serial port");
        return false;
    }
    dcb.BaudRate = s.baud;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(h, &dcb)) {
        error = system_error("line settings refused");
        return false;
    }
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = s.read_interval_ms;
    t.ReadTotalTimeoutMultiplier = s.read_per_byte_ms;
    t.ReadTotalTimeoutConstant = s.read_constant_ms;
    t.WriteTotalTimeoutMultiplier = s.write_per_byte_ms;
    t.WriteTotalTimeoutConstant = s.write_constant_ms;
    if (!::SetCommTimeouts(h, &t)) {
        error = system_error("time-outs refused");
        return false;
    }
    return true;
}

class WindowsSerialLine final : public SerialLine {
public:
    explicit WindowsSerialLine(host::HostHandle h) : h_(std::move(h)) {}

    bool write(std::span<const uint8_t> bytes) override {
        DWORD written = 0;
        return ::WriteFile(h_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    size_t read(std::span<uint8_t> into) override {
        const DWORD wanted = static_cast<DWORD>(into.size() < kSerialReadLimit ? into.size() : kSerialReadLimit);
        DWORD got = 0;
        if (!::ReadFile(h_.get(), into.data(), wanted, &got, nullptr)) return 0;
        return got;
    }
    bool purge() override { return ::PurgeComm(h_.get(), kPurgeAll) != 0; }
    bool control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                 size_t& returned) override {
        DWORD got = 0;
        const BOOL ok = ::DeviceIoControl(h_.get(), code, const_cast<uint8_t*>(input.data()),
                                          static_cast<DWORD>(input.size()), output.data(),
                                          static_cast<DWORD>(output.size()), &got, nullptr);
        returned = got;
        return ok != 0;
    }
    bool has_driver_requests() const override { return true; }

private:
    host::HostHandle h_;
};

class WindowsSerialPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialLine> open(const std::string& name, const SerialSettings& settings,
                                     std::string& error) override {
        const std::wstring path = L"\\\\.\\" + host::utf8_to_wide(name);
        host::HostHandle h(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h) {
            error = system_error(("cannot open " + name).c_str());
            return nullptr;
        }
        if (!set_line(h.get(), settings, error)) return nullptr;
        return std::make_unique<WindowsSerialLine>(std::move(h));
    }
};

}  // namespace

std::unique_ptr<SerialPorts> make_native_serial_ports() { return std::make_unique<WindowsSerialPorts>(); }

bool is_serial_device_path(const std::string&) { return false; }

}  // namespace tb
