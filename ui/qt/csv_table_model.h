// A CSV table as a Qt item model: the header row as column titles, the data
// rows as read-only cells. Each cell also has a sort key: the number for a
// cell that holds one, else its text.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include "ui/csv_table.h"

namespace tb::qtui {

// The role of the cells' sort keys.
constexpr int kCsvSortRole = Qt::UserRole + 1;

class CsvTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    CsvTableModel(CsvTable table, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    CsvTable table_;
};

// Sorts numbers by value before text, and text in its natural order.
class CsvSortProxy final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit CsvSortProxy(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace tb::qtui
