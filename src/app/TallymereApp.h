#pragma once

class QApplication;

namespace tallymere::TallymereApp {

// What the window's process sets for itself before the QApplication and any thread exist (how the
// C library hands memory back). The window calls it first thing, and so does every benchmark of the
// window's views, so that they measure the program as it runs.
void prepareProcess();

// Names the application (where preferences live), makes closing the last window end it, and sets
// the light look and the fonts.
void configure(QApplication& application);

// The windowed application, once the command line and the screenshot mode have declined: the
// QApplication with its light look and fonts, the one store, the main window (1440 by 900, with
// the menus) and the Settings window shown from the menu. Closing the last open window ends it.
// Returns the event loop's exit status. `argc` must outlive the call, as QApplication requires.
int run(int& argc, char** argv);

} // namespace tallymere::TallymereApp
