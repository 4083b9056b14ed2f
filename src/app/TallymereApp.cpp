#include "app/TallymereApp.h"

#include "app/AppDelegate.h"
#include "app/AppIcon.h"
#include "app/DisplayGuard.h"
#include "state/AppState.h"
#include "desktop/FolderDialog.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "platform/HeapPolicy.h"
#include "state/PreferenceStore.h"
#include "style/Typography.h"
#include "desktop/DesktopServices.h"
#include "views/shell/preview/PreviewWindow.h"
#include "views/settings/PreferencesView.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tallymere::TallymereApp {

void configure(QApplication& application) {
    QApplication::setOrganizationName(QStringLiteral("Tallymere"));
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    // The desktop matches the windows to the installed entry (tallymere.desktop) and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tallymere"));
    QApplication::setWindowIcon(AppIcon::make());
    QApplication::setQuitOnLastWindowClosed(true);
    AppDelegate::applyLightAppearance(application);
    Typography::bootstrap();
}

void prepareProcess() {
    // The window lives long and scans again and again: what each scan frees goes back.
    HeapPolicy::returnLargeBlocks();
}

int run(int& argc, char** argv) {
    // Without a display the toolkit would abort; say what is missing instead.
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (!isSet("QT_QPA_PLATFORM") && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        std::fputs("tallymere: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "--scan, --snapshot and --shot need none\n",
                   stderr);
        return 1;
    }
    prepareProcess();
    // A display that cannot be opened ends the process here with one line and status 1.
    const std::unique_ptr<QApplication> application = DisplayGuard::makeApplication(argc, argv);
    configure(*application);
    AppDelegate::closeWindowsOnTermination();

    DesktopServices desktop;
    desktop.setPreview(QuickLook::preview);
    auto preferences = std::make_shared<SettingsPreferenceStore>();
    AppState state(preferences);
    state.setFolderChooser(FolderDialog::choose);
    state.setDesktop(&desktop);

    MenuCommands::Services services;
    services.desktop = &desktop;
    // Made with the main window below, whose own window it is.
    PreferencesView* settings = nullptr;
    services.showSettings = [&settings] {
        settings->show();
        settings->raise();
        settings->activateWindow();
    };
    services.quit = [] { QCoreApplication::quit(); };
    MainWindow window(state, new MenuCommands(state, std::move(services)));
    // The Settings window edits the same store; it opens from the menu, not at launch. Both it and
    // the preview belong to the main window: the window manager keeps them above it, over its centre.
    settings = new PreferencesView(state, &window);
    settings->setWindowFlags(settings->windowFlags() | Qt::Dialog);
    settings->setWindowTitle(QStringLiteral("Settings"));
    QuickLook::setHost(&window);
    window.show();
    window.activateWindow();
    AppDelegate::styleWindowsAfterLaunch(*preferences);
    return application->exec();
}

} // namespace tallymere::TallymereApp
