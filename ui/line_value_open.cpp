#include "ui/line_value_open.h"

#include <array>
#include <string_view>

#include "common/text.h"
#include "platform/desktop_open.h"
#include "platform/paths.h"

namespace tb {

namespace {

constexpr std::array<std::string_view, 14> kViewerExtensions = {
    ".TXT", ".HEX", ".CSV", ".MAP", ".FWCFG", ".CFGINI", ".MPINI", ".DRV", ".DGD", ".GD", ".SMART", ".RAW",
    ".MPINFO", ".MPOEM"};

bool is_address(const std::string& value) { return icontains(value, "http://") || icontains(value, "https://"); }

}  // namespace

bool viewer_shows(const std::string& extension) {
    for (std::string_view known : kViewerExtensions)
        if (iequals(extension, known)) return true;
    return false;
}

ValueOpened open_line_value(const std::string& value, const std::string& program_folder) {
    if (value.empty()) return ValueOpened::Nothing;
    if (!file_exists(value)) {
        if (!is_address(value)) return ValueOpened::Nothing;
        return desktop().open(value) ? ValueOpened::WithDesktop : ValueOpened::Nothing;
    }
    const std::string viewer = path_join(path_join(program_folder, "ExtCmd"), "moreViewer.exe");
    if (!program_folder.empty() && file_exists(viewer) && viewer_shows(path_extension(value)))
        return desktop().open_with(viewer, value) ? ValueOpened::WithViewer : ValueOpened::Nothing;
    return desktop().open(value) ? ValueOpened::WithDesktop : ValueOpened::Nothing;
}

}  // namespace tb
