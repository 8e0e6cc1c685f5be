#include "platform/disk_arrival_poll.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/disk_device.h"

namespace tb {

namespace {

// What stays with a disk while it is attached, whatever number it has now.
std::string disk_key(const DiscoveredDisk& d) {
    return std::to_string(d.bus_type) + '|' + std::to_string(d.port_location) + '|' + std::to_string(d.scsi_path_id) +
           '|' + std::to_string(d.scsi_target) + '|' + std::to_string(d.scsi_lun) + '|' + d.controller_instance + '|' +
           d.interface_path + '|' + d.friendly_name;
}

// Key -> "\\.\PHYSICALDRIVE%d" of every disk on the machine now.
std::map<std::string, std::string> disks_now() {
    std::map<std::string, std::string> out;
    for (const DiscoveredDisk& d : disk_platform().discover())
        out[disk_key(d)] = "\\\\.\\PHYSICALDRIVE" + std::to_string(d.disk_number);
    return out;
}

class PollingWatch final : public DiskWatch {
public:
    PollingWatch(DiskChangeHandler handler, int interval_ms)
        : handler_(std::move(handler)), interval_(interval_ms), known_(disks_now()) {
        thread_ = std::thread([this] { run(); });
    }
    ~PollingWatch() override {
        {
            std::lock_guard hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    PollingWatch(const PollingWatch&) = delete;
    PollingWatch& operator=(const PollingWatch&) = delete;

private:
    void run() {
        std::unique_lock hold(lock_);
        while (!wake_.wait_for(hold, interval_, [this] { return stop_; })) {
            hold.unlock();
            look_again();
            hold.lock();
        }
    }

    void look_again() {
        std::map<std::string, std::string> now = disks_now();
        for (const auto& [key, device] : known_)
            if (!now.count(key)) handler_(DiskChange::Removed, device);
        for (const auto& [key, device] : now)
            if (!known_.count(key)) handler_(DiskChange::Arrived, device);
        known_ = std::move(now);
    }

    DiskChangeHandler handler_;
    std::chrono::milliseconds interval_;
    std::map<std::string, std::string> known_;  // used by the watcher thread only (after construction)
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<DiskWatch> PolledDiskArrivals::watch(DiskChangeHandler handler) {
    if (!handler) return nullptr;
    return std::make_unique<PollingWatch>(std::move(handler), interval_ms_);
}

}  // namespace tb
