#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QVBoxLayout>

#include "disk/disk_identity.h"
#include "disk/disk_presence.h"
#include "disk/target_select.h"
#include "platform/disk_device.h"
#include "platform/paths.h"
#include "script/app_context.h"
#include "script/error_policy.h"
#include "script/job_slot.h"
#include "ui/debug_archive.h"
#include "ui/job_log.h"
#include "ui/line_value_open.h"
#include "ui/qt/job_log_view.h"
#include "ui/qt/screen_actions.h"
#include "ui/qt/throughput_chart_view.h"

namespace tb::qtui {

namespace {

constexpr int kScrollTickMs = 500;
constexpr int kDiskSettleMs = 150;  // a disk's arrival or removal comes as several events

QString qtext(const std::string& s) { return QString::fromStdString(s); }
QString caption() { return qtext(app().caption.empty() ? std::string("Tamblor") : app().caption); }

// UI modes: 0 normal, 1 hidden and closing by itself, 2 closing by itself on
// success, 3 closing by itself always without message boxes.
bool boxes_allowed() { return app().ui_mode != 1 && app().ui_mode != 3; }

bool compact_layout() {
    return app().run_style == kStyleStatusLine || app().run_style == kStyleStatusHistory;
}

std::string program_folder() {
    return path_folder(app().program_path.empty() ? program_path() : app().program_path);
}

}  // namespace

MainWindow::MainWindow(std::shared_ptr<QtJobEvents> events, QWidget* parent)
    : QWidget(parent),
      events_(std::move(events)),
      command_line_target_(app().target),
      model_(new LogLineModel(kListedLines, this)) {
    setWindowTitle(caption());
    setMinimumSize(400, 300);
    build_layout();
    connect(events_.get(), &QtJobEvents::lineAdded, this, &MainWindow::on_line_added, Qt::QueuedConnection);
    connect(events_.get(), &QtJobEvents::lineChanged, this, &MainWindow::on_line_changed, Qt::QueuedConnection);
    connect(events_.get(), &QtJobEvents::logCleared, this, &MainWindow::on_log_cleared, Qt::QueuedConnection);
    connect(events_.get(), &QtJobEvents::jobEnded, this, &MainWindow::on_job_ended, Qt::QueuedConnection);
    connect(events_.get(), &QtJobEvents::statusChanged, this,
            [this](int slot, const QString& text) {
                if (slot == 0) status_->show_status(text);
            },
            Qt::QueuedConnection);
    connect(events_.get(), &QtJobEvents::progressChanged, this,
            [this](int slot, int percent) {
                if (slot == 0) status_->show_progress(percent);
            },
            Qt::QueuedConnection);
    connect(&scroll_timer_, &QTimer::timeout, this, &MainWindow::scroll_to_newest);
    scroll_timer_.start(kScrollTickMs);
    disk_change_timer_.setSingleShot(true);
    disk_change_timer_.setInterval(kDiskSettleMs);
    connect(&disk_change_timer_, &QTimer::timeout, this, &MainWindow::disks_settled);
    refill_disks();
    watch_disks();
}

MainWindow::~MainWindow() {
    disk_watch_.reset();  // no change is reported once the window starts going
    // A window torn down under a running job stops it and waits for it.
    if (job_running()) set_cancel(0);
    if (job_) job_->join();
}

void MainWindow::build_layout() {
    disks_ = new QComboBox(this);
    disks_->setMinimumWidth(360);
    start_ = new QPushButton(tr("Start"), this);
    stop_ = new QPushButton(tr("Stop"), this);
    rescan_ = new QPushButton(tr("Rescan"), this);
    model_label_ = new QLabel(this);
    serial_label_ = new QLabel(this);
    link_label_ = new QLabel(this);
    firmware_label_ = new QLabel(this);
    capacity_label_ = new QLabel(this);

    log_view_ = make_job_log_view(model_, this);
    log_view_->setContextMenuPolicy(Qt::CustomContextMenu);
    status_ = new StatusPanel(app().run_style == kStyleStatusHistory, this);

    auto* top = new QHBoxLayout;
    top->addWidget(disks_, 1);
    top->addWidget(rescan_);
    top->addWidget(start_);
    top->addWidget(stop_);

    auto* identity = new QGridLayout;
    const std::pair<const char*, QLabel*> fields[] = {{"Model:", model_label_}, {"Serial:", serial_label_},
                                                      {"Link:", link_label_},   {"Firmware:", firmware_label_},
                                                      {"Capacity:", capacity_label_}};
    int row = 0;
    for (const auto& [name, label] : fields) {
        identity->addWidget(new QLabel(tr(name), this), row / 2, (row % 2) * 2);
        identity->addWidget(label, row / 2, (row % 2) * 2 + 1);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        ++row;
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(identity);
    layout->addWidget(new ThroughputChartView(events_.get(), this));  // shown while a workload draws
    layout->addWidget(log_view_, 1);
    layout->addWidget(status_, compact_layout() ? 1 : 0);
    // The compact layouts show the status instead of the job log, in a
    // smaller window of a fixed size.
    log_view_->setVisible(!compact_layout());
    status_->setVisible(compact_layout());
    if (app().run_style == kStyleStatusLine) {
        setWindowFlag(Qt::WindowMaximizeButtonHint, false);
        setFixedSize(720, 170);
    } else if (app().run_style == kStyleStatusHistory) {
        setWindowFlag(Qt::WindowMaximizeButtonHint, false);
        setFixedSize(720, 400);
    } else {
        resize(1000, 640);
    }

    connect(start_, &QPushButton::clicked, this, &MainWindow::start_job);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::stop_or_close);
    connect(rescan_, &QPushButton::clicked, this, &MainWindow::refill_disks);
    connect(disks_, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::disk_chosen);
    connect(log_view_, &QListView::doubleClicked, this, [this](const QModelIndex& at) { open_line_value_at(at.row()); });
    connect(log_view_, &QListView::customContextMenuRequested, this, &MainWindow::show_log_menu);
}

void MainWindow::watch_disks() {
    // The watcher calls on its own thread; the window looks on its own.
    disk_watch_ = disk_arrivals().watch([this](DiskChange, const std::string&) {
        QMetaObject::invokeMethod(this, &MainWindow::disks_changed, Qt::QueuedConnection);
    });
}

void MainWindow::disks_changed() {
    if (!disk_change_timer_.isActive()) disk_change_timer_.start();
}

void MainWindow::disks_settled() {
    if (job_running()) {
        mark_job_disk(job_disk_present());
        return;
    }
    refill_disks();
}

bool MainWindow::job_disk_present() const {
    for (const DiscoveredDisk& d : disk_platform().discover())
        if (is_same_disk(job_disk_, d)) return true;
    return false;
}

void MainWindow::mark_job_disk(bool present) {
    if (job_entry_ < 0 || job_entry_ >= disks_->count()) return;
    job_disk_lost_ = !present;
    disks_->setItemText(job_entry_, present ? job_entry_text_ : job_entry_text_ + QStringLiteral(" - Disconnect"));
    if (present) disks_->setCurrentIndex(job_entry_);
}

bool MainWindow::job_running() const { return app().jobs[0].running.load(); }

void MainWindow::refill_disks() {
    if (job_running()) return;  // the job's disk stays as it is while the job runs
    const std::string selected = current_target().device_path;
    entries_ = allowed_disk_entries();
    disks_->clear();
    int keep = default_entry(entries_);
    for (size_t i = 0; i < entries_.size(); ++i) {
        disks_->addItem(qtext(entries_[i].text));
        if (!selected.empty() && entries_[i].record.device_path == selected) keep = static_cast<int>(i);
    }
    set_idle_controls(true);
    if (keep < 0) {
        show_identity(nullptr);
        start_->setEnabled(false);
        return;
    }
    disks_->setCurrentIndex(keep);
    disk_chosen(keep);
}

void MainWindow::disk_chosen(int index) {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return;
    set_current_target(entries_[static_cast<size_t>(index)].record);
    show_identity(&entries_[static_cast<size_t>(index)].record);
    status_->clear_status();
}

void MainWindow::show_identity(const DiskRecord* record) {
    if (!record) {
        for (QLabel* l : {model_label_, serial_label_, link_label_, firmware_label_, capacity_label_}) l->clear();
        return;
    }
    const DriveIdentity identity = read_drive_identity(*record);
    model_label_->setText(qtext(record->model_name));
    serial_label_->setText(identity.ok ? qtext(identity.serial) : QString());
    link_label_->setText(qtext(link_text(*record)));
    firmware_label_->setText(qtext(record->firmware_revision));
    capacity_label_->setText(qtext(capacity_text(*record)));
}

void MainWindow::set_idle_controls(bool idle) {
    start_->setEnabled(idle && !entries_.empty());
    rescan_->setEnabled(idle);
    disks_->setEnabled(idle);
}

void MainWindow::apply_target() {
    const std::string& target = command_line_target_;
    if (target.empty()) return;
    if (!select_target(target)) {
        exit_code_ = kErrOpenDisk;
        if (boxes_allowed()) {
            auto* box = new QMessageBox(QMessageBox::Information, caption(),
                                        QString::fromStdString("NO FOUND " + target), QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            connect(box, &QMessageBox::finished, this, &MainWindow::finish);
            box->open();
            return;
        }
        QTimer::singleShot(0, this, &MainWindow::finish);
        return;
    }
    refill_disks();
    QTimer::singleShot(0, this, &MainWindow::start_job);
}

void MainWindow::start_job() {
    if (job_running() || !has_current_target()) return;
    if (job_) job_->join();
    job_ = std::make_unique<JobThread>();
    newest_row_ = scrolled_row_ = -1;
    // A folder Save Screen made is the log folder only until the next job.
    JobSlot* js = job_slot(0);
    if (js && !saved_screen_folder_.empty() && js->log_folder == saved_screen_folder_) js->log_folder.clear();
    saved_screen_folder_.clear();
    job_disk_ = current_target();
    job_entry_ = disks_->currentIndex();
    job_entry_text_ = disks_->currentText();
    job_disk_lost_ = false;
    status_->clear_status();
    status_->show_progress(0);
    set_idle_controls(false);
    if (!job_->start(0)) set_idle_controls(true);
}

void MainWindow::stop_or_close() {
    if (!job_running()) {
        finish();
        return;
    }
    if (stop_question_) return;  // already asking
    stop_question_ = new QMessageBox(QMessageBox::Question, caption(), tr("Do you want to stop program?"),
                                     QMessageBox::Ok | QMessageBox::Cancel, this);
    stop_question_->setAttribute(Qt::WA_DeleteOnClose);
    connect(stop_question_, &QMessageBox::finished, this, [](int answer) {
        if (answer == QMessageBox::Ok && app().jobs[0].running.load()) set_cancel(0);
    });
    stop_question_->open();
}

void MainWindow::on_line_added(int slot, int index, tb::LogLine line) {
    if (slot != 0) return;
    model_->add_line(index, line);
    newest_row_ = model_->rowCount() - 1;
}

void MainWindow::on_line_changed(int slot, int index, tb::LogLine line) {
    if (slot == 0) model_->change_line(index, line);
}

void MainWindow::on_log_cleared(int slot) {
    if (slot != 0) return;
    model_->clear_lines();
    newest_row_ = scrolled_row_ = -1;
}

void MainWindow::scroll_to_newest() {
    if (newest_row_ == scrolled_row_ || newest_row_ < 0) return;
    scrolled_row_ = newest_row_;
    log_view_->scrollTo(model_->index(newest_row_), QAbstractItemView::PositionAtBottom);
}

void MainWindow::on_job_ended(int slot, int exit_code) {
    if (slot != 0) return;
    if (job_) job_->join();
    exit_code_ = exit_code;
    if (debug_archive_wanted()) write_debug_archive_of_job();
    set_idle_controls(true);
    if (job_disk_lost_) refill_disks();
    close_by_ui_mode(exit_code);
}

void MainWindow::write_debug_archive_of_job() {
    const JobSlot* js = job_slot(0);
    if (!js) return;
    const DebugArchive archive = write_debug_archive(js->log_folder, js->script_path, program_folder());
    if (!archive.written) log_error_line(0, "Debug archive not written: " + archive.error);
}

void MainWindow::open_line_value_at(int row) {
    const LogLine* line = model_->line(row);
    if (line) open_line_value(line->value, program_folder());
}

QMenu* MainWindow::make_log_menu() {
    if (job_running()) return nullptr;  // the list is the job's while it runs
    auto* menu = new QMenu(this);
    connect(menu->addAction(QStringLiteral("Clean Screen")), &QAction::triggered, this,
            &MainWindow::clean_screen_requested);
    connect(menu->addAction(QStringLiteral("Save Screen")), &QAction::triggered, this,
            &MainWindow::save_screen_requested);
    return menu;
}

void MainWindow::show_log_menu(const QPoint& at) {
    QMenu* menu = make_log_menu();
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(log_view_->viewport()->mapToGlobal(at));
}

void MainWindow::clean_screen_requested() { clean_screen(); }

void MainWindow::save_screen_requested() {
    const QString folder = save_screen_with_notice(this);
    if (!folder.isEmpty()) saved_screen_folder_ = folder.toStdString();
}

void MainWindow::close_by_ui_mode(int exit_code) {
    const AppContext& a = app();
    const bool function_child = !job_log_state(0) ? false : !job_log_state(0)->forward_log_path.empty();
    if (function_child || a.ui_mode == 1 || a.ui_mode == 3) {
        finish();
        return;
    }
    if (exit_code == 0) {
        if (a.ui_mode == 2) finish();
        return;
    }
    // A failed job in UI mode 0 or 2 says why and stays.
    const std::string why = job_slot(0)->error_text.empty() ? std::string("Job Fail.") : job_slot(0)->error_text;
    auto* box = new QMessageBox(QMessageBox::Information, caption(), qtext(why), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::finish() {
    if (finished_) return;
    finished_ = true;
    scroll_timer_.stop();
    hide();
    emit finished();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is the Stop button: a running job is asked about first.
    if (job_running()) {
        event->ignore();
        stop_or_close();
        return;
    }
    event->accept();
    finish();
}

}  // namespace tb::qtui
