#include "ui/qt/input_box_window.h"

#include <QKeyEvent>
#include <QTextCursor>

#include "common/format.h"
#include "common/text.h"

namespace tb::qtui {

namespace {
constexpr size_t kLongestEntry = 512;
}

InputBoxWindow::InputBoxWindow(QWidget* owner, const TextRequest& request)
    : BoxWindow(owner, "InputBox", QSize(350, request.length_limit != 0 ? 160 : 145), BoxFont::Other, false),
      request_(request) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* label = new QLabel(QString::fromStdString(request.title), this);
    label->setGeometry(25, 18, 300, 20);
    edit_ = new QPlainTextEdit(this);
    edit_->setObjectName(QStringLiteral("5001"));
    edit_->setGeometry(25, 40, 280, 28);
    edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit_->setPlainText(QString::fromStdString(request.initial));
    edit_->selectAll();  // the default is selected to its end
    if (!request.special_key.empty()) {
        auto* key = new QLabel(QString::fromStdString(fmt("Special Key : \"%s\"", request.special_key)), this);
        key->setGeometry(25, 74, 300, 20);
    }
    if (request.length_limit != 0) {
        auto* limit = new QLabel(QString::fromStdString(fmt("Lenth Limit : %d", request.length_limit)), this);
        limit->setGeometry(25, 94, 300, 20);
    }
}

bool InputBoxWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            submit();
            return true;
        }
    }
    return BoxWindow::eventFilter(watched, event);
}

BoxAnswer InputBoxWindow::answer_now() const {
    std::string entry = edit_->toPlainText().toStdString();
    BoxAnswer a;
    a.text = utf16_truncate(replace_all(replace_all(entry, "\r", ""), "\n", ""), kLongestEntry);
    return a;
}

void InputBoxWindow::submit() {
    const BoxAnswer a = answer_now();
    if (!text_entry_acceptable(request_, a.text)) {
        edit_->clear();
        return;
    }
    finish(a);
}

}  // namespace tb::qtui
