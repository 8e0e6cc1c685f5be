// Draws the job-log lines on black: text lines in a monospace font and their
// colour, image lines scaled to the line height, hex-file lines as a dump of
// the file's first bytes. Lines that are not left-aligned start 90 pixels in.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

#include "script/log_line.h"

namespace tb::qtui {

constexpr int kIndent = 90;          // start of lines that are not left-aligned
constexpr int kHexItemHeight = 120;  // a hex-file line
constexpr int kHexFontSize = 10;     // pixel size of the dump rows
constexpr int kHexBytesShown = 128;
extern const char* const kMoreMark;  // appended when a line carries a value

// 0x00BBGGRR as a Qt colour.
QColor line_colour(uint32_t colour_ref);

// Height of a line's row in pixels.
int line_height(const LogLine& line);

class LogLinePainter final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace tb::qtui
