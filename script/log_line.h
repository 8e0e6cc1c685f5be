// One line of a job's log and the shapes it comes in: how it is laid out
// (line format), what it shows (kind) and its colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tb {

// COLORREF values 0x00BBGGRR.
namespace colour {
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGrey = 0x969696;
constexpr uint32_t kCyan = 0xFFFF00;
constexpr uint32_t kBlue = 0xFF9632;
constexpr uint32_t kOrange = 0x277FFF;
constexpr uint32_t kOlive = 0x009696;
}  // namespace colour

enum class LineFormat : int { Normal = 0, LeftAligned = 1, CommandHeader = 2, CommandEnd = 3 };
enum class LineKind : int { Text = 0, Image = 1, HexFile = 2, ScreenOnly = 3, ConsoleText = 4 };

constexpr size_t kLogLineChars = 250;  // UTF-16 units kept of a line's text and value
constexpr size_t kLogPoolSize = 20000;

struct LogLine {
    int font_size = 10;
    uint32_t colour = colour::kWhite;
    bool left_aligned = false;
    LineKind kind = LineKind::Text;
    std::string text;
    std::string value;
};

}  // namespace tb
