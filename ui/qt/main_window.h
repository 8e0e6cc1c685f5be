// The main window: the disk drop-down with the chosen disk's identity, Start,
// Stop, rescan, and slot 0's job log (or, in the compact layouts, the status
// line or history with a progress bar). It starts the job itself for a
// command-line target, follows disks arriving and leaving, and closes itself
// at the job's end as the UI mode says.
#pragma once

#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QComboBox>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/disk_arrivals.h"
#include "script/run_job.h"
#include "ui/qt/disk_entries.h"
#include "ui/qt/log_line_model.h"
#include "ui/qt/qt_job_events.h"
#include "ui/qt/status_panel.h"

namespace tb::qtui {

constexpr size_t kListedLines = 20000;  // lines the list keeps; older ones are in the log files

class MainWindow final : public QWidget {
    Q_OBJECT
public:
    // Connects to `events` (the sink installed for the job threads).
    explicit MainWindow(std::shared_ptr<QtJobEvents> events, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Selects the command-line target (the target string as it was when the
    // window opened) and starts the job, or reports it not found.
    void apply_target();
    // The job's exit code, or the start-up failure; what the process returns.
    int exit_code() const { return exit_code_; }
    bool job_running() const;

    // For tests and the owner: the parts a person works with.
    QPushButton* start_button() const { return start_; }
    QPushButton* stop_button() const { return stop_; }
    QComboBox* disk_list() const { return disks_; }
    QListView* log_view() const { return log_view_; }
    LogLineModel* log_model() const { return model_; }
    // The stop question while it is open (nullptr otherwise).
    QMessageBox* stop_question() const { return stop_question_; }
    // The status line, status history and progress bar of the compact layouts.
    StatusPanel* status_panel() const { return status_; }
    // The job log's pop-up menu (Clean Screen, Save Screen), or nullptr while
    // a job runs. The caller owns it.
    QMenu* make_log_menu();

signals:
    // The window has finished: the process may end with exit_code().
    void finished();

public slots:
    void refill_disks();
    void start_job();
    void stop_or_close();
    // Opens the value of the line at `row` (the list's double-click).
    void open_line_value_at(int row);
    // The pop-up menu's entries.
    void clean_screen_requested();
    void save_screen_requested();

private slots:
    void disk_chosen(int index);
    void on_line_added(int slot, int index, tb::LogLine line);
    void on_line_changed(int slot, int index, tb::LogLine line);
    void on_log_cleared(int slot);
    void on_job_ended(int slot, int exit_code);
    void scroll_to_newest();
    void disks_changed();
    void disks_settled();
    void show_log_menu(const QPoint& at);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_layout();
    void watch_disks();
    bool job_disk_present() const;
    void mark_job_disk(bool present);
    void write_debug_archive_of_job();
    void show_identity(const DiskRecord* record);
    void set_idle_controls(bool idle);
    void close_by_ui_mode(int exit_code);
    void finish();

    std::shared_ptr<QtJobEvents> events_;
    const std::string command_line_target_;  // choosing a disk rewrites the process's target string
    std::vector<DiskEntry> entries_;
    std::unique_ptr<JobThread> job_;
    QComboBox* disks_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* rescan_ = nullptr;
    QLabel* model_label_ = nullptr;
    QLabel* serial_label_ = nullptr;
    QLabel* link_label_ = nullptr;
    QLabel* firmware_label_ = nullptr;
    QLabel* capacity_label_ = nullptr;
    QListView* log_view_ = nullptr;
    LogLineModel* model_ = nullptr;
    StatusPanel* status_ = nullptr;
    QTimer scroll_timer_;
    QTimer disk_change_timer_;     // gathers a burst of disk changes into one look
    std::unique_ptr<DiskWatch> disk_watch_;
    DiskRecord job_disk_;          // the disk the running job tests
    int job_entry_ = -1;           // its drop-down entry
    QString job_entry_text_;       // the entry's text while the disk is there
    bool job_disk_lost_ = false;
    std::string saved_screen_folder_;  // the job log folder Save Screen made
    QPointer<QMessageBox> stop_question_;
    int newest_row_ = -1;
    int scrolled_row_ = -1;
    int exit_code_ = 0;
    bool finished_ = false;
};

}  // namespace tb::qtui
