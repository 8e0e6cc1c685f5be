// A window showing a CSV file as a table that sorts by the column whose
// title is clicked (numbers by value), under the table's title.
#pragma once

#include <QTableView>
#include <QWidget>

#include "ui/csv_table.h"
#include "ui/qt/csv_table_model.h"

namespace tb::qtui {

class CsvTableWindow final : public QWidget {
    Q_OBJECT
public:
    CsvTableWindow(const std::string& title, CsvTable table, QWidget* parent = nullptr);

    QTableView* view() const { return view_; }
    // The cell of row `row` and column `column` as the table shows it now.
    QString shown(int row, int column) const;

private:
    QTableView* view_;
    CsvSortProxy* proxy_;
};

}  // namespace tb::qtui
