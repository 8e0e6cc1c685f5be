// The job-log list: black, one row per line of `model`, each drawn by its kind.
#pragma once

#include <QListView>

#include "ui/qt/log_line_model.h"

namespace tb::qtui {

QListView* make_job_log_view(LogLineModel* model, QWidget* parent);

}  // namespace tb::qtui
