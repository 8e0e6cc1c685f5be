#include "ui/qt/screen_actions.h"

#include <QMessageBox>

#include "platform/desktop_open.h"
#include "script/app_context.h"
#include "script/job_log_writer.h"
#include "ui/save_screen.h"

namespace tb::qtui {

namespace {

QString caption() {
    return QString::fromStdString(app().caption.empty() ? std::string("Tamblor") : app().caption);
}

void notice(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    auto* box = new QMessageBox(icon, caption(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace

void clean_screen() { clear_job_log(0); }

QString save_screen_with_notice(QWidget* parent) {
    const SavedScreen saved = save_screen(0, desktop().folder());
    if (saved.outcome == SavedScreen::NoData) {
        notice(parent, QMessageBox::Warning, QStringLiteral("No Data"));
        return {};
    }
    if (saved.outcome == SavedScreen::Failed) {
        notice(parent, QMessageBox::Warning, QString::fromStdString(saved.error));
        return {};
    }
    notice(parent, QMessageBox::Information, QStringLiteral("Save Screen Finish"));
    desktop().open(saved.folder);
    return QString::fromStdString(saved.folder);
}

}  // namespace tb::qtui
