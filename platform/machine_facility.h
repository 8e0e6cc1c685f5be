// A facility of the machine in use (serial ports, the relay library, sleep,
// restart): the one a test installed, else the simulated machine's while the
// disks in use are simulated, else this system's own. The default is made on
// first use and made again when the disk machine changes between runs.
#pragma once

#include <memory>
#include <mutex>

#include "platform/disk_device.h"

namespace tb {

template <class T>
class MachineFacility {
public:
    using Maker = std::shared_ptr<T> (*)();
    MachineFacility(Maker simulated, Maker native) : simulated_(simulated), native_(native) {}

    std::shared_ptr<T> get() {
        std::lock_guard hold(lock_);
        if (installed_) return installed_;
        const bool sim = disk_platform().name() == "sim";
        if (!fallback_ || fallback_is_sim_ != sim) {
            fallback_ = sim ? simulated_() : native_();
            fallback_is_sim_ = sim;
        }
        return fallback_;
    }
    // nullptr goes back to the default.
    void install(std::shared_ptr<T> chosen) {
        std::lock_guard hold(lock_);
        installed_ = std::move(chosen);
    }

private:
    Maker simulated_;
    Maker native_;
    std::mutex lock_;
    std::shared_ptr<T> installed_;
    std::shared_ptr<T> fallback_;
    bool fallback_is_sim_ = false;
};

}  // namespace tb
