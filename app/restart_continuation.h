// The start after a restart that PCReBoot registered: the words of its
// command line (DRVHW, FRAME, REBOOTSYNC, ERRSTOP; SCRIPT is a start option)
// name the disk by its location and the state files by their frame. The
// registration is consumed (removed) at this start whatever comes of it, the
// disk is found again, the run state restored for the job to go on after
// PCReBoot, and the state files removed once restored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tb {

struct ContinuationWords {
    std::string location;  // DRVHW
    uint32_t frame = 0;    // FRAME <frame>/<limit>
    uint32_t limit = 0;
    int reboot_sync = 0;   // REBOOTSYNC
    bool error_stop = false;  // ERRSTOP
};

// The words of a sub-parameter list ("DRVHW:...$FRAME:1/0$..."); nullopt
// unless both DRVHW and a well-formed FRAME are there.
std::optional<ContinuationWords> continuation_words(const std::string& sub_params);

enum class ContinuationStart { None, Ready, Failed };

struct ContinuationResult {
    ContinuationStart start = ContinuationStart::None;
    int code = 0;        // the error code when Failed
    std::string error;   // and what failed
};

// Prepares the slot's job to go on after a restart when the process was
// started by such a registration; the slot's script path is already set.
ContinuationResult start_continuation(int slot);

}  // namespace tb
