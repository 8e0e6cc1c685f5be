// The window's view of a job: every job event becomes a Qt signal. The job
// threads emit them; receivers on the main thread connect queued, so the
// window is only ever touched by its own thread.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "script/job_events.h"

Q_DECLARE_METATYPE(tb::LogLine)
Q_DECLARE_METATYPE(tb::ChartPoint)

namespace tb::qtui {

class QtJobEvents final : public QObject, public JobEvents {
    Q_OBJECT
public:
    QtJobEvents();

    void status_text(int slot, std::string_view text) override;
    void progress(int slot, ProgressStage stage, int percent_of_stage) override;
    void log_line_added(int slot, int index, const LogLine& line) override;
    void log_line_changed(int slot, int index, const LogLine& line) override;
    void log_cleared(int slot) override;
    void job_ended(int slot, int exit_code) override;
    void chart_point(int slot, const ChartPoint& point) override;

signals:
    void statusChanged(int slot, QString text);
    // The bar position in percent of the whole job.
    void progressChanged(int slot, int percent);
    void lineAdded(int slot, int index, tb::LogLine line);
    void lineChanged(int slot, int index, tb::LogLine line);
    void logCleared(int slot);
    void jobEnded(int slot, int exit_code);
    void chartPointTaken(int slot, tb::ChartPoint point);
};

// Where the bar stands: the stage start when `percent_of_stage` is 0, else
// start + (end - start) * percent / 100, an end of 0 standing for 100.
int progress_position(ProgressStage stage, int percent_of_stage);

}  // namespace tb::qtui
