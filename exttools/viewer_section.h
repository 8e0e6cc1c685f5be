// The exchange section shared with the log viewer: "LogView_Sync", 2560
// bytes, created by whichever side comes first, mapped for one exchange.
// Three UTF-16LE texts, each terminated:
//   byte 0    the command sent to the viewer (LogView_Send)
//   byte 256  the command waited on (LogView_Wait); the viewer empties it
//             when it has answered
//   byte 512  the viewer's answer
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/shared_memory.h"

namespace tb {

constexpr const char* kViewerSectionName = "LogView_Sync";
constexpr size_t kViewerSectionBytes = 2560;

enum class ViewerField : size_t { Sent = 0, Awaited = 256, Answer = 512 };

// UTF-16 units a field holds before its terminator.
size_t viewer_field_units(ViewerField field);

class ViewerSection {
public:
    ViewerSection() = default;
    // Maps the section; false (with error()) when it cannot.
    bool open();
    const std::string& error() const { return segment_.error(); }

    // The field's text (UTF-8), up to its terminator.
    std::string read(ViewerField field) const;
    // Writes a text that fits (see viewer_field_units); false when it does not.
    bool write(ViewerField field, std::string_view text);
    // Whether the field's first character is the terminator.
    bool empty(ViewerField field) const;

private:
    SharedSegment segment_;
};

}  // namespace tb
