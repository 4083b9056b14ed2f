#pragma once
#include "base/DesktopActions.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace tallymere {

// The desktop as the window uses it: the file manager's ShowItems call over the session bus, with
// opening the item's folder as the fallback, and the desktop's default applications for opening.
//
// Opening goes through the desktop's opener program (xdg-open) when it is on the PATH, watched off
// the window's thread: one that gives up soon after (no application for the item, or the
// application failed) is a late failure with its reason. Without it, the toolkit's own way.
class DesktopServices final : public DesktopActions {
public:
    DesktopServices();
    ~DesktopServices() override;
    DesktopServices(const DesktopServices&) = delete;
    DesktopServices& operator=(const DesktopServices&) = delete;

    // Asks the file manager to show the items selected; when no file manager answers within a
    // short time (or there is no session bus), opens the first item's folder instead, only while
    // that is a folder itself and not a link. Fails with the system's reason when the first item
    // is gone, or when neither way was taken.
    std::optional<std::string> reveal(const std::vector<std::string>& paths) override;
    // Fails with the system's reason when the item is gone, when it (or what its link leads to) is
    // not a file or a folder (a pipe, a device, a socket), or when no application took it.
    std::optional<std::string> open(const std::string& path) override;
    // Late failures are told on the thread this object was made on, while it exists.
    void setLateFailure(LateFailure report) override;
    // Hands the paths to the preview set with setPreview(); nothing without one.
    void preview(const std::vector<std::string>& paths) override;
    // Puts the text on the system clipboard.
    void copyText(const std::string& text) override;

    // The preview window lives with the window, above this layer: the application hands it in.
    void setPreview(std::function<void(const std::vector<std::string>&)> preview) { m_preview = std::move(preview); }

    // The file:// address of raw path bytes. Every byte but "/" and the unreserved ones is
    // percent-encoded, so names that are not UTF-8 survive the trip.
    static QUrl fileUrl(const std::string& path);
    // The folder holding an absolute path ("/" for a top-level item).
    static std::string parentFolder(const std::string& path);

private:
    struct Relay;
    // Hands the address to the opener for the item at `path`; false when nothing took it.
    bool handOn(const QUrl& url, Action action, const std::string& path);

    std::function<void(const std::vector<std::string>&)> m_preview;
    std::unique_ptr<QObject> m_context; // where late failures are delivered
    std::shared_ptr<Relay> m_relay;     // shared with the threads that watch an opener
};

} // namespace tallymere
