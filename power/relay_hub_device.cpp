#include "power/relay_hub_device.h"

#include <mutex>

#include "platform/relay_library.h"
#include "power/relay_library_folder.h"
#include "script/error_policy.h"

namespace tb {

namespace {

struct KeptLibrary {
    std::mutex lock;
    std::shared_ptr<RelayLibrary> library;
};

KeptLibrary& kept() {
    static KeptLibrary k;
    return k;
}

std::shared_ptr<RelayLibrary> loaded_library(std::string& problem) {
    KeptLibrary& k = kept();
    std::lock_guard hold(k.lock);
    if (!k.library) {
        auto library = relay_loader().load(relay_library_folder(), problem);
        if (!library) return nullptr;
        if (library->init() != 0) {
            problem = "usb_relay_init fail";
            return nullptr;
        }
        k.library = std::move(library);
    }
    return k.library;
}

class RelayHubDevice final : public HubDevice {
public:
    RelayHubDevice(std::shared_ptr<RelayLibrary> library, RelayDevice device)
        : library_(std::move(library)), device_(device) {}
    ~RelayHubDevice() override { library_->close(device_); }

    int switch_port(uint32_t, bool on, std::string& detail) override {
        const int rc = on ? library_->close_channel(device_, kRelayPowerChannel)
                          : library_->open_channel(device_, kRelayPowerChannel);
        if (rc == 0) return 1;
        detail = on ? "Relay close channel fail" : "Relay open channel fail";
        return kErrPowerHub;
    }

    int read_state(uint32_t, int64_t& state, std::string& detail) override {
        uint32_t bits = 0;
        if (library_->status(device_, bits) != 0) {
            detail = "Relay get status fail";
            return kErrPowerHub;
        }
        state = (bits & (1u << (kRelayPowerChannel - 1))) ? 0 : 1;
        return 1;
    }

private:
    std::shared_ptr<RelayLibrary> library_;
    RelayDevice device_;
};

}  // namespace

std::unique_ptr<HubDevice> open_relay_hub_device(const std::string& serial_number, std::string& problem) {
    auto library = loaded_library(problem);
    if (!library) return nullptr;
    RelayDevice device = library->open(serial_number);
    if (device == 0) {
        problem = "no relay " + serial_number;
        return nullptr;
    }
    return std::make_unique<RelayHubDevice>(std::move(library), device);
}

void forget_relay_library() {
    KeptLibrary& k = kept();
    std::lock_guard hold(k.lock);
    if (k.library) k.library->exit();
    k.library.reset();
}

}  // namespace tb
