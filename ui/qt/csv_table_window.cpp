#include "ui/qt/csv_table_window.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace tb::qtui {

CsvTableWindow::CsvTableWindow(const std::string& title, CsvTable table, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(new QTableView(this)), proxy_(new CsvSortProxy(this)) {
    setWindowTitle(QString::fromStdString(title));
    proxy_->setSourceModel(new CsvTableModel(std::move(table), this));
    view_->setModel(proxy_);
    // The file's order until a title is clicked.
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->horizontalHeader()->setSectionsClickable(true);
    view_->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(800, 480);
}

QString CsvTableWindow::shown(int row, int column) const { return proxy_->index(row, column).data().toString(); }

}  // namespace tb::qtui
