#pragma once
#include "services/AppUninstaller.h"
#include "state/AppState.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tallymere::AppsText {

// How many orphans the list shows.
inline constexpr std::size_t maxOrphans = 40;

// The apps shown for a search: system apps only when asked for, and only names that contain the
// query ignoring case (the query as typed; empty shows all). Stored order.
std::vector<const InstalledApp*> filtered(const std::vector<InstalledApp>& apps, const QString& query, bool showSystem);

std::int64_t leftoverTotal(const InstalledApp& app);
// Bundle plus leftovers.
std::int64_t footprintTotal(const InstalledApp& app);
std::int64_t sizeOf(const std::vector<LeftoverItem>& items);

// A name or path's last component as one line of plain text.
QString leafText(const std::string& path);

// The row's second line: "+1.20 MB leftovers" when the app leaves bytes behind, else "v1.2".
QString rowCaption(const InstalledApp& app);

// The uninstall confirmation.
struct Confirmation {
    QString title;   // "Uninstall Widget?"
    QString action;  // "Move 3 items to Trash"
    QString message; // "Removes the app and 2 support files, freeing ... Everything goes to the Trash.": the
                     // action's items but the app, its launcher among them
    QStringList paths; // every path the uninstall hands to the Trash, in order, one line each
};
Confirmation confirmation(const InstalledApp& app);

// The banner after an uninstall: success when everything moved, a warning naming the first
// failure otherwise (a distinct one when the app itself stayed).
AppState::Banner uninstallBanner(const InstalledApp& app, const AppUninstaller::Removal& result);
// The banner after moving one orphan: success; a warning saying it is not the app's own when the
// check refused it; else a warning with the system's message.
AppState::Banner orphanBanner(const LeftoverItem& item, const AppUninstaller::Removal& result);

} // namespace tallymere::AppsText
