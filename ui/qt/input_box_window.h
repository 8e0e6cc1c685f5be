// The input box ("InputBox", 350 x 160, or 350 x 145 without a length limit):
// a label, a text edit (object name "5001") submitted by Enter, the special
// key and the length limit when the request has them, and a close button.
// An entry that breaks a rule is cleared and the box stays.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class InputBoxWindow final : public BoxWindow {
    Q_OBJECT
public:
    InputBoxWindow(QWidget* owner, const TextRequest& request);

    QPlainTextEdit* edit() const { return edit_; }

protected:
    BoxAnswer answer_now() const override;
    QPushButton* counting_button() const override { return nullptr; }
    void enter_pressed() override { submit(); }
    QWidget* first_focus() const override { return edit_; }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void submit();

    TextRequest request_;
    QPlainTextEdit* edit_ = nullptr;
};

}  // namespace tb::qtui
