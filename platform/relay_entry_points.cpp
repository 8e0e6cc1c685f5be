#include "platform/relay_entry_points.h"

#include <utility>

namespace tb {

namespace {

// Every list the library can hand out is far shorter; a longer walk is a
// broken (circular) list.
constexpr size_t kLongestList = 4096;

template <typename F>
bool resolve_one(const std::function<void*(const char*)>& resolve, const char* name, F& out, std::string& missing) {
    void* address = resolve(name);
    if (!address) {
        missing = name;
        return false;
    }
    out = reinterpret_cast<F>(address);
    return true;
}

class LoadedRelayLibrary final : public RelayLibrary {
public:
    LoadedRelayLibrary(const RelayEntryPoints& e, std::function<void()> unload) : e_(e), unload_(std::move(unload)) {}
    ~LoadedRelayLibrary() override {
        if (unload_) unload_();
    }

    int init() override { return e_.init(); }
    int exit() override { return e_.exit(); }
    std::vector<std::string> serial_numbers(size_t longest) override {
        std::vector<std::string> serials;
        RelayListEntry* head = e_.enumerate();
        for (RelayListEntry* entry = head; entry && serials.size() < kLongestList; entry = entry->next) {
            std::string serial = entry->serial_number ? entry->serial_number : "";
            if (serial.size() > longest) serial.resize(longest);
            serials.push_back(std::move(serial));
        }
        if (head) e_.free_enumerate(head);
        return serials;
    }
    RelayDevice open(const std::string& serial) override {
        return e_.open_with_serial_number(serial.c_str(), static_cast<unsigned>(serial.size()));
    }
    int open_channel(RelayDevice d, int channel) override { return e_.open_one_relay_channel(d, channel); }
    int close_channel(RelayDevice d, int channel) override { return e_.close_one_relay_channel(d, channel); }
    int status(RelayDevice d, uint32_t& bits) override {
        unsigned value = 0;
        const int rc = e_.get_status(d, &value);
        bits = value;
        return rc;
    }
    void close(RelayDevice d) override { e_.close(d); }

private:
    RelayEntryPoints e_;
    std::function<void()> unload_;
};

}  // namespace

bool resolve_relay_entry_points(const std::function<void*(const char*)>& resolve, RelayEntryPoints& out,
                                std::string& missing) {
    return resolve_one(resolve, "usb_relay_init", out.init, missing) &&
           resolve_one(resolve, "usb_relay_device_enumerate", out.enumerate, missing) &&
           resolve_one(resolve, "usb_relay_device_free_enumerate", out.free_enumerate, missing) &&
           resolve_one(resolve, "usb_relay_device_open_with_serial_number", out.open_with_serial_number, missing) &&
           resolve_one(resolve, "usb_relay_device_open_one_relay_channel", out.open_one_relay_channel, missing) &&
           resolve_one(resolve, "usb_relay_device_close_one_relay_channel", out.close_one_relay_channel, missing) &&
           resolve_one(resolve, "usb_relay_device_get_status", out.get_status, missing) &&
           resolve_one(resolve, "usb_relay_device_close", out.close, missing) &&
           resolve_one(resolve, "usb_relay_exit", out.exit, missing);
}

std::unique_ptr<RelayLibrary> make_relay_library(const RelayEntryPoints& entry_points, std::function<void()> unload) {
    return std::make_unique<LoadedRelayLibrary>(entry_points, std::move(unload));
}

}  // namespace tb
