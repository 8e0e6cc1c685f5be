// The choice box ("myCombo", 350 x 180): a label, a drop-down list and OK.
#pragma once

#include <QComboBox>
#include <QLabel>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class ComboBoxWindow final : public BoxWindow {
    Q_OBJECT
public:
    ComboBoxWindow(QWidget* owner, const ChoiceRequest& request);

    QComboBox* list() const { return list_; }
    QPushButton* ok_button() const { return ok_; }

protected:
    BoxAnswer answer_now() const override;
    QPushButton* counting_button() const override { return ok_; }
    void enter_pressed() override { finish(answer_now()); }
    QWidget* first_focus() const override { return list_; }

private:
    QComboBox* list_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tb::qtui
