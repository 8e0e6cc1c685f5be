// The compact layouts' status: a status line (layout 20) or a status history
// (layout 10), and the thin progress bar along the bottom.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>

namespace tb::qtui {

constexpr int kStyleStatusLine = 20;
constexpr int kStyleStatusHistory = 10;
constexpr int kProgressBarHeight = 5;

class StatusPanel final : public QWidget {
    Q_OBJECT
public:
    // `history`: the status history (layout 10) instead of the status line.
    StatusPanel(bool history, QWidget* parent = nullptr);

    QLabel* status_line() const { return line_; }
    QListWidget* status_history() const { return history_; }
    QProgressBar* progress_bar() const { return bar_; }

public slots:
    // The status text: shown on the line; added to the history and scrolled into view.
    void show_status(const QString& text);
    // The bar's position in percent.
    void show_progress(int percent);
    // Empties line and history (a disk chosen, a job started).
    void clear_status();

private:
    QLabel* line_ = nullptr;
    QListWidget* history_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace tb::qtui
