#include "vendor/vsc_pause.h"

#include <mutex>

#include "script/app_context.h"

namespace tb {

namespace {

std::mutex g_lock;
VscPause g_pause;

}  // namespace

void vsc_pause(int slot, uint32_t ms) {
    VscPause pause;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        pause = g_pause;
    }
    if (pause) pause(slot, ms);
    else sleep_cancellable(slot, ms);
}

void set_vsc_pause(VscPause pause) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_pause = std::move(pause);
}

}  // namespace tb
