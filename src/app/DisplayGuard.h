#pragma once
#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace tallymere::DisplayGuard {

// The display the toolkit will try to open for these arguments (the program path first) and the
// environment, named as the user set it: the X display (":1") for the X11 platform, which is the
// default, the Wayland socket for Wayland, else the platform itself ("the platform \"vnc\"").
// "-platform", "--platform", "-display" and "--display" arguments win over QT_QPA_PLATFORM and
// DISPLAY, as they do in the toolkit.
std::string describe(const std::vector<std::string>& arguments);

// Makes the application object. When the toolkit cannot open its display (a stale DISPLAY, an
// unknown platform), it would print several lines and abort with a core dump; instead this prints
// one line, "tallymere: cannot open the display NAME", and ends the process with status 1.
// Messages the toolkit prints while it starts are held back until the display is open, so a
// failure says nothing else. `argc` must outlive the application, as QApplication requires.
std::unique_ptr<QApplication> makeApplication(int& argc, char** argv);

} // namespace tallymere::DisplayGuard
