#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallymere {

// What the program asks of the desktop: showing items in the file manager and opening files or
// addresses with their usual application, previewing them and copying text. The window supplies
// the real desktop; tests a recorder.
class DesktopActions {
public:
    virtual ~DesktopActions() = default;

    // Shows the items (absolute paths, raw bytes) selected in a file manager window. Never blocks
    // for long; a desktop without a file manager service gets the first item's folder opened.
    // Gives the reason when nothing could show them, none when it was handed on.
    virtual std::optional<std::string> reveal(const std::vector<std::string>& paths) = 0;

    // Opens a file or folder (absolute path, raw bytes) with its default application. Gives the
    // reason when nothing could open it, none when it was handed on.
    virtual std::optional<std::string> open(const std::string& path) = 0;

    // Toggles the preview of the items (absolute paths, raw bytes): a second call while it is shown
    // closes it. Nothing by default.
    virtual void preview(const std::vector<std::string>& paths) { (void)paths; }

    // Puts text (UTF-8) on the clipboard. Nothing by default.
    virtual void copyText(const std::string& text) { (void)text; }

    // A failure learnt only after reveal() or open() had handed the item on: the program that was to
    // show or open it gave up. Told on the thread the desktop was made on.
    enum class Action { reveal, open };
    using LateFailure = std::function<void(Action action, const std::string& path, const std::string& reason)>;
    // Where such failures go from now on; an empty function drops them. Never called by default.
    virtual void setLateFailure(LateFailure report) { (void)report; }
};

} // namespace tallymere
