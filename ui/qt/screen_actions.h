// The job log's pop-up menu entries: Clean Screen and Save Screen of slot 0.
#pragma once

#include <QWidget>

namespace tb::qtui {

// Empties slot 0's list and pool.
void clean_screen();

// Saves slot 0's lines into a folder on the desktop and says how it went
// ("No Data", "Save Screen Finish"), then opens the folder. The folder made,
// or an empty text when nothing was saved.
QString save_screen_with_notice(QWidget* parent);

}  // namespace tb::qtui
