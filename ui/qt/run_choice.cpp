#include "ui/qt/run_choice.h"

#include <cstdlib>

#include "script/app_context.h"

namespace tb::qtui {

namespace {
bool variable_set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}
}  // namespace

bool display_available() {
    return variable_set("DISPLAY") || variable_set("WAYLAND_DISPLAY") || variable_set("QT_QPA_PLATFORM");
}

bool window_run_wanted(int run_style, bool display) {
    if (run_style == kStyleConsole || run_style == kStyleRemoteConsole) return false;
    return display;
}

}  // namespace tb::qtui
