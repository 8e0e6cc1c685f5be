// A main window on a small simulated machine (a system disk and one NVMe
// disk to test) for the window tests, with slot 0 fresh and the window's job
// events installed.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <memory>
#include <string>
#include <vector>

#include "app/wiring.h"
#include "disk/target_select.h"
#include "script/app_context.h"
#include "script/job_events.h"
#include "script/job_slot.h"
#include "tests/qt/window_test_support.h"
#include "tests/sim_test_helpers.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui::test {

inline const char kWindowDisks[] =
    "[disk0]\ntype = sata\nmodel = WINDOW SYSTEM SATA\nserial = WSYS0001\nfirmware = WS1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = WINDOW TEST NVMe\nserial = WNVME0001\nfirmware = WN1\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = tb::test::fresh_slot();
        app().run_style = kStyleWindow;
        app().caption = "Window Test";
        machine_folder_ = tb::test::make_temp_dir("tamblor-window-sim");
        ASSERT_GT(sim::test::install_machine(machine_folder_, kWindowDisks), 0);
        install_storage(false);
        events_ = std::make_shared<QtJobEvents>();
        previous_ = install_job_events(events_);
        QObject::connect(events_.get(), &QtJobEvents::jobEnded, [this](int, int) { ++jobs_ended_; });
    }
    void TearDown() override {
        if (window_ && window_->job_running()) set_cancel(0);
        window_.reset();
        install_job_events(previous_);
        clear_current_target();
    }

    // A window for the script `text`; `target` is the command-line target
    // (empty: none, nothing starts by itself).
    MainWindow& open_window(const std::string& script, const std::string& target = "\\\\.\\PHYSICALDRIVE1") {
        job_slot(0)->script_path = tb::test::write_file(folder_, "window.scpt", script);
        app().target = target;
        window_ = std::make_unique<MainWindow>(events_);
        QObject::connect(window_.get(), &MainWindow::finished, [this] { finished_ = true; });
        window_->show();
        window_->apply_target();
        return *window_;
    }

    bool job_started() { return wait_until([] { return app().jobs[0].running.load(); }, 5000); }
    // Waits until `count` jobs of this test have ended.
    bool job_done(int count = 1) {
        return wait_until([&] { return jobs_ended_ >= count && !app().jobs[0].running.load(); }, 20000);
    }

    // Whether a line of the list holds `text`; its row in `row`.
    bool listed(const std::string& text, int* row = nullptr) {
        for (int i = 0; i < window_->log_model()->rowCount(); ++i)
            if (window_->log_model()->line(i)->text.find(text) != std::string::npos) {
                if (row) *row = i;
                return true;
            }
        return false;
    }

    // The message box the window has open, or nullptr.
    QMessageBox* open_box() {
        for (QMessageBox* box : window_->findChildren<QMessageBox*>())
            if (box->isVisible()) return box;
        return nullptr;
    }

    std::string folder_;
    std::string machine_folder_;
    std::shared_ptr<QtJobEvents> events_;
    std::shared_ptr<JobEvents> previous_;
    std::unique_ptr<MainWindow> window_;
    bool finished_ = false;
    int jobs_ended_ = 0;
};

}  // namespace tb::qtui::test
