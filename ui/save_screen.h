// Save Screen: a slot's on-screen job log kept as a folder on the desktop,
// "[SaveScreen_<date>-<time>-<ms>]", with TestLog.txt, TestLog.htm and the
// files the lines name. The folder becomes the slot's job log folder until
// the next job starts.
#pragma once

#include <ctime>
#include <string>

namespace tb {

struct SavedScreen {
    enum Outcome { Saved, NoData, Failed } outcome = Failed;
    std::string folder;  // the folder made (Saved)
    std::string error;   // why nothing was saved (Failed)
};

// The folder name for local time `tm` and milliseconds `ms`.
std::string save_screen_folder_name(const std::tm& tm, int ms);

// Saves the lines of `slot` into a new folder under `desktop_folder`.
SavedScreen save_screen(int slot, const std::string& desktop_folder);

}  // namespace tb
