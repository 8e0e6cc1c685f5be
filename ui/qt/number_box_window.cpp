#include "ui/qt/number_box_window.h"

#include <QRegularExpressionValidator>

namespace tb::qtui {

namespace {
constexpr int kDigits = 8;
}

NumberBoxWindow::NumberBoxWindow(QWidget* owner, const NumberRequest& request)
    : BoxWindow(owner, "myNumber", QSize(350, 180), BoxFont::Other, request.auto_ok) {
    auto* label = new QLabel(QString::fromStdString(request.title), this);
    label->setGeometry(25, 18, 300, 20);
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("5001"));
    edit_->setGeometry(25, 40, 280, 28);
    edit_->setMaxLength(kDigits);
    edit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,8}")), edit_));
    edit_->setText(QString::number(request.initial));
    edit_->selectAll();
    add_separator(QRect(10, 88, 310, 1));
    ok_ = add_button(tr("OK"), 235, 98);
    connect(ok_, &QPushButton::clicked, this, [this] { finish(answer_now()); });
    connect(edit_, &QLineEdit::returnPressed, this, [this] { finish(answer_now()); });
}

BoxAnswer NumberBoxWindow::answer_now() const {
    BoxAnswer a;
    a.big_number = edit_->text().toLongLong();  // an empty edit reads as 0
    return a;
}

}  // namespace tb::qtui
