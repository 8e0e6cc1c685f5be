// The check-list box ("myCheckList", 400 x 265): a label, a check box that
// checks or unchecks every item, the items with check boxes in a grid, and OK.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class CheckListBoxWindow final : public BoxWindow {
    Q_OBJECT
public:
    CheckListBoxWindow(QWidget* owner, const CheckListRequest& request);

    QTableWidget* items() const { return items_; }
    QCheckBox* all_box() const { return all_; }
    QPushButton* ok_button() const { return ok_; }

protected:
    BoxAnswer answer_now() const override;
    QPushButton* counting_button() const override { return ok_; }
    void enter_pressed() override { finish(answer_now()); }

private:
    void check_all(bool checked);

    QTableWidget* items_ = nullptr;
    QCheckBox* all_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tb::qtui
