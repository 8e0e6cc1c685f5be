// The number box ("myNumber", 350 x 180): a label, an edit of at most eight
// digits (object name "5001") and OK.
#pragma once

#include <QLabel>
#include <QLineEdit>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class NumberBoxWindow final : public BoxWindow {
    Q_OBJECT
public:
    NumberBoxWindow(QWidget* owner, const NumberRequest& request);

    QLineEdit* edit() const { return edit_; }
    QPushButton* ok_button() const { return ok_; }

protected:
    BoxAnswer answer_now() const override;
    QPushButton* counting_button() const override { return ok_; }
    void enter_pressed() override { finish(answer_now()); }
    QWidget* first_focus() const override { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tb::qtui
