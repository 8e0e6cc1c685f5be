// One exchange with the log viewer through the exchange section and its
// notice: a command handed over (LogView_Send, moreViewer), or a command
// asked and its answer waited for (LogView_Wait, GetViewID).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tb {

// The longest command text the section holds, in UTF-16 units.
size_t longest_viewer_command();

// Writes `command` to the sent field and posts the notice; false with
// `error` when the section cannot be mapped or the text does not fit.
bool send_to_viewer(std::string_view command, std::string& error);

enum class ViewerReply { Answered, TimedOut, Cancelled, Unavailable };

struct ViewerAnswer {
    ViewerReply reply = ViewerReply::Unavailable;
    std::string text;   // the viewer's answer when Answered
    std::string error;  // why Unavailable
};

// Writes `command` to the awaited field, empties the answer, posts the notice
// and waits until the viewer empties the awaited field, `timeout_sec` seconds
// pass (0: no limit) or the slot's job is cancelled. `each_second` runs once
// per whole second waited with the seconds waited so far.
ViewerAnswer ask_viewer(int slot, std::string_view command, uint32_t timeout_sec,
                        const std::function<void(uint32_t)>& each_second);

}  // namespace tb
