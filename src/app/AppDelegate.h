#pragma once

class QApplication;

namespace tallymere {

class PreferenceStore;

// What the application does around its windows at launch: the fixed light look, the first
// windows' background in the stored theme, and an orderly end when the session asks it to stop.
namespace AppDelegate {

// The application always draws light, whatever the desktop's colour scheme: the Fusion style with
// its standard light palette. Windows opened later inherit it.
void applyLightAppearance(QApplication& application);

// On the next turn of the event loop, once the main window is shown: gives every visible window
// the background of the theme stored under "themeID" (paper when absent or unknown). Runs once;
// later windows and later theme changes keep what they have (the window content paints its own
// theme background). `preferences` must outlive that turn.
void styleWindowsAfterLaunch(const PreferenceStore& preferences);

// SIGTERM, SIGINT and SIGHUP close every window, as the user closing them would, so the
// application ends through its normal path (closing the last window quits). Call once, after the
// QApplication exists.
void closeWindowsOnTermination();

} // namespace AppDelegate

} // namespace tallymere
