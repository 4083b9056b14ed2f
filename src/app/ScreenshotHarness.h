#pragma once
#include "state/ThemeID.h"
#include "state/VizMode.h"
#include "state/WorkspaceTab.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

class QByteArray;
class QWidget;

namespace tallymere::ScreenshotHarness {

// "--shot-settings OUT": the Settings view alone.
struct SettingsShot {
    std::string outPath;
    friend bool operator==(const SettingsShot&, const SettingsShot&) = default;
};

// "--shot PATH OUT [TAB] [VIZ] [THEME]": the main window after scanning PATH. An absent value
// leaves that item to the stored preferences.
struct WindowShot {
    std::string scanPath;
    std::string outPath;
    std::optional<WorkspaceTab> tab;
    std::optional<VizMode> viz;
    std::optional<ThemeID> theme;
    friend bool operator==(const WindowShot&, const WindowShot&) = default;
};

// "--shot" with a word in the place of TAB, VIZ or THEME that is none of their raw values.
struct Malformed {
    friend bool operator==(const Malformed&, const Malformed&) = default;
};

using Request = std::variant<std::monostate, SettingsShot, WindowShot, Malformed>;

// Size of the main window's picture, in logical pixels; the Settings view has its own fixed size.
inline constexpr int windowWidth = 1520, windowHeight = 940;

// Exit status when the finished picture cannot be stored (missing or read-only folder, full disk).
inline constexpr int writeFailedStatus = 4;

// The request held by the arguments (the program path first). Flags match whole arguments,
// case-sensitively; "--shot-settings" with a value wins over "--shot", wherever they stand; a flag
// without its values is ignored. The words after "--shot PATH OUT", up to the next one starting
// with "-", are TAB, VIZ and THEME by position; one that is not a raw value of its place makes the
// arguments Malformed, whichever request would win.
Request parse(const std::vector<std::string>& arguments);

// The line that refuses OUT before any work is done: "OUT is not a regular file" when something
// other than a regular file is there already (a folder, a FIFO, a device, a socket, a link), so
// the picture never replaces it; empty when OUT is free or a regular file.
std::string unusableOutput(const std::string& path);

// Seconds to let the window settle after the scan: the tool tabs start work of their own.
double settleSeconds(std::optional<WorkspaceTab> tab);

// Renders the picture the arguments ask for and ends the process; returns at once when they ask
// for none. Makes its own QApplication (offscreen when there is no display) and its own store, so
// it must run before the application's; `argc` must outlive the process, as QApplication needs.
// Prints "wrote OUT" (with " (WxH)" for the main window) and exits 0; "no bitmap rep" exits 2,
// "no png data" 3, and a file that cannot be stored writeFailedStatus, with the reason. Malformed
// arguments print the usage line and exit 2; an OUT that is not a regular file exits 1 at once. A
// PATH that is not there or cannot be read is scanned like any other: the picture shows the window
// as that scan leaves it, with its error banner.
void runIfRequested(int& argc, char** argv);

// The widget's picture at its screen's pixel ratio, as PNG data; an empty array when no picture
// results (`status` then holds 2 or 3 and `message` the line for standard error).
QByteArray capturePng(QWidget& widget, int& status, std::string& message);

// Replaces the file at `path` (raw bytes) with `data` in one step: written beside it, then renamed
// over it, so a failed write leaves an existing file as it was. Only a regular file is replaced:
// anything else there fails ("Is a directory", "not a regular file"). False with the reason.
bool writeFile(const std::string& path, const QByteArray& data, std::string& error);

} // namespace tallymere::ScreenshotHarness
