// Whether a run shows the window or stays on the console.
#pragma once

namespace tb::qtui {

// A display is there: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set and not empty.
bool display_available();

// Console run styles (30, 31) stay on the console; every other style shows
// the window when a display is there.
bool window_run_wanted(int run_style, bool display);

}  // namespace tb::qtui
