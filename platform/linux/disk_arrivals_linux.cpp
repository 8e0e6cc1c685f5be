// Linux: whole-disk events of the block subsystem, as udev announces them
// once it has set the device up ("add", "remove").
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/disk_arrivals.h"
#include "platform/linux/unique_fd.h"

namespace tb {

namespace {

using linuxdisk::UniqueFd;

struct UdevUnref {
    void operator()(udev* u) const { udev_unref(u); }
};
struct MonitorUnref {
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
struct DeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using MonitorPtr = std::unique_ptr<udev_monitor, MonitorUnref>;
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

class UdevWatch final : public DiskWatch {
public:
    UdevWatch(UdevPtr context, MonitorPtr monitor, UniqueFd stop, DiskChangeHandler handler)
        : context_(std::move(context)),
          monitor_(std::move(monitor)),
          stop_(std::move(stop)),
          handler_(std::move(handler)) {
        thread_ = std::thread([this] { run(); });
    }
    ~UdevWatch() override {
        stopping_ = true;  // seen within half a second even when the wake-up below fails
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stop_.get(), &one, sizeof one);
        thread_.join();
    }
    UdevWatch(const UdevWatch&) = delete;
    UdevWatch& operator=(const UdevWatch&) = delete;

private:
    void run() {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
        while (!stopping_) {
            if (::poll(fds, 2, 500) <= 0) continue;
            if (fds[1].revents) return;
            if (fds[0].revents & POLLIN) take_event();
        }
    }

    void take_event() {
        DevicePtr device(udev_monitor_receive_device(monitor_.get()));
        if (!device) return;
        const char* action = udev_device_get_action(device.get());
        const char* node = udev_device_get_devnode(device.get());
        if (!action) return;
        const std::string name = node ? node : "";
        if (std::string_view(action) == "add") handler_(DiskChange::Arrived, name);
        else if (std::string_view(action) == "remove") handler_(DiskChange::Removed, name);
    }

    UdevPtr context_;
    MonitorPtr monitor_;
    UniqueFd stop_;
    DiskChangeHandler handler_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class UdevDiskArrivals final : public DiskArrivals {
public:
    std::unique_ptr<DiskWatch> watch(DiskChangeHandler handler) override {
        if (!handler) return nullptr;
        UdevPtr context(udev_new());
        if (!context) return nullptr;
        MonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
        if (!monitor) return nullptr;
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "block", "disk") < 0 ||
            udev_monitor_enable_receiving(monitor.get()) < 0)
            return nullptr;
        UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!stop) return nullptr;
        return std::make_unique<UdevWatch>(std::move(context), std::move(monitor), std::move(stop),
                                           std::move(handler));
    }
};

}  // namespace

std::unique_ptr<DiskArrivals> make_native_disk_arrivals() { return std::make_unique<UdevDiskArrivals>(); }

}  // namespace tb
