// A main window on the simulated machine with the window run's chart display
// installed, for the chart and table tests: runs a script as a window run
// does (command-line target, job started by itself) and hands back the job
// log's lines and the chart and table windows the job opened.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/wiring.h"
#include "disk/target_select.h"
#include "script/app_context.h"
#include "script/job_slot.h"
#include "tests/qt/window_test_support.h"
#include "tests/sim_test_helpers.h"
#include "tests/temp_dir.h"
#include "tests/test_support.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_chart_display.h"
#include "ui/qt/qt_job_events.h"

namespace tb::qtui::test {

// A system disk with volumes and one NVMe disk to test.
inline constexpr const char* kChartTestDisks =
    "[disk0]\ntype = sata\nmodel = CHART SYSTEM SATA\nserial = CSYS0001\nfirmware = CS1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = CHART TEST NVMe\nserial = CNVME0001\nfirmware = CN1\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

class ChartWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = tb::test::fresh_slot();
        app().run_style = kStyleWindow;
        app().caption = "Chart Test";
        app().ui_mode = 0;
        machine_folder_ = tb::test::make_temp_dir("tamblor-chart-sim");
        ASSERT_GT(sim::test::install_machine(machine_folder_, kChartTestDisks), 0);
        install_storage(false);
        events_ = std::make_shared<QtJobEvents>();
        previous_ = install_job_events(events_);
        QObject::connect(events_.get(), &QtJobEvents::jobEnded, [this](int slot, int) {
            if (slot == 0) ended_ = true;
        });
        charts_ = std::make_unique<InstalledQtChartDisplay>();
    }
    void TearDown() override {
        window_.reset();
        charts_.reset();
        install_job_events(previous_);
        clear_current_target();
    }

    // A window that runs `script` on the NVMe disk; the job starts by itself.
    MainWindow& run_window(const std::string& script) {
        window_.reset();
        ended_ = false;
        job_slot(0)->script_path = tb::test::write_file(folder_, "chart.scpt", script);
        app().target = "\\\\.\\PHYSICALDRIVE1";
        window_ = std::make_unique<MainWindow>(events_);
        window_->show();
        window_->apply_target();
        return *window_;
    }
    bool job_started() { return wait_until([] { return app().jobs[0].running.load(); }, 5000); }
    bool job_done(int ms = 30000) { return wait_until([] { return !app().jobs[0].running.load(); }, ms); }
    // Runs `script` to its end and lets its last lines reach the list.
    bool run_to_end(const std::string& script) {
        run_window(script);
        if (!wait_until([&] { return ended_.load() && !app().jobs[0].running.load(); }, 30000)) return false;
        wait_until([] { return false; }, 300);
        return true;
    }

    std::vector<LogLine> listed() const {
        std::vector<LogLine> out;
        for (int i = 0; i < window_->log_model()->rowCount(); ++i) out.push_back(*window_->log_model()->line(i));
        return out;
    }
    bool listed_text(const std::string& part) const {
        for (const LogLine& l : listed())
            if (l.text.find(part) != std::string::npos) return true;
        return false;
    }
    QtChartDisplay& display() const { return charts_->display(); }

    // A file of the test folder, as a script names it.
    std::string file(const std::string& name, const std::string& text) const {
        return tb::test::write_file(folder_, name, text);
    }
    static std::string artefact(const std::string& name) {
        QDir().mkpath(TAMBLOR_ARTEFACT_DIR);
        return std::string(TAMBLOR_ARTEFACT_DIR) + "/" + name;
    }

    std::string folder_;
    std::string machine_folder_;
    std::shared_ptr<QtJobEvents> events_;
    std::shared_ptr<JobEvents> previous_;
    std::unique_ptr<InstalledQtChartDisplay> charts_;
    std::unique_ptr<MainWindow> window_;
    std::atomic<bool> ended_{false};  // slot 0's job told its end
};

}  // namespace tb::qtui::test
