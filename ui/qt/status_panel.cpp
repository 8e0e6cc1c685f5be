#include "ui/qt/status_panel.h"

#include <QFont>
#include <QVBoxLayout>

namespace tb::qtui {

StatusPanel::StatusPanel(bool history, QWidget* parent) : QWidget(parent) {
    line_ = new QLabel(this);
    history_ = new QListWidget(this);
    QFont consolas(QStringLiteral("Consolas"), 9);
    consolas.setStyleHint(QFont::Monospace);
    history_->setFont(consolas);
    history_->setMinimumHeight(160);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setFixedHeight(kProgressBarHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(line_);
    layout->addWidget(history_, 1);
    layout->addWidget(bar_);
    line_->setVisible(!history);
    history_->setVisible(history);
}

void StatusPanel::show_status(const QString& text) {
    line_->setText(text);
    if (text.isEmpty()) return;
    history_->addItem(text);
    history_->scrollToBottom();
}

void StatusPanel::show_progress(int percent) { bar_->setValue(percent); }

void StatusPanel::clear_status() {
    line_->clear();
    history_->clear();
}

}  // namespace tb::qtui
