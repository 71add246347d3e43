// One whole recovery through the window, as a user clicks it: the image chosen as a partition
// image, the scan, the database file analysed, SEARCH MORE until it finds nothing, CHECK and
// CREATE MDF into `mdf`. The test that checks it and the tour that photographs it share it.
#pragma once

#include <QString>
#include <functional>

#include "gui/main_window.h"
#include "tests/gui/dialog_script.h"
#include "tests/support/scattered_volume.h"

namespace pagerake::gui::testing {

// The stages after which `shown` is called: the tab the user then looks at.
enum class Stage { kSourceChosen, kScanned, kAnalysed, kAssembled };

// Empty when every step did what it should; else what went wrong.
// After CREATE MDF the tables of the file are offered: with `exportFolder` every one is exported
// there, else the offer is closed.
QString RecoverThroughWindow(TForm1& w, DialogScript& script, const QString& image,
                             const QString& mdf, const std::function<void(Stage)>& shown = {},
                             const QString& exportFolder = {});

// The volume those recoveries run on: r11 deleted from a FAT32 volume with 8 KiB clusters (made
// once, then cached). Its image path is empty, and skipReason says why, where it cannot be made.
pagerake::testing::ScatteredVolume R11Volume();

// Waits for the window's job to end and for everything it posted to be shown.
bool WaitForJob(TForm1& w, int timeoutMs = 300000);

}  // namespace pagerake::gui::testing
