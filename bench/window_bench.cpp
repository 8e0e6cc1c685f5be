// The window under load: a script printing many lines (100,000 by default)
// while a workload's throughput chart takes a point every second, in the
// main window on Qt's offscreen platform and the simulated machine. It
// measures how quickly the window handles input meanwhile (an event posted
// every 50 ms from another thread, timed from posting until the window's
// thread handles it: p50, p99, max) and the process's memory (resident set)
// as the lines arrive, and prints the figures:
//
//   tamblor-window-bench [--lines N] [--probe-ms N] [--idle-seconds N]
//
// With --idle-seconds the script prints nothing and only waits that long:
// the latency the machine's own load gives, to set the figures against.
//
//   lines=<n> seconds=<s> chart_points=<n> listed_rows=<n>
//   latency_ms samples=<n> p50=<ms> p99=<ms> max=<ms>
//   rss_mb start=<MB> 10000=<MB> 50000=<MB> 100000=<MB> end=<MB>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/wiring.h"
#include "script/app_context.h"
#include "script/job_events.h"
#include "script/job_slot.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_chart_display.h"
#include "ui/qt/qt_job_events.h"
#include "workload/chart.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kMachine[] =
    "[disk0]\ntype = sata\nmodel = BENCH SYSTEM SATA\nserial = BSYS0001\nfirmware = BS1\ncapacity = 1GB\n"
    "volumes = C:512MiB:100MiB\nscsi_port = 0\npath_id = 0\n"
    "[disk1]\ntype = nvme\nmodel = BENCH NVMe\nserial = BNVME0001\nfirmware = BN1\ncapacity = 1GB\n"
    "pci = 2:0.0\nscsi_port = 1\n";

// The resident set of this process in MiB (0 when it cannot be read).
double rss_mb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

// An input stand-in: posted from another thread, timed until the window's thread handles it.
class ProbeEvent final : public QEvent {
public:
    static const QEvent::Type kType;
    ProbeEvent() : QEvent(kType), posted(Clock::now()) {}
    Clock::time_point posted;
};
const QEvent::Type ProbeEvent::kType = static_cast<QEvent::Type>(QEvent::registerEventType());

class ProbeTarget final : public QObject {
public:
    std::vector<double> waits_ms;
    bool event(QEvent* e) override {
        if (e->type() != ProbeEvent::kType) return QObject::event(e);
        const auto waited = Clock::now() - static_cast<ProbeEvent*>(e)->posted;
        waits_ms.push_back(std::chrono::duration<double, std::milli>(waited).count());
        return true;
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t at = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[at];
}

// Stops and joins a thread that runs while `running` holds.
class Repeating {
public:
    template <class Body>
    Repeating(std::chrono::milliseconds every, Body body)
        : thread_([this, every, body] {
              auto next = Clock::now();
              while (running_.load()) {
                  body();
                  next += every;
                  std::this_thread::sleep_until(next);
              }
          }) {}
    ~Repeating() { stop(); }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    long lines = 100000;
    int probe_ms = 50;
    int idle_seconds = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--lines") lines = std::atol(argv[i + 1]);
        else if (key == "--probe-ms") probe_ms = std::atoi(argv[i + 1]);
        else if (key == "--idle-seconds") idle_seconds = std::atoi(argv[i + 1]);
    }
    if (idle_seconds > 0) lines = 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const fs::path dir = fs::temp_directory_path() / ("tamblor-window-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    std::ofstream(dir / "machine.ini") << "[machine]\nfolder = " << (dir / "sim").string() << "\npersist = 0\n"
                                       << kMachine;
    if (idle_seconds > 0)
        std::ofstream(dir / "bench.scpt") << "Delay( sec:" << idle_seconds << " );\nExit( ErrCode:0 );\n";
    else
        std::ofstream(dir / "bench.scpt") << "i = 0;\nWhile ( i < " << lines
                                          << " ) {\n    Print( Output:\"bench line \" + i );\n    i++;\n}\n"
                                             "Exit( ErrCode:0 );\n";
    tb::StartOptions options;
    options.sim_config = (dir / "machine.ini").string();
    if (!tb::install_system(options)) return 1;
    tb::app().run_style = tb::kStyleWindow;
    tb::app().ui_mode = 0;
    tb::app().work_folder = dir.string();
    tb::app().target = "\\\\.\\PHYSICALDRIVE1";
    tb::job_slot(0)->script_path = (dir / "bench.scpt").string();

    auto events = std::make_shared<tb::qtui::QtJobEvents>();
    std::shared_ptr<tb::JobEvents> previous = tb::install_job_events(events);
    double seconds = 0;
    size_t chart_points = 0;
    int listed_rows = 0;
    std::vector<double> waits;
    std::map<long, double> rss_at;
    const double rss_start = rss_mb();
    {
        tb::qtui::InstalledQtChartDisplay charts;
        tb::qtui::MainWindow window(events);
        window.show();

        long arrived = 0;
        const long marks[] = {10000, 50000, 100000};
        QObject::connect(events.get(), &tb::qtui::QtJobEvents::lineAdded, &window, [&](int, int, tb::LogLine) {
            ++arrived;
            for (long m : marks)
                if (arrived == m) rss_at[m] = rss_mb();
        });
        ProbeTarget probe;
        const Clock::time_point start = Clock::now();
        // The workload's chart: a point a second on slot 0, as a workload's sampler adds them.
        tb::ChartSeries chart;
        chart.slot = 0;
        uint32_t second = 0;
        Repeating sampler(std::chrono::milliseconds(1000), [&] {
            tb::ThroughputSample s;
            s.job_ms = second * 1000;
            s.read_kbps = 200 * 1024 + (second % 10) * 10 * 1024;
            chart.add(s, s.read_kbps + 10240);
            ++second;
        });
        Repeating prober(std::chrono::milliseconds(probe_ms), [&] { QApplication::postEvent(&probe, new ProbeEvent); });
        QObject::connect(events.get(), &tb::qtui::QtJobEvents::jobEnded, &window, [&] {
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            QTimer::singleShot(500, &application, &QApplication::quit);
        }, Qt::QueuedConnection);
        QTimer::singleShot(0, &window, &tb::qtui::MainWindow::apply_target);
        application.exec();
        prober.stop();
        sampler.stop();
        QCoreApplication::processEvents();
        waits = probe.waits_ms;
        chart_points = chart.taken;
        listed_rows = window.log_model()->rowCount();
    }
    tb::install_job_events(previous);
    std::printf("lines=%ld seconds=%.1f chart_points=%zu listed_rows=%d\n", lines, seconds, chart_points, listed_rows);
    std::printf("latency_ms samples=%zu p50=%.1f p99=%.1f max=%.1f\n", waits.size(), percentile(waits, 0.5),
                percentile(waits, 0.99), waits.empty() ? 0.0 : *std::max_element(waits.begin(), waits.end()));
    std::printf("rss_mb start=%.1f", rss_start);
    for (const auto& [mark, mb] : rss_at) std::printf(" %ld=%.1f", mark, mb);
    std::printf(" end=%.1f\n", rss_mb());
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
