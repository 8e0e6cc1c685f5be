#include "ui/qt/log_line_painter.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImageReader>
#include <QPainter>

#include "common/file_handle.h"
#include "ui/hex_dump.h"
#include "ui/qt/log_line_model.h"

namespace tb::qtui {

const char* const kMoreMark = "    >> more...";

namespace {

const QColor kBackground(Qt::black);
const QColor kSelectedBackground(0x1E, 0x1E, 0x1E);

QFont mono_font(int pixel_size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixel_size > 0 ? pixel_size : 10);
    return font;
}

int line_x(const LogLine& line, const QRect& rect) { return rect.left() + (line.left_aligned ? 0 : kIndent); }

QString with_more(const LogLine& line, QString text) {
    if (!line.value.empty()) text += QString::fromLatin1(kMoreMark);
    return text;
}

// A workload writes its chart line as the picture's path at the picture's
// height and turns it into an image line when the picture is saved; until
// then the row keeps the picture's room and names the file in the list's
// own size, rather than drawing the path in letters the picture's height.
bool pending_picture(const LogLine& line) {
    constexpr int kLargestTextPixels = 48;
    if (line.kind != LineKind::Text || line.font_size <= kLargestTextPixels) return false;
    const QString text = QString::fromStdString(line.text);
    return text.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

QString pending_picture_text(const LogLine& line) {
    const QString path = QString::fromStdString(line.text);
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return QStringLiteral("Chart: ") + path.mid(slash + 1);
}

void draw_pending_picture(QPainter& p, const LogLine& line, const QRect& rect) {
    p.setFont(mono_font(10));
    p.setPen(QColor(0x80, 0x80, 0x80));
    const QRect area(line_x(line, rect), rect.top(), rect.width(), line_height(LogLine{}));
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, pending_picture_text(line));
}

void draw_text_line(QPainter& p, const LogLine& line, const QRect& rect) {
    if (pending_picture(line)) return draw_pending_picture(p, line, rect);
    p.setFont(mono_font(line.font_size));
    p.setPen(line_colour(line.colour));
    const QRect area(line_x(line, rect), rect.top(), rect.width(), rect.height());
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               with_more(line, QString::fromStdString(line.text)));
}

void draw_image_line(QPainter& p, const LogLine& line, const QRect& rect) {
    QImageReader reader(QString::fromStdString(line.text));
    QImage image = reader.read();
    const int x = line_x(line, rect);
    if (image.isNull()) {
        p.setFont(mono_font(10));
        p.setPen(line_colour(colour::kRed));
        p.drawText(QRect(x, rect.top(), rect.width(), rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Image Not Found"));
        return;
    }
    QImage scaled = image.scaledToHeight(rect.height(), Qt::SmoothTransformation);
    p.drawImage(QPoint(x, rect.top()), scaled);
    if (line.value.empty()) return;
    p.setFont(mono_font(10));
    p.setPen(Qt::white);
    p.drawText(QRect(x + scaled.width(), rect.top(), rect.width(), rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromLatin1(kMoreMark));
}

void draw_hex_line(QPainter& p, const LogLine& line, const QRect& rect) {
    std::string bytes;
    read_file_bytes(line.value, bytes);
    const std::vector<std::string> rows = hex_dump_rows(bytes, kHexBytesShown);
    p.setFont(mono_font(kHexFontSize));
    p.setPen(line_colour(line.colour));
    const int row_height = kHexFontSize * 3 / 2;
    for (size_t i = 0; i < rows.size(); ++i) {
        QString text = QString::fromLatin1(rows[i].data(), static_cast<qsizetype>(rows[i].size()));
        if (i + 1 == rows.size()) text = with_more(line, text);
        const QRect row(line_x(line, rect), rect.top() + static_cast<int>(i) * row_height, rect.width(), row_height);
        p.drawText(row, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}

}  // namespace

QColor line_colour(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

int line_height(const LogLine& line) {
    switch (line.kind) {
    case LineKind::Image:
        return line.font_size > 0 ? line.font_size : 10;
    case LineKind::HexFile:
        return kHexItemHeight;
    default:
        if (pending_picture(line)) return line.font_size;
        return (line.font_size > 0 ? line.font_size : 10) * 3 / 2 + 1;
    }
}

void LogLinePainter::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const LogLineModel*>(index.model());
    const LogLine* line = model ? model->line(index.row()) : nullptr;
    painter->save();
    painter->setClipRect(option.rect);
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? kSelectedBackground : kBackground);
    if (line) {
        switch (line->kind) {
        case LineKind::Image:
            draw_image_line(*painter, *line, option.rect);
            break;
        case LineKind::HexFile:
            draw_hex_line(*painter, *line, option.rect);
            break;
        default:
            draw_text_line(*painter, *line, option.rect);
            break;
        }
    }
    painter->restore();
}

QSize LogLinePainter::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const LogLineModel*>(index.model());
    const LogLine* line = model ? model->line(index.row()) : nullptr;
    if (!line) return QStyledItemDelegate::sizeHint(option, index);
    int width = kIndent;
    if (pending_picture(*line)) {
        width += QFontMetrics(mono_font(10)).horizontalAdvance(pending_picture_text(*line));
    } else if (line->kind == LineKind::Text || line->kind == LineKind::ConsoleText) {
        QFontMetrics metrics(mono_font(line->font_size));
        width += metrics.horizontalAdvance(with_more(*line, QString::fromStdString(line->text)));
    } else {
        width += 800;
    }
    return QSize(width, line_height(*line));
}

}  // namespace tb::qtui
