#include "ui/qt/window_run.h"

#include <QApplication>
#include <QTimer>

#include "script/app_context.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/qt_chart_display.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui {

namespace {

// Puts the previous sink back when the window run ends.
class InstalledEvents {
public:
    explicit InstalledEvents(std::shared_ptr<JobEvents> sink) : previous_(install_job_events(std::move(sink))) {}
    ~InstalledEvents() { install_job_events(previous_); }
    InstalledEvents(const InstalledEvents&) = delete;
    InstalledEvents& operator=(const InstalledEvents&) = delete;

private:
    std::shared_ptr<JobEvents> previous_;
};

}  // namespace

int run_main_window(int& argc, char** argv) {
    QApplication application(argc, argv);
    auto events = std::make_shared<QtJobEvents>();
    InstalledEvents installed(events);
    InstalledQtChartDisplay charts;  // CSV charts and tables in windows, pictures drawn as the window draws
    MainWindow window(events);
    InstalledQtDialogs boxes(&window);  // the script's boxes and file dialogs, owned by the window
    QObject::connect(&window, &MainWindow::finished, &application, &QApplication::quit, Qt::QueuedConnection);
    if (app().ui_mode != 1) window.show();
    QTimer::singleShot(0, &window, &MainWindow::apply_target);
    application.exec();
    return window.exit_code();
}

}  // namespace tb::qtui
