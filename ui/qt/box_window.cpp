#include "ui/qt/box_window.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>

#include "script/app_context.h"

namespace tb::qtui {

namespace {

constexpr int kButtonWidth = 85;
constexpr int kButtonHeight = 26;
constexpr int kFontPoints = 9;
constexpr int kLongestTick = 100;  // ms between looks at the count-down and the asker

QFont box_font(BoxFont kind) {
    const QString wanted = kind == BoxFont::Message ? QStringLiteral("Consolas") : QStringLiteral("Microsoft JhengHei");
    QFont font = QFontDatabase::hasFamily(wanted)
                     ? QFont(wanted)
                     : QFontDatabase::systemFont(kind == BoxFont::Message ? QFontDatabase::FixedFont
                                                                          : QFontDatabase::GeneralFont);
    font.setPointSize(kFontPoints);
    return font;
}

}  // namespace

QString box_caption() {
    return QString::fromStdString(app().caption.empty() ? std::string("Tamblor") : app().caption);
}

BoxWindow::BoxWindow(QWidget* owner, const char* class_name, QSize size, BoxFont font, bool auto_ok)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      owner_(owner),
      countdown_(auto_ok) {
    setObjectName(QString::fromLatin1(class_name));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(box_caption());
    setFont(box_font(font));
    setFixedSize(size);
    connect(&ticker_, &QTimer::timeout, this, &BoxWindow::tick);
}

BoxWindow::~BoxWindow() {
    // A box torn down before it answered leaves its asker an Escape.
    if (!answered_ && finish_) {
        answered_ = true;
        finish_(BoxAnswer::escape());
    }
    release_owner();
}

QPushButton* BoxWindow::add_button(const QString& text, int x, int y) {
    auto* button = new QPushButton(text, this);
    button->setGeometry(x, y, kButtonWidth, kButtonHeight);
    button->setAutoDefault(true);  // Enter presses the focused button
    return button;
}

void BoxWindow::add_separator(QRect area) {
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(area.adjusted(0, 0, 0, 1));
}

void BoxWindow::open(BoxFinish finish, BoxAbandoned abandoned) {
    finish_ = std::move(finish);
    abandoned_ = std::move(abandoned);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    const QRect around = owner_ && owner_->isVisible()
                             ? owner_->frameGeometry()
                             : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                                 : QRect(0, 0, 1024, 768));
    move(around.center() - QPoint(width() / 2, height() / 2));
    if (owner_) {
        owner_was_enabled_ = owner_->isEnabled();
        owner_->setEnabled(false);
    }
    show();
    raise();
    activateWindow();
    if (QWidget* focus = first_focus()) focus->setFocus(Qt::OtherFocusReason);
    const auto second = std::chrono::duration_cast<std::chrono::milliseconds>(box_second_length()).count();
    ticker_.start(static_cast<int>(std::clamp<int64_t>(second / 4, 1, kLongestTick)));
}

void BoxWindow::tick() {
    if (answered_) return;
    if (abandoned_ && abandoned_()) {
        finish(BoxAnswer::escape());
        return;
    }
    if (!countdown_.running()) return;
    if (countdown_.expired()) {
        if (QPushButton* b = counting_button()) b->setText(QString::fromStdString(countdown_label(counting_text().toStdString(), 0)));
        finish(answer_now());
        return;
    }
    const int left = countdown_.seconds_left();
    if (countdown_.showing() && left != shown_seconds_) {
        shown_seconds_ = left;
        if (QPushButton* b = counting_button())
            b->setText(QString::fromStdString(countdown_label(counting_text().toStdString(), left)));
    }
}

void BoxWindow::finish(const BoxAnswer& answer) {
    if (answered_) return;
    answered_ = true;
    ticker_.stop();
    hide();
    release_owner();
    BoxFinish done = std::move(finish_);
    finish_ = nullptr;
    if (done) done(answer);
    deleteLater();
}

void BoxWindow::release_owner() {
    if (!owner_ || owner_->isEnabled() == owner_was_enabled_) return;
    owner_->setEnabled(owner_was_enabled_);
    owner_->activateWindow();
    owner_->raise();
}

void BoxWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        finish(BoxAnswer::escape());
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        enter_pressed();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool BoxWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        finish(BoxAnswer::escape());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void BoxWindow::closeEvent(QCloseEvent* event) {
    // Closed without an answer (the close button): as Escape.
    if (!answered_) finish(BoxAnswer::escape());
    event->accept();
}

}  // namespace tb::qtui
