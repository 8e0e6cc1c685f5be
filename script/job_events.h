// Job events: what a job tells whoever watches it (a window, the console)
// about its status text, its progress, its log lines and its end. The
// emitters call the installed sink; with none installed nobody is told.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "script/log_line.h"
#include "script/progress_stage.h"

namespace tb {

// One point of a workload's live throughput chart.
struct ChartPoint {
    uint32_t number = 0;       // 0: the first point of a new chart; then counting up
    uint32_t job_ms = 0;       // since the command started
    uint32_t kbps = 0;         // read + write
    uint32_t iops = 0;         // read + write
    bool has_temperature = false;
    int32_t temperature = 0;   // degrees Celsius, with has_temperature
    uint32_t scale_kbps = 0;   // the chart's vertical scale
};

class JobEvents {
public:
    virtual ~JobEvents() = default;

    // The slot's status text changed (an empty text clears it).
    virtual void status_text(int slot, std::string_view text) = 0;
    // The slot's progress: its stage (end 0 stands for 100) and the percentage
    // reached within the stage (0 puts the bar at the stage start).
    virtual void progress(int slot, ProgressStage stage, int percent_of_stage) = 0;
    // Line `index` was added to the slot's job log.
    virtual void log_line_added(int slot, int index, const LogLine& line) = 0;
    // Line `index` of the slot's job log was rewritten (count-downs, images).
    virtual void log_line_changed(int slot, int index, const LogLine& line) = 0;
    // The slot's job log was emptied.
    virtual void log_cleared(int slot) = 0;
    // The slot's job ended with `exit_code` (0 success).
    virtual void job_ended(int slot, int exit_code) = 0;
    // A workload of the slot took a point of its throughput chart (a watcher
    // without a live chart ignores it).
    virtual void chart_point(int /*slot*/, const ChartPoint& /*point*/) {}
};

// Installs the sink every later event goes to (nullptr: none) and hands back
// the one it replaces.
std::shared_ptr<JobEvents> install_job_events(std::shared_ptr<JobEvents> sink);

// The sink to tell now: the installed one, or a sink that drops every event.
// Events are sent from the job's threads, never under a lock of the job log.
std::shared_ptr<JobEvents> job_events();

}  // namespace tb
