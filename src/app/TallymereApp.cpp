#include "app/TallymereApp.h"

#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "app/MenuCommands.h"
#include "app/PreferenceStore.h"
#include "app/Typography.h"
#include "platform/gui/DesktopServices.h"
#include "views/PreferencesView.h"

#include <QApplication>

#include <memory>

namespace tallymere::TallymereApp {

int run(int& argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tallymere"));
    QApplication::setApplicationName(QStringLiteral("Tallymere"));
    QApplication::setQuitOnLastWindowClosed(true);
    AppDelegate::applyLightAppearance(application);
    Typography::bootstrap();
    AppDelegate::closeWindowsOnTermination();

    auto preferences = std::make_shared<SettingsPreferenceStore>();
    AppState state(preferences);
    DesktopServices desktop;

    // The Settings window edits the same store; it opens from the menu, not at launch.
    PreferencesView settings(state);
    settings.setWindowTitle(QStringLiteral("Settings"));

    MenuCommands::Services services;
    services.desktop = &desktop;
    services.showSettings = [&settings] {
        settings.show();
        settings.raise();
        settings.activateWindow();
    };
    services.quit = [] { QCoreApplication::quit(); };
    MainWindow window(state, new MenuCommands(state, std::move(services)));
    window.show();
    window.activateWindow();
    AppDelegate::styleWindowsAfterLaunch(*preferences);
    return application.exec();
}

} // namespace tallymere::TallymereApp
