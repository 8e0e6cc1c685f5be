#include "ui/qt/qt_job_events.h"

#include <algorithm>

namespace tb::qtui {

namespace {
QString qtext(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

QtJobEvents::QtJobEvents() {
    qRegisterMetaType<tb::LogLine>("tb::LogLine");
    qRegisterMetaType<tb::ChartPoint>("tb::ChartPoint");
}

int progress_position(ProgressStage stage, int percent_of_stage) {
    const int start = stage.start;
    const int end = stage.end == 0 ? 100 : stage.end;
    if (percent_of_stage == 0) return std::clamp(start, 0, 100);
    return std::clamp(start + (end - start) * percent_of_stage / 100, 0, 100);
}

void QtJobEvents::status_text(int slot, std::string_view text) { emit statusChanged(slot, qtext(text)); }

void QtJobEvents::progress(int slot, ProgressStage stage, int percent_of_stage) {
    emit progressChanged(slot, progress_position(stage, percent_of_stage));
}

void QtJobEvents::log_line_added(int slot, int index, const LogLine& line) { emit lineAdded(slot, index, line); }
void QtJobEvents::log_line_changed(int slot, int index, const LogLine& line) { emit lineChanged(slot, index, line); }
void QtJobEvents::log_cleared(int slot) { emit logCleared(slot); }
void QtJobEvents::job_ended(int slot, int exit_code) { emit jobEnded(slot, exit_code); }
void QtJobEvents::chart_point(int slot, const ChartPoint& point) { emit chartPointTaken(slot, point); }

}  // namespace tb::qtui
