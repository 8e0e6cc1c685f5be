#include "ui/qt/message_box_window.h"

#include <QStyle>

namespace tb::qtui {

namespace {

constexpr int kButtonsY = 98;
constexpr int kIconPixels = 32;

QStyle::StandardPixmap icon_of(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Warning: return QStyle::SP_MessageBoxWarning;
        case MessageIcon::Error: return QStyle::SP_MessageBoxCritical;
        case MessageIcon::Information: return QStyle::SP_MessageBoxInformation;
        case MessageIcon::Question: break;
    }
    return QStyle::SP_MessageBoxQuestion;
}

}  // namespace

MessageBoxWindow::MessageBoxWindow(QWidget* owner, const MessageRequest& request)
    : BoxWindow(owner, "myBox", QSize(400, 180), BoxFont::Message, request.auto_ok) {
    icon_ = new QLabel(this);
    icon_->setGeometry(24, 18, 40, 40);
    icon_->setPixmap(style()->standardIcon(icon_of(request.icon)).pixmap(kIconPixels, kIconPixels));
    text_ = new QLabel(QString::fromStdString(request.text), this);
    text_->setGeometry(70, 18, 302, 70);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    add_separator(QRect(10, 88, 360, 1));
    switch (request.buttons) {
        case MessageButtons::OkCancel:
            add_answer_button(tr("OK"), 192, kAnswerYes);
            add_answer_button(tr("Cancel"), 280, kAnswerCancel);
            break;
        case MessageButtons::YesNo:
            add_answer_button(tr("Yes"), 192, kAnswerYes);
            add_answer_button(tr("No"), 280, kAnswerCancel);
            break;
        case MessageButtons::YesNoCancel:
            add_answer_button(tr("Yes"), 104, kAnswerYes);
            add_answer_button(tr("No"), 192, kAnswerNo);
            add_answer_button(tr("Cancel"), 280, kAnswerCancel);
            break;
        case MessageButtons::Ok: add_answer_button(tr("OK"), 158, kAnswerYes); break;
    }
    counting_text_ = buttons_.front()->text();
}

void MessageBoxWindow::add_answer_button(const QString& text, int x, int answer) {
    QPushButton* button = add_button(text, x, kButtonsY);
    if (buttons_.empty()) first_answer_ = answer;
    buttons_.push_back(button);
    connect(button, &QPushButton::clicked, this, [this, answer] {
        BoxAnswer a;
        a.number = answer;
        finish(a);
    });
}

BoxAnswer MessageBoxWindow::answer_now() const {
    BoxAnswer a;
    a.number = first_answer_;
    return a;
}

}  // namespace tb::qtui
