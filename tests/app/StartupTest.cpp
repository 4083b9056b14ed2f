// The program's start-up order and its life as a real window.
#include "app/AppDelegate.h"
#include "app/DisplayGuard.h"
#include "state/AppState.h"
#include "state/AppStateTestSupport.h"
#include "app/MainWindow.h"
#include "app/TallymereApp.h"
#include "app/MenuCommands.h"
#include "style/Theme.h"
#include "views/shell/RootView.h"
#include "support/DeadFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <QApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

QString binary() { return QString::fromLocal8Bit(qgetenv("TALLYMERE_BINARY")); }

QProcessEnvironment withoutDisplay(const std::string& configHome) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QString::fromLatin1(name));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome));
    return environment;
}

} // namespace

TEST(Startup, CommandLineRunsWithoutAnyDisplay) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    QProcess process;
    process.setProcessEnvironment(withoutDisplay(dir / "config"));
    process.start(binary(), {"--scan", QString::fromStdString(dir / "tree")});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().startsWith(QByteArray("scanned ") + QByteArray::fromStdString(dir / "tree")));
    // It never reached the store: no preference was written.
    EXPECT_FALSE(std::filesystem::exists(dir / "config/Tallymere"));

    // Nor does it carry the window's libraries or the desktop's: the loader lists what it would load.
    QProcess loader;
    QProcessEnvironment listing = withoutDisplay(dir / "config");
    listing.insert("LD_TRACE_LOADED_OBJECTS", "1");
    loader.setProcessEnvironment(listing);
    loader.start(binary(), {"--scan", QString::fromStdString(dir / "tree")});
    ASSERT_TRUE(loader.waitForFinished(120000));
    const QString loaded = QString::fromLocal8Bit(loader.readAllStandardOutput());
    ASSERT_TRUE(loaded.contains(QStringLiteral("libc.so"))) << loaded.toStdString();
    for (const char* library : {"libQt6", "libgio", "libglib"}) EXPECT_FALSE(loaded.contains(QLatin1String(library))) << library;
}

TEST(Startup, WithoutADisplayTheWindowSaysSoAndBadArgumentsGetTheUsage) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    const auto runWith = [&](const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = withoutDisplay(dir / "config");
        process.setProcessEnvironment(environment);
        process.start(binary(), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "never the toolkit's abort";
        return std::make_pair(process.exitCode(), process.readAllStandardError());
    };
    const auto window = runWith({});
    EXPECT_EQ(window.first, 1);
    EXPECT_TRUE(window.second.startsWith("tallymere: no display to open the window on")) << window.second.toStdString();
    for (const QStringList& arguments : {QStringList{"--scan"}, QStringList{"--scan=/tmp"}, QStringList{"--snapshot"}}) {
        const auto bad = runWith(arguments);
        EXPECT_EQ(bad.first, 2);
        EXPECT_TRUE(bad.second.startsWith("usage: tallymere ")) << bad.second.toStdString();
    }
}

// The window program lies beside this one, whose folder only the kernel's record of the running
// program tells (/proc/self/exe). Without it the program says so in one line rather than start
// whatever lies at a guessed place.
TEST(Startup, WithoutItsOwnFolderTheWindowProgramIsNotGuessedAt) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    const std::string program = binary().toStdString();
    const std::string errors = dir / "stderr";
    const bool ran = test::runInPrivateMounts([&] {
        ASSERT_EQ(::mount("none", "/proc", "tmpfs", 0, nullptr), 0) << "no /proc in this namespace";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 2);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        std::ifstream in(errors);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "tallymere: cannot find the folder this program is in, which holds tallymere-window "
                        "(/proc/self/exe: No such file or directory)\n");
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(Startup, ADisplayThatCannotBeOpenedIsNamedInOneLineWithoutAnAbort) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    const auto runWith = [&](const char* name, const char* value, const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = withoutDisplay(dir / "config");
        environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
        process.setProcessEnvironment(environment);
        process.start(binary(), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "never the toolkit's abort";
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(process.readAllStandardOutput(), "");
        return process.readAllStandardError().toStdString();
    };
    EXPECT_EQ(runWith("DISPLAY", ":nonexistent", {}), "tallymere: cannot open the display :nonexistent\n");
    EXPECT_EQ(runWith("QT_QPA_PLATFORM", "bogus", {}), "tallymere: cannot open the display of the platform \"bogus\"\n");
    EXPECT_EQ(runWith("DISPLAY", ":1", {"-platform", "bogus"}),
              "tallymere: cannot open the display of the platform \"bogus\"\n");
    // The screenshot mode opens the display it is given in the same way.
    EXPECT_EQ(runWith("DISPLAY", ":nonexistent", {"--shot-settings", QString::fromStdString(dir / "s.png")}),
              "tallymere: cannot open the display :nonexistent\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "s.png"));
}

TEST(Startup, TheDisplayIsNamedAsTheToolkitWillChooseIt) {
    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")};
    qunsetenv("QT_QPA_PLATFORM");
    qputenv("DISPLAY", ":7");
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(DisplayGuard::describe({"tallymere"}), ":7");
    EXPECT_EQ(DisplayGuard::describe({"tallymere", "--display", ":8", "-display", "host:9"}), "host:9") << "the last one counts";
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    qputenv("WAYLAND_DISPLAY", "wayland-3");
    EXPECT_EQ(DisplayGuard::describe({"tallymere"}), "wayland-3");
    EXPECT_EQ(DisplayGuard::describe({"tallymere", "-platform", "xcb:nograb"}), ":7");
    qunsetenv("DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    EXPECT_EQ(DisplayGuard::describe({"tallymere"}), "wayland-3") << "Wayland alone";
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(DisplayGuard::describe({"tallymere"}), "(DISPLAY is not set)");
    EXPECT_EQ(DisplayGuard::describe({"tallymere", "-platform", "vnc:size=800x600"}), "of the platform \"vnc\"");
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i].isNull()) qunsetenv(names[i]);
        else qputenv(names[i], saved[i]);
    }
}

TEST(Startup, CommandLineComesBeforeTheScreenshotMode) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    dir.file("tree/a.bin", 5000);
    QProcess process;
    process.setProcessEnvironment(withoutDisplay(dir / "config"));
    process.start(binary(), {"--shot-settings", QString::fromStdString(dir / "s.png"), "--scan",
                             QString::fromStdString(dir / "tree")});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().startsWith("scanned "));
    EXPECT_FALSE(std::filesystem::exists(dir / "s.png"));
}

TEST(Startup, RealWindowShowsAndQuitsCleanlyUnderXvfb) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    if (xvfb.isEmpty() || xwininfo.isEmpty())
        GTEST_SKIP() << "xvfb-run or xwininfo (x11-utils) is not installed: the real window is not tried";
    TempFolder dir;
    // Inside the virtual display: start the program, wait until its 1440 by 900 window exists, ask
    // it to end as a session would, and report what happened.
    std::string script = dir / "session.sh";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\n"
               "\"$1\" &\n"
               "pid=$!\n"
               "i=0\n"
               "while [ $i -lt 600 ]; do\n"
               "  if xwininfo -root -tree 2>/dev/null | grep '\"Tallymere\"' | grep -q '1440x900'; then\n"
               "    echo shown; break; fi\n"
               "  i=$((i+1)); sleep 0.1\n"
               "done\n"
               "xwininfo -root -tree | grep -c '\"Settings\"' | sed 's/^/settings windows /'\n"
               "kill -TERM $pid\n"
               "wait $pid\n"
               "echo exit $?\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    QProcess process;
    QProcessEnvironment environment = withoutDisplay(dir / "config");
    environment.insert("HOME", QString::fromStdString(dir.path()));
    process.setProcessEnvironment(environment);
    // The server must not reset when its last client leaves: the polling above connects and leaves
    // while the program may still be starting, and a client that connects during a reset is refused.
    process.start(xvfb, {"-a", "-s", "-screen 0 1600x1000x24 -noreset", QString::fromStdString(script), binary()});
    ASSERT_TRUE(process.waitForFinished(180000));
    QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains("shown\n")) << out.toStdString() << process.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("settings windows 0\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("exit 0\n")) << out.toStdString();
}

TEST(Startup, LaunchStylingUsesTheStoredThemeOrPaper) {
    struct Case {
        QVariant stored;
        ThemeID expected;
    };
    for (const Case& c : {Case{QString("sage"), ThemeID::sage}, Case{QString("Sage"), ThemeID::paper},
                          Case{QVariant(), ThemeID::paper}}) {
        MemoryPreferenceStore preferences;
        if (c.stored.isValid()) preferences.setValue("themeID", c.stored);
        QWidget shown;
        shown.show();
        QWidget later;
        AppDelegate::styleWindowsAfterLaunch(preferences);
        test::spin(20);
        later.show();
        EXPECT_EQ(shown.palette().color(QPalette::Window), Theme::make(c.expected).background);
        EXPECT_TRUE(shown.autoFillBackground());
        // A window opened afterwards keeps the desktop's look.
        EXPECT_FALSE(later.autoFillBackground());
    }
}

TEST(Startup, MainWindowOpensAtItsDefaultSizeAndTerminationClosesIt) {
    AppState state(test::memoryStore());
    MainWindow window(state, new MenuCommands(state, {}));
    EXPECT_EQ(window.size(), QSize(1440, 900));
    EXPECT_GE(window.minimumSizeHint().width(), RootView::minimumWidth);
    EXPECT_EQ(window.menuBar()->actions().size(), 3);
    // The application set-up makes closing the last window end the program, whatever it was.
    QApplication::setQuitOnLastWindowClosed(false);
    TallymereApp::configure(*qApp);
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    EXPECT_EQ(QApplication::applicationName(), "Tallymere");

    // Termination closes the windows as the user would; the real quit is seen under Xvfb above.
    window.show();
    AppDelegate::closeWindowsOnTermination();
    QApplication::setQuitOnLastWindowClosed(false); // keep this test's own application alive
    ::raise(SIGTERM);
    EXPECT_TRUE(test::waitUntil([&] { return !window.isVisible(); }));
}

TEST(MainWindowLook, MenuBarTakesTheThemeAndFollowsItAtOnce) {
    AppState state(test::memoryStore());
    MainWindow window(state, new MenuCommands(state, {}));
    window.show();
    QMenuBar* bar = window.menuBar();
    ASSERT_GT(bar->height(), 0);
    // Right of the last menu title the bar is bare: its ground is the theme's background.
    auto ground = [&] { return bar->grab().toImage().pixelColor(bar->width() - 4, bar->height() / 2); };
    EXPECT_EQ(ground(), Theme::make(ThemeID::paper).background);
    state.setThemeID(ThemeID::slate);
    EXPECT_EQ(ground(), Theme::make(ThemeID::slate).background);
    state.setThemeID(ThemeID::sage);
    EXPECT_EQ(ground(), Theme::make(ThemeID::sage).background);
}

TEST(MainWindowMove, ABackgroundPressMovesTheWindowOnlyOnceThePointerTravels) {
    AppState state(test::memoryStore());
    MainWindow window(state, new MenuCommands(state, {}));
    window.show();
    test::spin(10);
    // A bare stretch of the sidebar below its controls: no control takes a press there.
    const QPoint at(window.centralWidget()->mapTo(&window, QPoint(136, window.centralWidget()->height() - 40)));
    QWidget* target = window.childAt(at);
    ASSERT_NE(target, nullptr);
    auto send = [&](QEvent::Type type, QPointF where, Qt::MouseButtons buttons) {
        const QPointF local = target->mapFrom(&window, where.toPoint());
        QMouseEvent event(type, local, window.mapToGlobal(where), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    // A click without any travel: nothing moves.
    send(QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at, Qt::NoButton);
    EXPECT_EQ(window.moveRequests(), 0);
    // A press and a move shorter than the threshold: still nothing; past it, one move.
    send(QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(QEvent::MouseMove, QPointF(at) + QPointF(2, 1), Qt::LeftButton);
    EXPECT_EQ(window.moveRequests(), 0);
    send(QEvent::MouseMove, QPointF(at) + QPointF(4, 2), Qt::LeftButton);
    EXPECT_EQ(window.moveRequests(), 1);
    send(QEvent::MouseMove, QPointF(at) + QPointF(30, 2), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, QPointF(at) + QPointF(30, 2), Qt::NoButton);
    EXPECT_EQ(window.moveRequests(), 1);
    // A move with no button held after the release starts nothing.
    send(QEvent::MouseMove, QPointF(at) + QPointF(60, 2), Qt::NoButton);
    EXPECT_EQ(window.moveRequests(), 1);
}

namespace {

// Whether the process has its own handler for `signal` yet (the window installs one at start).
bool handles(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("SigCgt:")) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

} // namespace

// The program is told to quit (as the desktop does at log-out: every window closes as if the user
// closed it) while a recent folder lies on a mount that never answers, and the server stays stopped:
// it ends all the same, since nothing of it waits on the mount.
TEST(Startup, QuitEndsTheProgramWhileARecentFolderLiesOnAMountThatNeverAnswers) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    const std::string dead = dir.folder("dead");
    const std::string home = dir.folder("home");
    dir.folder("config/Tallymere");
    std::ofstream(dir / "config/Tallymere/Tallymere.conf") << "[General]\nrecentScanPaths=" << dead << "/photos, " << home << "\n";
    const std::string program = binary().toStdString();
    const bool ran = test::runInPrivateMounts([&] {
        test::DeadFuse fuse(dead);
        if (!fuse.isMounted()) ::_exit(77);
        const pid_t window = ::fork();
        if (window == 0) {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        bool started = false;
        for (int wait = 0; wait < 600 && !started; ++wait) {
            started = handles(window, SIGTERM) && fuse.requests() >= 1;
            if (!started) ::usleep(50 * 1000);
        }
        ASSERT_TRUE(started) << "the window did not start, or never looked for its recent folders";
        ::kill(window, SIGTERM);
        int status = 0;
        bool ended = false;
        for (int wait = 0; wait < 200 && !ended; ++wait) {
            ended = ::waitpid(window, &status, WNOHANG) == window;
            if (!ended) ::usleep(50 * 1000);
        }
        // Otherwise the mount goes down with `fuse`, and the program with it.
        EXPECT_TRUE(ended) << "the program did not end while the mount stayed stopped";
        if (!ended) ::kill(window, SIGKILL);
    });
    if (!ran) GTEST_SKIP() << "no FUSE mount in a private mount namespace here";
}
