#include "ui/qt/csv_table_model.h"

#include "ui/csv_numbers.h"

namespace tb::qtui {

CsvTableModel::CsvTableModel(CsvTable table, QObject* parent) : QAbstractTableModel(parent), table_(std::move(table)) {}

int CsvTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.rows.size());
}

int CsvTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.header.size());
}

QVariant CsvTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= table_.rows.size()) return {};
    const CsvRow& row = table_.rows[static_cast<size_t>(index.row())];
    if (static_cast<size_t>(index.column()) >= row.size()) return {};
    const std::string& cell = row[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(cell);
    case kCsvSortRole:
        if (const std::optional<double> v = csv_number(cell)) return *v;
        return QString::fromStdString(cell);
    case Qt::TextAlignmentRole:
        return csv_number(cell) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant CsvTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || static_cast<size_t>(section) >= table_.header.size()) return {};
    return QString::fromStdString(table_.header[static_cast<size_t>(section)]);
}

CsvSortProxy::CsvSortProxy(QObject* parent) : QSortFilterProxyModel(parent) { setSortRole(kCsvSortRole); }

bool CsvSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(kCsvSortRole), b = right.data(kCsvSortRole);
    const bool a_number = a.typeId() == QMetaType::Double, b_number = b.typeId() == QMetaType::Double;
    if (a_number && b_number) return a.toDouble() < b.toDouble();
    if (a_number != b_number) return a_number;  // numbers before text
    return QString::localeAwareCompare(a.toString(), b.toString()) < 0;
}

}  // namespace tb::qtui
