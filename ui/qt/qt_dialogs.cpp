#include "ui/qt/qt_dialogs.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "script/app_context.h"
#include "ui/qt/check_list_box_window.h"
#include "ui/qt/combo_box_window.h"
#include "ui/qt/file_box_dialog.h"
#include "ui/qt/input_box_window.h"
#include "ui/qt/message_box_window.h"
#include "ui/qt/number_box_window.h"

namespace tb::qtui {

namespace {

constexpr auto kCancelLook = std::chrono::milliseconds(50);

// One question between the job's thread and the window's thread.
struct BoxCall {
    std::mutex lock;
    std::condition_variable answered;
    bool done = false;
    BoxAnswer answer;
    std::atomic<bool> abandoned{false};

    void deliver(const BoxAnswer& a) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (done) return;
            done = true;
            answer = a;
        }
        answered.notify_all();
    }
};

// Opens a box window of type W for `request`.
template <class W, class R>
QtDialogs::Opener window_opener(const R& request) {
    return [request](QWidget* owner, BoxFinish finish, BoxAbandoned abandoned) {
        auto* box = new W(owner, request);
        box->open(std::move(finish), std::move(abandoned));
    };
}

}  // namespace

QtDialogs::QtDialogs(QWidget* owner) : owner_(owner) {}

BoxAnswer QtDialogs::ask(int slot, Opener open) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return BoxAnswer::escape();
    auto call = std::make_shared<BoxCall>();
    BoxAbandoned abandoned = [call, slot] { return call->abandoned.load() || cancel_requested(slot); };
    BoxFinish finish = [call](const BoxAnswer& a) { call->deliver(a); };

    if (QThread::currentThread() == application->thread()) {
        // Asked on the window's own thread: the box runs in a nested loop.
        QEventLoop loop;
        open(owner_.data(), [&loop, finish](const BoxAnswer& a) {
            finish(a);
            loop.quit();
        }, abandoned);
        std::unique_lock<std::mutex> hold(call->lock);
        if (!call->done) {
            hold.unlock();
            loop.exec();
        }
        return call->answer;
    }

    QPointer<QWidget> owner = owner_;
    QMetaObject::invokeMethod(
        application, [open = std::move(open), owner, finish, abandoned] { open(owner.data(), finish, abandoned); },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> hold(call->lock);
    while (!call->done) {
        if (cancel_requested(slot)) {
            // The job is stopping (Stop, a broadcast, the window closing): no answer is awaited.
            call->abandoned = true;
            return BoxAnswer::escape();
        }
        call->answered.wait_for(hold, kCancelLook);
    }
    return call->answer;
}

int QtDialogs::message(int slot, const MessageRequest& request) {
    const BoxAnswer a = ask(slot, window_opener<MessageBoxWindow>(request));
    return a.escaped ? kAnswerEscaped : a.number;
}

int QtDialogs::choose(int slot, const ChoiceRequest& request) {
    if (request.items.empty()) return -1;
    const BoxAnswer a = ask(slot, window_opener<ComboBoxWindow>(request));
    return a.escaped ? -1 : a.number;
}

std::optional<int64_t> QtDialogs::number(int slot, const NumberRequest& request) {
    const BoxAnswer a = ask(slot, window_opener<NumberBoxWindow>(request));
    if (a.escaped) return std::nullopt;
    return a.big_number;
}

std::optional<std::vector<bool>> QtDialogs::check_list(int slot, const CheckListRequest& request) {
    const BoxAnswer a = ask(slot, window_opener<CheckListBoxWindow>(request));
    if (a.escaped) return std::nullopt;
    return a.marks;
}

std::optional<std::string> QtDialogs::text(int slot, const TextRequest& request) {
    const BoxAnswer a = ask(slot, window_opener<InputBoxWindow>(request));
    if (a.escaped) return std::nullopt;
    return a.text;
}

std::optional<std::string> QtDialogs::file(int slot, const FileRequest& request) {
    const BoxAnswer a = ask(slot, [request](QWidget* owner, BoxFinish finish, BoxAbandoned abandoned) {
        open_file_box(owner, request, std::move(finish), std::move(abandoned));
    });
    if (a.escaped || a.text.empty()) return std::nullopt;
    return a.text;
}

InstalledQtDialogs::InstalledQtDialogs(QWidget* owner)
    : previous_(install_operator_dialogs(std::make_shared<QtDialogs>(owner))) {}

InstalledQtDialogs::~InstalledQtDialogs() { install_operator_dialogs(previous_); }

}  // namespace tb::qtui
