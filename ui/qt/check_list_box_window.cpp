#include "ui/qt/check_list_box_window.h"

#include <QHeaderView>

namespace tb::qtui {

CheckListBoxWindow::CheckListBoxWindow(QWidget* owner, const CheckListRequest& request)
    : BoxWindow(owner, "myCheckList", QSize(400, 265), BoxFont::Other, request.auto_ok) {
    auto* label = new QLabel(QString::fromStdString(request.title), this);
    label->setGeometry(25, 15, 350, 20);
    all_ = new QCheckBox(tr(" Check / Uncheck all items"), this);
    all_->setGeometry(30, 33, 200, 20);
    items_ = new QTableWidget(static_cast<int>(request.items.size()), 1, this);
    items_->setGeometry(25, 55, 330, 115);
    items_->horizontalHeader()->hide();
    items_->verticalHeader()->hide();
    items_->horizontalHeader()->setStretchLastSection(true);
    items_->setShowGrid(true);
    items_->setSelectionBehavior(QAbstractItemView::SelectRows);
    items_->setSelectionMode(QAbstractItemView::SingleSelection);
    items_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (size_t i = 0; i < request.items.size(); ++i) {
        auto* item = new QTableWidgetItem(QString::fromStdString(request.items[i]));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool checked = i < request.checked.size() && request.checked[i];
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        items_->setItem(static_cast<int>(i), 0, item);
    }
    items_->resizeRowsToContents();
    add_separator(QRect(10, 175, 360, 1));
    ok_ = add_button(tr("OK"), 285, 185);
    connect(ok_, &QPushButton::clicked, this, [this] { finish(answer_now()); });
    connect(all_, &QCheckBox::toggled, this, &CheckListBoxWindow::check_all);
}

void CheckListBoxWindow::check_all(bool checked) {
    for (int row = 0; row < items_->rowCount(); ++row)
        items_->item(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

BoxAnswer CheckListBoxWindow::answer_now() const {
    BoxAnswer a;
    for (int row = 0; row < items_->rowCount(); ++row) a.marks.push_back(items_->item(row, 0)->checkState() == Qt::Checked);
    return a;
}

}  // namespace tb::qtui
