// The message box ("myBox", 400 x 180): a system icon, the text, and the
// buttons the request names.
#pragma once

#include <QLabel>
#include <vector>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class MessageBoxWindow final : public BoxWindow {
    Q_OBJECT
public:
    MessageBoxWindow(QWidget* owner, const MessageRequest& request);

    QLabel* text_label() const { return text_; }
    QLabel* icon_label() const { return icon_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }

protected:
    BoxAnswer answer_now() const override;
    QPushButton* counting_button() const override { return buttons_.front(); }
    QString counting_text() const override { return counting_text_; }

private:
    void add_answer_button(const QString& text, int x, int answer);

    QLabel* icon_ = nullptr;
    QLabel* text_ = nullptr;
    std::vector<QPushButton*> buttons_;
    int first_answer_ = kAnswerYes;
    QString counting_text_;
};

}  // namespace tb::qtui
