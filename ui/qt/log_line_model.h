// The lines the job-log list shows: a mirror of the writer's pool, indexed as
// the writer indexes it. It never holds more than `capacity` lines; older
// lines stay in the job's log files.
#pragma once

#include <QAbstractListModel>
#include <deque>

#include "script/log_line.h"

namespace tb::qtui {

class LogLineModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit LogLineModel(size_t capacity, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The line at `row` (nullptr outside the list).
    const LogLine* line(int row) const;

    // Writer index `index` was added: appended; an index that does not follow
    // the last one means the writer started over, so the list does too.
    void add_line(int index, const LogLine& line);
    void change_line(int index, const LogLine& line);
    void clear_lines();

private:
    int row_of(int index) const;

    size_t capacity_;
    int first_index_ = 0;  // writer index of the first row kept
    std::deque<LogLine> lines_;
};

}  // namespace tb::qtui
