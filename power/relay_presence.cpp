#include "power/relay_presence.h"

#include "platform/relay_library.h"
#include "power/relay_library_folder.h"
#include "script/handler.h"

namespace tb {

namespace {
constexpr size_t kLongestSerialNumber = 128;
}  // namespace

std::vector<std::string> attached_relays() {
    std::string problem;
    auto library = relay_loader().load(relay_library_folder(), problem);
    if (!library) return {};
    library->init();
    std::vector<std::string> serials = library->serial_numbers(kLongestSerialNumber);
    library->exit();
    return serials;  // the library is unloaded here
}

void cmd_IsRelayExisted(int slot, const std::string&, const std::string& name) {
    set_result_number(slot, name, attached_relays().empty() ? 0 : 1);
}

}  // namespace tb
