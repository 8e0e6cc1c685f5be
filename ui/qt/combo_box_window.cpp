#include "ui/qt/combo_box_window.h"

namespace tb::qtui {

ComboBoxWindow::ComboBoxWindow(QWidget* owner, const ChoiceRequest& request)
    : BoxWindow(owner, "myCombo", QSize(350, 180), BoxFont::Other, request.auto_ok) {
    auto* label = new QLabel(QString::fromStdString(request.title), this);
    label->setGeometry(25, 18, 300, 20);
    list_ = new QComboBox(this);
    list_->setGeometry(25, 40, 280, 24);
    list_->setMaxVisibleItems(8);
    for (const std::string& item : request.items) list_->addItem(QString::fromStdString(item));
    list_->setCurrentIndex(request.preselected >= 0 && request.preselected < list_->count() ? request.preselected : 0);
    add_separator(QRect(10, 88, 310, 1));
    ok_ = add_button(tr("OK"), 235, 98);
    connect(ok_, &QPushButton::clicked, this, [this] { finish(answer_now()); });
}

BoxAnswer ComboBoxWindow::answer_now() const {
    BoxAnswer a;
    a.number = list_->currentIndex();
    return a;
}

}  // namespace tb::qtui
