#pragma once
#include "services/AppUninstaller.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace tallymere::test {

// A home folder with the desktop's data folders in a temporary folder, pointed at by HOME and the
// XDG variables. Each one is a fresh folder: a test makes its own and may change it freely.
// sources() reads the fake's launchers file by file, because the desktop library caches its view
// of the data folders for the whole process.
//
// It holds a user AppImage ("Widget Studio", ~/Applications), a user program folder ("Acme
// Editor", com.acme.Editor, ~/.local/opt/Acme), a packaged app (org.gnome.Calculator, with an
// AppStream release), a Flatpak-like app (org.mozilla.firefox), a user launcher of a packaged
// program, and hidden and NoDisplay launchers; support items of each, one item two apps claim,
// protected items, orphans on both sides of the size limit and the data of an installed command.
// home() is the real path of the fake home; its system folders (usr/share, etc, etc/xdg) lie
// beside it, and sources() names them, never the machine's.
class FakeAppHome {
public:
    FakeAppHome();

    const std::string& home() const { return m_home; }
    std::string operator/(std::string_view relative) const { return m_home + '/' + std::string(relative); }
    // Sources for discovery on this home, with the environment as it is now; "neovim" is an
    // installed command.
    AppSources sources() const;
    // What sources() gives, as a function that owns what it reads, so that a worker still running
    // after this object has gone reads nothing freed.
    std::function<AppSources()> sourcesFunction() const;
    // Writes a launcher into the user's applications folder.
    void launcher(const std::string& fileName, const std::string& body) const;

private:
    TempFolder m_root;
    std::string m_home;
    std::vector<std::string> m_dataFolders; // user's first: its launchers shadow the others
    std::vector<std::string> m_systemFolders; // the fake's own /usr/share, /etc and /etc/xdg
};

} // namespace tallymere::test
