#include "ui/qt/file_box_dialog.h"

#include <QGuiApplication>
#include <QTimer>
#include <memory>

namespace tb::qtui {

namespace {
constexpr int kAbandonedLookMs = 100;
}

QStringList file_filters(const FileRequest& request) {
    QStringList out;
    for (const FileFilter& f : request.filters)
        out << QStringLiteral("%1 (%2)").arg(QString::fromStdString(f.description), QString::fromStdString(f.pattern));
    if (out.isEmpty()) out << QStringLiteral("All files (*)");
    return out;
}

QFileDialog* open_file_box(QWidget* owner, const FileRequest& request, BoxFinish finish, BoxAbandoned abandoned) {
    auto* dialog = new QFileDialog(nullptr, QString::fromStdString(request.title));
    dialog->setObjectName(QStringLiteral("myFile"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Without a desktop (the offscreen platform) there is no native dialog to ask.
    dialog->setOption(QFileDialog::DontUseNativeDialog, QGuiApplication::platformName() == QLatin1String("offscreen"));
    const bool save = request.mode == FileMode::Save;
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.mode == FileMode::Folder) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog->setNameFilters(file_filters(request));
    }
    if (!request.default_extension.empty()) dialog->setDefaultSuffix(QString::fromStdString(request.default_extension));

    QPointer<QWidget> held_owner(owner);
    const bool owner_was_enabled = owner ? owner->isEnabled() : true;
    if (owner) owner->setEnabled(false);
    auto answered = std::make_shared<bool>(false);
    auto done = [held_owner, owner_was_enabled, answered, finish](const BoxAnswer& a) {
        if (*answered) return;
        *answered = true;
        if (held_owner) {
            held_owner->setEnabled(owner_was_enabled);
            held_owner->activateWindow();
        }
        finish(a);
    };
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result != QDialog::Accepted || chosen.isEmpty()) {
            done(BoxAnswer::escape());
            return;
        }
        BoxAnswer a;
        a.text = chosen.front().toStdString();
        done(a);
    });
    QObject::connect(dialog, &QObject::destroyed, [done] { done(BoxAnswer::escape()); });
    auto* watch = new QTimer(dialog);
    QObject::connect(watch, &QTimer::timeout, dialog, [dialog, abandoned] {
        if (abandoned && abandoned()) dialog->reject();
    });
    watch->start(kAbandonedLookMs);
    if (owner && owner->isVisible()) {
        dialog->adjustSize();
        dialog->move(owner->frameGeometry().center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    dialog->show();
    return dialog;
}

}  // namespace tb::qtui
