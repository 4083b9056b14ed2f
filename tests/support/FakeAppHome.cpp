#include "support/FakeAppHome.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace tallymere::test {

namespace {

void write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

std::string entry(const std::string& name, const std::string& exec, const std::string& extra = {}) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
}

} // namespace

FakeAppHome::FakeAppHome() : m_root("tallymere-apps"), m_home(std::filesystem::canonical(m_root.folder("home")).string()) {
    const std::string systemData = m_root.folder("usr/share");
    const std::string flatpakData = m_root / "flatpak/exports/share";
    m_dataFolders = {m_home + "/.local/share", systemData, flatpakData};
    m_systemFolders = {systemData, flatpakData, m_root.folder("etc/xdg"), m_root / "etc"};
    ::setenv("HOME", m_home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_home + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (m_home + "/.cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_home + "/.local/state").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (systemData + ":" + flatpakData).c_str(), 1);

    // A user AppImage, and a program folder with a reverse-DNS launcher.
    const std::string appImage = m_root.file("home/Applications/Widget-1.2.AppImage", 100'000);
    ::chmod(appImage.c_str(), 0755);
    launcher("appimagekit-widget.desktop",
             entry("Widget Studio", "\"" + appImage + "\" %U", "Icon=widget\nX-AppImage-Version=1.2\n"));
    const std::string acme = m_root.file("home/.local/opt/Acme/acme", 50'000);
    ::chmod(acme.c_str(), 0755);
    m_root.file("home/.local/opt/Acme/resources/data.bin", 200'000);
    launcher("com.acme.Editor.desktop", entry("Acme Editor", acme + " %F", "Icon=accessories-text-editor\n"));
    // A user launcher of a program outside the home, and launchers never shown.
    launcher("envtool.desktop", entry("Env Tool", "/usr/bin/env"));
    launcher("ghost.desktop", entry("Ghost Thing", acme, "NoDisplay=true\n"));
    launcher("gone.desktop", entry("Gone Thing", acme, "Hidden=true\n"));

    // A packaged app with an AppStream release, and a Flatpak export.
    write(systemData + "/applications/org.gnome.Calculator.desktop", entry("Calculator", "true"));
    write(systemData + "/metainfo/org.gnome.Calculator.metainfo.xml",
          "<component><releases>\n<release version=\"44.1\" date=\"2023-05-01\"/>\n"
          "<release version=\"44.0\"/></releases></component>\n");
    write(flatpakData + "/applications/org.mozilla.firefox.desktop",
          entry("Firefox", "/bin/sh -c \"exec flatpak run org.mozilla.firefox\""));

    // Leftovers: by identifier, by identifier word, by exact name.
    m_root.file("home/.cache/com.acme.Editor/cache.bin", 300'000);
    m_root.file("home/.config/com.acme.Editor.conf", 1'000);
    m_root.file("home/.config/Widget Studio/settings.json", 5'000);
    m_root.file("home/.cache/org.gnome.Calculator/x", 10'000);
    m_root.file("home/.var/app/org.mozilla.firefox/data", 40'000);
    // Claimed by Acme Editor (identifier, 13 letters) and by Calculator (identifier word with
    // "com", 10 letters): Acme Editor's, the longer match.
    m_root.file("home/.local/share/com.acme.editor-calculator/x", 20'000);
    // Protected, though their names point at an app.
    m_root.file("home/.cache/com.acme.Editor.mail/x", 3'000'000);
    m_root.file("home/.config/dconf/user", 3'000'000);
    m_root.file("home/.local/share/Trash/files/old", 3'000'000);
    // Orphans and near misses.
    m_root.file("home/.cache/com.old.tool", 12'345'678);
    m_root.file("home/.cache/exactly-two", 2'000'000);
    m_root.file("home/.config/net.small.app", 1'000'000);
    m_root.file("home/.config/neovim/big", 3'000'000);
    m_root.file("home/.local/state/removedgame/save", 2'500'000);
}

void FakeAppHome::launcher(const std::string& fileName, const std::string& body) const {
    write(m_home + "/.local/share/applications/" + fileName, body);
}

AppSources FakeAppHome::sources() const { return sourcesFunction()(); }

std::function<AppSources()> FakeAppHome::sourcesFunction() const {
    return [folders = m_dataFolders, system = m_systemFolders] {
        AppSources sources = AppSources::system();
        sources.systemFolders = system;
        // The launchers of this home's data folders, the first folder's ID winning, as the desktop
        // lists them, read afresh on every call.
        sources.entries = [folders] {
            std::vector<DesktopEntry> entries;
            std::set<std::string> ids;
            for (const std::string& data : folders) {
                const std::filesystem::path launchers = data + "/applications";
                std::error_code error;
                std::vector<std::filesystem::path> files;
                for (const auto& item : std::filesystem::directory_iterator(launchers, error))
                    if (item.path().extension() == ".desktop") files.push_back(item.path());
                std::sort(files.begin(), files.end());
                for (const auto& file : files)
                    if (ids.insert(file.filename().string()).second)
                        if (auto entry = DesktopEntries::read(file.string(), file.filename().string()))
                            entries.push_back(std::move(*entry));
            }
            return entries;
        };
        sources.installedNames = [] { return std::vector<std::string>{"neovim", "bash"}; };
        return sources;
    };
}

} // namespace tallymere::test
