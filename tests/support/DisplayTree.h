#pragma once
// Putting a tree built from text on display, for view tests: the store only lets its focus,
// selection and hover name nodes of the tree it shows.
#include "state/AppState.h"
#include "core/ScanProgress.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

namespace tallymere::test {

// Shows `tree` as if a scan of it had just finished: it becomes the scanned and displayed tree
// (filtered by the store's filter, if one is set) and its top the focus. Null is a scan that read
// nothing: no tree on display, and the store's error banner. Runs the event loop until the result
// has arrived.
inline void display(AppState& state, const AppState::NodePtr& tree) {
    state.setScanner([tree](std::string_view, const ScanOptions&, ScanProgress&) { return tree; });
    state.scan(ScanTarget::folder(tree ? tree->path() : std::string("/nothing-on-display")));
    const QDeadlineTimer limit(60000);
    while ((state.isScanning() || state.isFiltering()) && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    state.setScanner({});
}

} // namespace tallymere::test
