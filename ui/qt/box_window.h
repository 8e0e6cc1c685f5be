// What every box window shares: a fixed-size window of its own class name,
// centred on its owner, the owner disabled while it is open, the 20-second
// count-down shown on its first button, Escape (or the close button)
// closing it as escaped, and one answer handed to the asker when it closes.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/box_countdown.h"

namespace tb::qtui {

// A box's answer: escaped, or what it closed with.
struct BoxAnswer {
    bool escaped = false;
    int number = 0;
    int64_t big_number = 0;
    std::vector<bool> marks;
    std::string text;

    static BoxAnswer escape() {
        BoxAnswer a;
        a.escaped = true;
        return a;
    }
};

using BoxFinish = std::function<void(const BoxAnswer&)>;
using BoxAbandoned = std::function<bool()>;  // the asker no longer waits: close at once

enum class BoxFont { Message, Other };

class BoxWindow : public QWidget {
    Q_OBJECT
public:
    // `class_name` becomes the object name ("myBox", "myCombo", ...).
    BoxWindow(QWidget* owner, const char* class_name, QSize size, BoxFont font, bool auto_ok);
    ~BoxWindow() override;

    // Shows the box centred on its owner and disables the owner; `finish`
    // receives the one answer; `abandoned` is asked while it is open.
    void open(BoxFinish finish, BoxAbandoned abandoned);
    bool answered() const { return answered_; }

protected:
    // The answer when the count-down runs out.
    virtual BoxAnswer answer_now() const = 0;
    // The button that counts ("OK (19)") and its plain text.
    virtual QPushButton* counting_button() const = 0;
    virtual QString counting_text() const { return QStringLiteral("OK"); }
    // Enter outside a button: what it answers (nothing: Enter does nothing).
    virtual void enter_pressed() {}
    // The control that takes the focus first.
    virtual QWidget* first_focus() const { return counting_button(); }

    // Closes the box with `answer` (the first answer counts).
    void finish(const BoxAnswer& answer);
    // A plain button of the boxes' size at (x, y).
    QPushButton* add_button(const QString& text, int x, int y);
    // A separator line.
    void add_separator(QRect area);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    void release_owner();

    QPointer<QWidget> owner_;
    bool owner_was_enabled_ = true;
    BoxCountdown countdown_;
    QTimer ticker_;
    BoxFinish finish_;
    BoxAbandoned abandoned_;
    bool answered_ = false;
    int shown_seconds_ = -1;
};

// The title every box carries: the program's caption.
QString box_caption();

}  // namespace tb::qtui
