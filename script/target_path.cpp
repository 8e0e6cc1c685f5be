#include "script/target_path.h"

#include <mutex>
#include <utility>

namespace tb {

namespace {
std::mutex g_lock;
TargetPathSource g_source;
}  // namespace

TargetPathSource install_target_path_source(TargetPathSource source) {
    std::lock_guard<std::mutex> guard(g_lock);
    std::swap(g_source, source);
    return source;
}

std::string current_target_path() {
    TargetPathSource source;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        source = g_source;
    }
    return source ? source() : std::string();
}

}  // namespace tb
