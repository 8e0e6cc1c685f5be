// "XRTWM_SENDCMD": the notice that the exchange section holds a new command,
// sent to every listening viewer of this machine. It travels the way the
// instances' stop broadcast does: a sequence word in a shared segment of its
// own name, counted up by a sender and waited on by the listeners.
#pragma once

#include <cstdint>

#include "platform/shared_memory.h"

namespace tb {

constexpr const char* kViewerNoticeName = "XRTWM_SENDCMD";

// Posts one notice; false when the notice segment cannot be opened.
bool post_viewer_notice();

// A listener (the viewer's side).
class ViewerNoticeWatch {
public:
    // Opens the notice segment; false (with error()) when it cannot.
    bool open();
    const std::string& error() const { return segment_.error(); }
    // Waits at most `timeout_ms` for a notice posted since the last wait
    // (or since open); true when one came.
    bool wait(int timeout_ms);

private:
    SharedSegment segment_;
    uint32_t seen_ = 0;
};

}  // namespace tb
