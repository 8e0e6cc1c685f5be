#include "exttools/tool_placeholders.h"

#include <array>
#include <utility>

namespace tb {

std::string fill_placeholders(std::string_view text, const PlaceholderValues& v) {
    const std::array<std::pair<std::string_view, const std::string*>, 6> names = {{
        {"%Disk%", &v.disk},
        {"%DiskId%", &v.disk_id},
        {"%xVolume%", &v.x_volume},
        {"%CdiId%", &v.cdi_id},
        {"%Scpdir%", &v.scpdir},
        {"%Output%", &v.output},
    }};
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == '%') {
            for (const auto& [name, value] : names) {
                if (text.substr(i, name.size()) == name) {
                    out += *value;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

}  // namespace tb
