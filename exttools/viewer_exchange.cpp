#include "exttools/viewer_exchange.h"

#include <chrono>
#include <thread>

#include "common/text.h"
#include "exttools/viewer_notice.h"
#include "exttools/viewer_section.h"
#include "script/app_context.h"

namespace tb {

namespace {

constexpr int kPollMs = 50;

using Clock = std::chrono::steady_clock;

}  // namespace

size_t longest_viewer_command() { return viewer_field_units(ViewerField::Sent); }

bool send_to_viewer(std::string_view command, std::string& error) {
    ViewerSection section;
    if (!section.open()) {
        error = section.error();
        return false;
    }
    if (!section.write(ViewerField::Sent, command)) {
        error = "the command is longer than the viewer takes";
        return false;
    }
    post_viewer_notice();
    return true;
}

ViewerAnswer ask_viewer(int slot, std::string_view command, uint32_t timeout_sec,
                        const std::function<void(uint32_t)>& each_second) {
    ViewerAnswer out;
    ViewerSection section;
    if (!section.open()) {
        out.error = section.error();
        return out;
    }
    if (!section.write(ViewerField::Answer, "") || !section.write(ViewerField::Awaited, command)) {
        out.error = "the command is longer than the viewer takes";
        return out;
    }
    post_viewer_notice();
    const auto start = Clock::now();
    uint32_t seconds = 0;
    out.reply = ViewerReply::TimedOut;
    bool cancelled = cancel_requested(slot);
    while (!cancelled) {
        if (section.empty(ViewerField::Awaited)) {
            out.reply = ViewerReply::Answered;
            out.text = section.read(ViewerField::Answer);
            return out;
        }
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
        while (seconds < static_cast<uint64_t>(waited)) {
            ++seconds;
            if (each_second) each_second(seconds);
        }
        if (timeout_sec != 0 && seconds >= timeout_sec) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        cancelled = cancel_requested(slot);
    }
    if (cancelled) out.reply = ViewerReply::Cancelled;
    else if (section.empty(ViewerField::Awaited)) {  // answered at the last moment
        out.reply = ViewerReply::Answered;
        out.text = section.read(ViewerField::Answer);
        return out;
    }
    // Nobody waits for this answer any more: a viewer that comes later is not asked.
    section.write(ViewerField::Awaited, "");
    return out;
}

}  // namespace tb
