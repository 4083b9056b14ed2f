// The places the store keeps current: looked at on a worker before each scan, each time the mount
// table changes and when an emptying needs them first, never on the window's thread.
#include "state/AppState.h"

#include "state/AppStateData.h"
#include "platform/MountTable.h"
#include "platform/Places.h"

#include <system_error>
#include <thread>
#include <utility>

namespace tallymere {

const std::shared_ptr<const PlaceRegistry>& AppState::places() const {
    return m->places;
}

void AppState::lookAtPlaces() {
    if (m->placesLooking) {
        m->placesAgain = true;
        return;
    }
    const std::uint64_t look = ++m->placesAsked;
    try {
        // The environment is read here, the thread that may change it; the account homes (a
        // directory service can be slow) and every mount point (one may not answer) on the worker.
        std::thread([this, look, inbox = m->inbox, environment = Places::Sources::environment()] {
            auto places = std::make_shared<const PlaceRegistry>(Places::lookAt(Places::Sources::completed(environment)));
            inbox->post([this, look, places = std::move(places)]() mutable {
                m->placesLooking = false;
                takePlaces(look, std::move(places));
                if (std::exchange(m->placesAgain, false)) lookAtPlaces();
            });
        }).detach();
        m->placesLooking = true;
    } catch (const std::system_error&) {
        // No thread to spare: the places kept stay until the next scan or change of the mounts.
    }
}

void AppState::takePlaces(std::uint64_t look, std::shared_ptr<const PlaceRegistry> places) {
    if (!places || look <= m->placesShown) return;
    m->placesShown = look;
    m->places = std::move(places);
    if (m->move && m->move->waitsForPlaces) {
        m->move->waitsForPlaces = false;
        moveSlice();
    }
}

void AppState::watchMounts() {
    m->mountTable = MountTable::watch();
    if (!m->mountTable) return;
    // The kernel marks a change as an urgent condition (POLLPRI) on the table's descriptor: an
    // event loop waits on it for nothing while nothing is mounted.
    m->mountWatch = std::make_unique<QSocketNotifier>(m->mountTable.get(), QSocketNotifier::Exception);
    connect(m->mountWatch.get(), &QSocketNotifier::activated, this, [this] { lookAtPlaces(); });
}

} // namespace tallymere
