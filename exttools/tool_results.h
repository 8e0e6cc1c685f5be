// The result files a tool leaves beside its output stem ("<stem>.PNG",
// ".INI", ".TXT", ".XML"), turned into job-log lines. A background run's
// lines carry the ">>>> " prefix and are drawn in blue where a foreground
// run's are white or grey. Every file is read with bounds, so a huge, binary
// or endless file costs a bounded time.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

struct ToolResultStyle {
    bool background = false;
};

struct ToolResultOutcome {
    bool any_file = false;  // at least one of the four files was there
    bool failed = false;    // a line of the INI result held "Err"
};

// Whether any of the four result files of `stem` is there.
bool tool_results_exist(const std::string& stem);

// Logs the four files of `stem` (steps in this order: PNG, INI, TXT, XML)
// and, when any was there, the elapsed time.
ToolResultOutcome log_tool_results(int slot, const std::string& stem, uint64_t elapsed_ms,
                                   const ToolResultStyle& style);

// The height of a PNG picture, or 0 when the file is no PNG.
uint32_t png_height(const std::string& path);

}  // namespace tb
