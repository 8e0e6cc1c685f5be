#include "ui/qt/log_line_model.h"

namespace tb::qtui {

LogLineModel::LogLineModel(size_t capacity, QObject* parent) : QAbstractListModel(parent), capacity_(capacity) {}

int LogLineModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant LogLineModel::data(const QModelIndex& index, int role) const {
    const LogLine* l = line(index.row());
    if (!l || role != Qt::DisplayRole) return {};
    return QString::fromStdString(l->text);
}

const LogLine* LogLineModel::line(int row) const {
    if (row < 0 || static_cast<size_t>(row) >= lines_.size()) return nullptr;
    return &lines_[static_cast<size_t>(row)];
}

int LogLineModel::row_of(int index) const { return index - first_index_; }

void LogLineModel::add_line(int index, const LogLine& line) {
    // A gap or a step back: the writer started its pool over.
    if (!lines_.empty() && index != first_index_ + static_cast<int>(lines_.size())) clear_lines();
    if (lines_.empty()) first_index_ = index;
    if (lines_.size() >= capacity_) {
        beginRemoveRows(QModelIndex(), 0, 0);
        lines_.pop_front();
        ++first_index_;
        endRemoveRows();
    }
    const int row = static_cast<int>(lines_.size());
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(line);
    endInsertRows();
}

void LogLineModel::change_line(int index, const LogLine& line) {
    const int row = row_of(index);
    if (row < 0 || static_cast<size_t>(row) >= lines_.size()) return;
    lines_[static_cast<size_t>(row)] = line;
    const QModelIndex at = this->index(row);
    emit dataChanged(at, at);
}

void LogLineModel::clear_lines() {
    beginResetModel();
    lines_.clear();
    first_index_ = 0;
    endResetModel();
}

}  // namespace tb::qtui
