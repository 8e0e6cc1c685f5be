// The USB relay library, an outside component loaded at run time from the
// program's library folder: "usb_relay_device.dll" on Windows,
// "libusb_relay_device.so" on Linux, with the same nine entry points
// resolved by name (C calling convention, 0 for success):
//
//   int  usb_relay_init(void)
//   struct entry* usb_relay_device_enumerate(void)
//   void usb_relay_device_free_enumerate(struct entry*)
//   intptr_t usb_relay_device_open_with_serial_number(const char* serial, unsigned length)   (0: failed)
//   int  usb_relay_device_open_one_relay_channel(intptr_t device, int channel)
//   int  usb_relay_device_close_one_relay_channel(intptr_t device, int channel)
//   int  usb_relay_device_get_status(intptr_t device, unsigned* status)   (bit c-1: channel c open)
//   void usb_relay_device_close(intptr_t device)
//   int  usb_relay_exit(void)
//
// The enumeration is a linked list; each entry is laid out as
//   { const char* serial_number; const char* device_path; int type; struct entry* next; }
// with the serial number in the system's ANSI code page.
//
// Which relays: those of the disk machine in use (the simulated machine's
// own relay, or the library on this machine). Tests install their own with
// set_relay_loader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tb {

using RelayDevice = intptr_t;  // 0: none

// One loaded library; destroying it unloads the library.
class RelayLibrary {
public:
    virtual ~RelayLibrary() = default;
    virtual int init() = 0;
    virtual int exit() = 0;
    // Enumerates, walks the list (serial numbers cut to `longest` characters),
    // and frees the enumeration.
    virtual std::vector<std::string> serial_numbers(size_t longest) = 0;
    virtual RelayDevice open(const std::string& serial_number) = 0;
    virtual int open_channel(RelayDevice device, int channel) = 0;
    virtual int close_channel(RelayDevice device, int channel) = 0;
    virtual int status(RelayDevice device, uint32_t& bits) = 0;
    virtual void close(RelayDevice device) = 0;
};

class RelayLoader {
public:
    virtual ~RelayLoader() = default;
    // The library of `folder`; nullptr with `error` when the file is missing
    // or lacks an entry point.
    virtual std::unique_ptr<RelayLibrary> load(const std::string& folder, std::string& error) = 0;
};

// The file name of the library in its folder on this system.
const char* relay_library_file_name();

// The loader in use: the installed one, else that of the disk machine in use.
RelayLoader& relay_loader();
// Installs a loader (tests); nullptr goes back to the default.
void set_relay_loader(std::unique_ptr<RelayLoader> loader);
// This machine's own loader (platform/linux or platform/windows).
std::unique_ptr<RelayLoader> make_native_relay_loader();

}  // namespace tb
