#include "desktop/DesktopServices.h"

#include "base/PathText.h"
#include "desktop/OpenerProcess.h"
#include "platform/PathGate.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QDesktopServices>
#include <QObject>
#include <QStandardPaths>
#include <QStringList>

#include <sys/stat.h>

#include <mutex>

namespace tallymere {
namespace {

// Long enough for a running file manager to answer, short enough not to freeze the window when
// the bus or the service hangs.
constexpr int showItemsTimeoutMs = 1500;

bool showItems(const QStringList& uris) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << uris << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, showItemsTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Every look below goes through the gate: an item on a mount that stopped answering (or a link
// leading onto one) is told within the gate's bound instead of holding the window.

// The reason when the item no longer exists (or cannot be reached); none when it does.
std::optional<std::string> missingReason(const std::string& path) {
    const PathGate::Status item = PathGate::lstat(path);
    if (item.error) return PathGate::message(item.error);
    return std::nullopt;
}

// Why the item (or what its link leads to) is no file or folder: an application handed a pipe
// would wait on it for ever, and a device or socket is nothing to open. None for a file or folder.
std::optional<std::string> notOpenable(const std::string& path) {
    const PathGate::Status item = PathGate::stat(path);
    if (item.error) return PathGate::message(item.error);
    if (S_ISREG(item.info.st_mode) || S_ISDIR(item.info.st_mode)) return std::nullopt;
    return "It is not a file or a folder.";
}

// Whether the path names a folder itself, not a link: only such a folder is handed to the
// desktop in place of an item, since anything else would be opened, or run, as a file.
bool isRealFolder(const std::string& path) {
    const PathGate::Status folder = PathGate::lstat(path);
    return folder.error == 0 && S_ISDIR(folder.info.st_mode);
}

// An opener that runs the application in its own place (on a desktop without a launcher service)
// ends only with the application: an error that late says nothing about the opening.
constexpr std::chrono::seconds openerWatch(20);

constexpr const char* noFolderApplication = "No file manager answered, and no application is set to open folders.";
constexpr const char* noApplication = "No application is set to open it.";

// Why the opener gave up, in words. Its status 3 is its "no method available" (a tool it needs
// could not be found).
std::string openerReason(DesktopActions::Action action, OpenerProcess::Ending ending) {
    const bool reveal = action == DesktopActions::Action::reveal;
    if (!ending.signalled && ending.code == 3) return reveal ? noFolderApplication : noApplication;
    const std::string how = ending.signalled ? "xdg-open was stopped by signal " + std::to_string(ending.code)
                                             : "xdg-open ended with status " + std::to_string(ending.code);
    return reveal ? "No file manager answered, and its folder could not be opened (" + how + ")."
                  : "It could not be opened (" + how + ").";
}

} // namespace

struct DesktopServices::Relay {
    std::mutex lock;
    QObject* target = nullptr; // null once the desktop is gone
    LateFailure report;        // read and written on the desktop's thread only
};

DesktopServices::DesktopServices() : m_context(std::make_unique<QObject>()), m_relay(std::make_shared<Relay>()) {
    m_relay->target = m_context.get();
}

DesktopServices::~DesktopServices() {
    std::lock_guard lock(m_relay->lock);
    m_relay->target = nullptr;
}

void DesktopServices::setLateFailure(LateFailure report) {
    m_relay->report = std::move(report);
}

bool DesktopServices::handOn(const QUrl& url, Action action, const std::string& path) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    const auto failed = [relay = m_relay, action, path](OpenerProcess::Ending ending) {
        std::lock_guard lock(relay->lock);
        if (!relay->target) return;
        QMetaObject::invokeMethod(
            relay->target,
            [relay, action, path, reason = openerReason(action, ending)] {
                if (relay->report) relay->report(action, path, reason);
            },
            Qt::QueuedConnection);
    };
    if (OpenerProcess::start(QFile::encodeName(opener).toStdString(), url.toString(QUrl::FullyEncoded).toStdString(),
                             openerWatch, failed))
        return true;
    return QDesktopServices::openUrl(url);
}

QUrl DesktopServices::fileUrl(const std::string& path) {
    const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

std::string DesktopServices::parentFolder(const std::string& path) {
    return PathText::parent(path);
}

std::optional<std::string> DesktopServices::reveal(const std::vector<std::string>& paths) {
    if (paths.empty()) return std::nullopt;
    if (auto gone = missingReason(paths.front())) return gone;
    QStringList uris;
    for (const std::string& path : paths) uris << fileUrl(path).toString(QUrl::FullyEncoded);
    if (showItems(uris)) return std::nullopt;
    const std::string folder = parentFolder(paths.front());
    if (!isRealFolder(folder)) return "No file manager answered, and the folder holding it is no longer a folder.";
    if (handOn(fileUrl(folder), Action::reveal, paths.front())) return std::nullopt;
    return noFolderApplication;
}

std::optional<std::string> DesktopServices::open(const std::string& path) {
    if (auto gone = missingReason(path)) return gone;
    if (auto refused = notOpenable(path)) return refused;
    if (handOn(fileUrl(path), Action::open, path)) return std::nullopt;
    return noApplication;
}

void DesktopServices::preview(const std::vector<std::string>& paths) {
    if (m_preview) m_preview(paths);
}

void DesktopServices::copyText(const std::string& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace tallymere
