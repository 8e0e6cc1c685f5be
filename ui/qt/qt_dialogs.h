// The operator's questions in a windowed run: each is asked on the job's
// thread and shown as a box on the window's thread, owned by the main window;
// the job's thread waits for the answer, and stops waiting (an Escape) when
// its job is cancelled.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

class QtDialogs final : public OperatorDialogs {
public:
    // `owner`: the window the boxes are centred on and that is disabled while
    // one is open (may be nullptr). Made on the window's thread.
    explicit QtDialogs(QWidget* owner);

    int message(int slot, const MessageRequest& request) override;
    int choose(int slot, const ChoiceRequest& request) override;
    std::optional<int64_t> number(int slot, const NumberRequest& request) override;
    std::optional<std::vector<bool>> check_list(int slot, const CheckListRequest& request) override;
    std::optional<std::string> text(int slot, const TextRequest& request) override;
    std::optional<std::string> file(int slot, const FileRequest& request) override;

    // Opens a box on the window's thread: (owner, finish, abandoned).
    using Opener = std::function<void(QWidget*, BoxFinish, BoxAbandoned)>;

private:
    BoxAnswer ask(int slot, Opener open);

    QPointer<QWidget> owner_;
};

// Installs QtDialogs for `owner` for the scope; the dialogs before come back after it.
class InstalledQtDialogs {
public:
    explicit InstalledQtDialogs(QWidget* owner);
    ~InstalledQtDialogs();
    InstalledQtDialogs(const InstalledQtDialogs&) = delete;
    InstalledQtDialogs& operator=(const InstalledQtDialogs&) = delete;

private:
    std::shared_ptr<OperatorDialogs> previous_;
};

}  // namespace tb::qtui
