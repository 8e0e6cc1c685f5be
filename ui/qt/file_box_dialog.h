// The open and save dialogs behind FileSelectBox and every empty file
// argument: Qt's file dialog with the request's filters, default extension
// and title, centred on the owner, the owner disabled while it is open.
#pragma once

#include <QFileDialog>
#include <QPointer>

#include "script/operator_dialogs.h"
#include "ui/qt/box_window.h"

namespace tb::qtui {

// The filter texts of a request ("FW image (*.bin)"), every file when it has none.
QStringList file_filters(const FileRequest& request);

// Opens the dialog; `finish` receives the chosen path as text, or an Escape.
QFileDialog* open_file_box(QWidget* owner, const FileRequest& request, BoxFinish finish, BoxAbandoned abandoned);

}  // namespace tb::qtui
