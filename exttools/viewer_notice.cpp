#include "exttools/viewer_notice.h"

#include <chrono>

namespace tb {

namespace {

struct NoticeShared {
    uint32_t sequence;  // notices posted so far
    uint32_t reserved;
};

uint32_t* sequence_of(const SharedSegment& seg) { return &seg.as<NoticeShared>()->sequence; }

}  // namespace

bool post_viewer_notice() {
    SharedSegment seg;
    if (!seg.attach(kViewerNoticeName, sizeof(NoticeShared))) return false;
    __atomic_add_fetch(sequence_of(seg), 1u, __ATOMIC_RELEASE);
    seg.wake_waiters(sequence_of(seg));
    return true;
}

bool ViewerNoticeWatch::open() {
    if (!segment_.attach(kViewerNoticeName, sizeof(NoticeShared))) return false;
    seen_ = __atomic_load_n(sequence_of(segment_), __ATOMIC_ACQUIRE);
    return true;
}

bool ViewerNoticeWatch::wait(int timeout_ms) {
    if (!segment_.attached()) return false;
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const uint32_t now = __atomic_load_n(sequence_of(segment_), __ATOMIC_ACQUIRE);
        if (now != seen_) {
            seen_ = now;
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return false;
        segment_.wait_for_change(sequence_of(segment_), seen_, static_cast<int>(left));
    }
}

}  // namespace tb
