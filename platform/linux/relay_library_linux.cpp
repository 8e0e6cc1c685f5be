// The relay library on Linux: libusb_relay_device.so of the library folder,
// loaded with dlopen and unloaded with dlclose.
#include <dlfcn.h>

#include "platform/paths.h"
#include "platform/relay_entry_points.h"
#include "platform/relay_library.h"

namespace tb {

namespace {

class LinuxRelayLoader final : public RelayLoader {
public:
    std::unique_ptr<RelayLibrary> load(const std::string& folder, std::string& error) override {
        const std::string path = path_join(folder, relay_library_file_name());
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            error = why ? why : "cannot load " + path;
            return nullptr;
        }
        RelayEntryPoints entry_points;
        std::string missing;
        if (!resolve_relay_entry_points([handle](const char* name) { return ::dlsym(handle, name); }, entry_points,
                                        missing)) {
            ::dlclose(handle);
            error = path + " has no " + missing;
            return nullptr;
        }
        return make_relay_library(entry_points, [handle] { ::dlclose(handle); });
    }
};

}  // namespace

const char* relay_library_file_name() { return "libusb_relay_device.so"; }

std::unique_ptr<RelayLoader> make_native_relay_loader() { return std::make_unique<LinuxRelayLoader>(); }

}  // namespace tb
