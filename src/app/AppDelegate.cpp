#include "app/AppDelegate.h"

#include "state/PreferenceStore.h"
#include "style/Theme.h"

#include <QApplication>
#include <QPalette>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tallymere::AppDelegate {

namespace {

// Write end of the pipe the signal handler wakes the event loop through.
int terminationPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    char byte = 1;
    // Only async-signal-safe work here; a full pipe already holds a wake-up.
    [[maybe_unused]] ssize_t ignored = ::write(terminationPipe[1], &byte, 1);
}

} // namespace

void applyLightAppearance(QApplication& application) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(style);
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void styleWindowsAfterLaunch(const PreferenceStore& preferences) {
    QTimer::singleShot(0, qApp, [&preferences] {
        QVariant stored = preferences.value(QStringLiteral("themeID"));
        std::optional<ThemeID> id;
        if (stored.typeId() == QMetaType::QString) id = ThemeIDs::fromRaw(stored.toString().toStdString());
        const QColor background = Theme::make(id.value_or(ThemeID::paper)).background;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isWindow() || !window->isVisible()) continue;
            QPalette palette = window->palette();
            palette.setColor(QPalette::Window, background);
            window->setPalette(palette);
            window->setAutoFillBackground(true);
        }
    });
}

void closeWindowsOnTermination() {
    if (terminationPipe[0] >= 0) return;
    if (::pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        while (::read(terminationPipe[0], buffer, sizeof buffer) > 0) {
        }
        QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

} // namespace tallymere::AppDelegate
