#include "ui/qt/job_log_view.h"

#include "ui/qt/log_line_painter.h"

namespace tb::qtui {

QListView* make_job_log_view(LogLineModel* model, QWidget* parent) {
    auto* view = new QListView(parent);
    view->setModel(model);
    view->setItemDelegate(new LogLinePainter(view));
    view->setUniformItemSizes(false);
    // Rows are laid out a batch at a time between events, so that a flood of
    // lines leaves the window answering input.
    view->setLayoutMode(QListView::Batched);
    view->setBatchSize(500);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette dark = view->palette();
    dark.setColor(QPalette::Base, Qt::black);
    dark.setColor(QPalette::Window, Qt::black);
    view->setPalette(dark);
    view->setAutoFillBackground(true);
    return view;
}

}  // namespace tb::qtui
