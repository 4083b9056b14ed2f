#include "app/ScreenshotHarness.h"

#include "app/AppDelegate.h"
#include "app/DisplayGuard.h"
#include "state/AppState.h"
#include "style/Typography.h"
#include "base/PathText.h"
#include "cli/CLI.h"
#include "platform/PathGate.h"
#include "views/settings/PreferencesView.h"
#include "views/shell/RootView.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace tallymere::ScreenshotHarness {

namespace {

constexpr double scanDeadlineSeconds = 240;

// The argument `offset` places after the first `flag` (the program path never counts as one);
// none when the flag is absent or the arguments end before it.
std::optional<std::string> argumentAfter(const std::vector<std::string>& arguments, std::string_view flag,
                                         std::size_t offset) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != flag) continue;
        if (i + offset < arguments.size()) return arguments[i + offset];
        return std::nullopt;
    }
    return std::nullopt;
}

// Keeps the event loop turning for a span: timers, queued calls from the scan and window events
// all run while the harness waits.
void spin(double seconds) {
    if (seconds <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void layOut(QWidget& widget) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    widget.ensurePolished();
}

// Brings the window to the front where the platform has a front; offscreen there is none.
void bringToFront(QWidget& window) {
    window.show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) window.raise();
}

[[noreturn]] void finish(int status) {
    // Scan threads may still run: flush and leave without running destructors under them.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

[[noreturn]] void failWith(int status, const std::string& message) {
    std::cerr << message << '\n';
    finish(status);
}

// The environment a picture is taken in: offscreen without a display, the light look and the
// program's faces.
std::unique_ptr<QApplication> makeApplication(int& argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    bool hasDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
    if ((!platform || !*platform) && !hasDisplay) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    auto application = DisplayGuard::makeApplication(argc, argv);
    AppDelegate::applyLightAppearance(*application);
    Typography::bootstrap();
    return application;
}

// Captures, encodes and stores the picture; ends the process on failure.
void takePicture(QWidget& widget, const std::string& outPath) {
    int status = 0;
    std::string message;
    QByteArray png = capturePng(widget, status, message);
    if (png.isEmpty()) failWith(status, message);
    // Checked again: the scan took a while, and OUT may have changed meanwhile.
    if (const std::string refused = unusableOutput(outPath); !refused.empty()) failWith(1, refused);
    std::string error;
    if (!writeFile(outPath, png, error)) failWith(writeFailedStatus, "cannot write " + outPath + ": " + error);
}

[[noreturn]] void shootSettings(const std::string& outPath) {
    AppState state(std::make_shared<SettingsPreferenceStore>());
    PreferencesView view(state);
    view.setWindowTitle(QStringLiteral("Settings"));
    bringToFront(view);
    spin(2.5);
    layOut(view);
    spin(0.4);
    takePicture(view, outPath);
    std::cout << "wrote " << outPath << '\n';
    finish(0);
}

[[noreturn]] void shootWindow(const WindowShot& shot) {
    AppState state(std::make_shared<SettingsPreferenceStore>());
    // Assigning these persists the preferences, exactly as choosing them in the window does.
    if (shot.viz) state.setViz(*shot.viz);
    if (shot.tab) state.setTab(*shot.tab);
    if (shot.theme) state.setThemeID(*shot.theme);

    RootView root(state);
    root.setWindowTitle(QStringLiteral("Tallymere"));
    root.resize(windowWidth, windowHeight);
    root.move(40, 40);
    bringToFront(root);

    ScanTarget target{absoluteCleanPath(shot.scanPath), lastPathComponentText(shot.scanPath), shot.scanPath == "/"};
    state.scan(target);
    spin(0.4);
    QDeadlineTimer deadline(static_cast<qint64>(scanDeadlineSeconds * 1000));
    // A scan still running at the deadline is photographed as it stands.
    while (state.isScanning() && !deadline.hasExpired()) spin(0.15);
    spin(settleSeconds(shot.tab));
    layOut(root);
    spin(0.6);
    takePicture(root, shot.outPath);
    std::cout << "wrote " << shot.outPath << " (" << root.width() << 'x' << root.height() << ")\n";
    finish(0);
}

} // namespace

Request parse(const std::vector<std::string>& arguments) {
    WindowShot shot;
    bool hasShot = false;
    if (std::optional<std::string> outPath = argumentAfter(arguments, "--shot", 2)) {
        hasShot = true;
        shot.scanPath = *argumentAfter(arguments, "--shot", 1);
        shot.outPath = *outPath;
        // Every word in these places must be understood: a misspelt one would silently picture
        // something else and still report success.
        const auto word = [&](std::size_t offset) {
            std::optional<std::string> value = argumentAfter(arguments, "--shot", offset);
            return value && !value->starts_with('-') ? value : std::nullopt;
        };
        const auto tab = word(3);
        const auto viz = tab ? word(4) : std::nullopt;
        const auto theme = viz ? word(5) : std::nullopt;
        if (tab && !(shot.tab = WorkspaceTabs::fromRaw(*tab))) return Malformed{};
        if (viz && !(shot.viz = VizModes::fromRaw(*viz))) return Malformed{};
        if (theme && !(shot.theme = ThemeIDs::fromRaw(*theme))) return Malformed{};
    }
    if (auto out = argumentAfter(arguments, "--shot-settings", 1)) return SettingsShot{*out};
    if (hasShot) return shot;
    return std::monostate{};
}

std::string unusableOutput(const std::string& path) {
    const PathGate::Status existing = PathGate::lstat(path);
    if (existing.error || S_ISREG(existing.info.st_mode)) return {};
    return path + " is not a regular file";
}

double settleSeconds(std::optional<WorkspaceTab> tab) {
    return !tab || *tab == WorkspaceTab::explore ? 2.2 : 14;
}

void runIfRequested(int& argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    Request request = parse(arguments);
    if (std::holds_alternative<std::monostate>(request)) return;
    if (std::holds_alternative<Malformed>(request)) failWith(2, std::string(CLI::usage));
    const std::string& outPath = std::holds_alternative<SettingsShot>(request) ? std::get<SettingsShot>(request).outPath
                                                                                : std::get<WindowShot>(request).outPath;
    if (const std::string refused = unusableOutput(outPath); !refused.empty()) failWith(1, refused);
    std::unique_ptr<QApplication> application = makeApplication(argc, argv);
    if (auto* settings = std::get_if<SettingsShot>(&request)) shootSettings(settings->outPath);
    shootWindow(std::get<WindowShot>(request));
}

QByteArray capturePng(QWidget& widget, int& status, std::string& message) {
    QPixmap picture = widget.grab();
    if (picture.isNull()) {
        status = 2;
        message = "no bitmap rep";
        return {};
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.toImage().save(&buffer, "PNG") || png.isEmpty()) {
        status = 3;
        message = "no png data";
        return {};
    }
    status = 0;
    return png;
}

bool writeFile(const std::string& path, const QByteArray& data, std::string& error) {
    if (path.empty()) {
        error = std::strerror(ENOENT);
        return false;
    }
    // Every look goes through the gate: an output on a mount that stopped answering fails within
    // its bound. A folder in the way is named as such.
    if (const PathGate::Status target = PathGate::stat(path); target.error == 0 && S_ISDIR(target.info.st_mode)) {
        error = std::strerror(EISDIR);
        return false;
    }
    // A rename would put the picture in place of a FIFO, a device node or a link, not into it.
    if (const PathGate::Status existing = PathGate::lstat(path); existing.error == 0 && !S_ISREG(existing.info.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (const int failed = PathGate::writeFile(path, data.toStdString())) {
        error = PathGate::message(failed);
        return false;
    }
    return true;
}

} // namespace tallymere::ScreenshotHarness
