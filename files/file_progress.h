// A progress line of a file command, "<title>0%" at first and rewritten
// in place ("<title>%d%") whenever the percentage changes.
#pragma once

#include <cstdint>
#include <string>

namespace tb {

class FileProgressLine {
public:
    // Writes the line with 0%; `title` ends with its separator ("File Write : ").
    FileProgressLine(int slot, std::string title);
    // Rewrites the line when done / total gives another whole percentage.
    void update(uint64_t done, uint64_t total);

private:
    int slot_;
    std::string title_;
    int index_ = -1;
    int shown_ = 0;
};

// Whole percent of `done` out of `total` (100 when total is 0).
int whole_percent(uint64_t done, uint64_t total);

}  // namespace tb
