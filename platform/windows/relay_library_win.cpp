// The relay library on Windows: usb_relay_device.dll of the library folder,
// loaded with LoadLibraryW and unloaded with FreeLibrary.
#include <windows.h>

#include "platform/paths.h"
#include "platform/relay_entry_points.h"
#include "platform/relay_library.h"
#include "platform/windows/host_text.h"

namespace tb {

namespace {

class WindowsRelayLoader final : public RelayLoader {
public:
    std::unique_ptr<RelayLibrary> load(const std::string& folder, std::string& error) override {
        const std::string path = path_join(folder, relay_library_file_name());
        HMODULE module = ::LoadLibraryW(host::utf8_to_wide(path).c_str());
        if (!module) {
            error = "cannot load " + path + ": " + host::win32_error_text(::GetLastError());
            return nullptr;
        }
        RelayEntryPoints entry_points;
        std::string missing;
        auto resolve = [module](const char* name) {
            return reinterpret_cast<void*>(::GetProcAddress(module, name));
        };
        if (!resolve_relay_entry_points(resolve, entry_points, missing)) {
            ::FreeLibrary(module);
            error = path + " has no " + missing;
            return nullptr;
        }
        return make_relay_library(entry_points, [module] { ::FreeLibrary(module); });
    }
};

}  // namespace

const char* relay_library_file_name() { return "usb_relay_device.dll"; }

std::unique_ptr<RelayLoader> make_native_relay_loader() { return std::make_unique<WindowsRelayLoader>(); }

}  // namespace tb
