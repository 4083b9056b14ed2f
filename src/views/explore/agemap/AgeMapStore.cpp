#include "views/explore/agemap/AgeMapStore.h"
#include "views/explore/agemap/AgeMapStoreSeam.h"

#include "layout/MonthCalendar.h"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tallymere::AgeMapStore {

namespace {

// What the local time zone is made of: the TZ variable and the system's zone file.
std::string zoneKey() {
    const char* tz = std::getenv("TZ");
    std::string key = tz ? std::string("TZ=") + tz : std::string("-");
    struct stat info {};
    if (::stat("/etc/localtime", &info) == 0)
        key += ' ' + std::to_string(info.st_ino) + ' ' + std::to_string(info.st_size) + ' ' +
               std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec);
    return key;
}

// A local month table and which one it is: `generation` tells one table from the one made after it.
// Shared, so that a walk on the prefetching thread keeps the table it started with.
struct Calendar {
    std::shared_ptr<const MonthCalendar> table;
    std::uint64_t generation = 0;
};

// The local month table takes some 1,300 time-zone conversions to make, several milliseconds on
// every rebuild; the zone seldom changes while the program runs, so the table is made again only
// when it has.
Calendar localCalendar() {
    static Calendar calendar;
    static std::string zone;
    std::string key = zoneKey();
    if (!calendar.table || key != zone) {
        calendar = {std::make_shared<const MonthCalendar>(MonthCalendar::local()), calendar.generation + 1};
        zone = std::move(key);
    }
    return calendar;
}

struct KeptMap {
    std::weak_ptr<const FileNode> node;
    bool useAllocated = false;
    std::uint64_t calendar = 0;
    double madeAt = 0;
    AgeMapModel::AgeMap map;
};

// A second's margin before the map's own bound keeps clear of rounding in the age arithmetic.
constexpr double steadyMargin = 1;

bool fits(const KeptMap& entry, const FileNode* shown, bool useAllocated, std::uint64_t calendar, double now) {
    return entry.node.lock().get() == shown && entry.useAllocated == useAllocated && entry.calendar == calendar &&
           now >= entry.madeAt && now < entry.map.steadyUntil - steadyMargin;
}

// The maps shown last, most recently used first: switching back to the Age Map, or going back up
// to a folder just shown, shows the same folder again.
std::deque<KeptMap>& keptMaps() {
    static std::deque<KeptMap> kept;
    return kept;
}

constexpr std::size_t keptLimit = 8;

// Which folders are walked ahead: those of at least prefetchFiles files (a smaller walk costs the
// window's thread well under a tenth of a millisecond), the largest first, at most prefetchFolders
// of them and prefetchBudget files in all (a few tens of milliseconds of one idle processor).
constexpr std::int32_t prefetchFiles = 1'000;
constexpr std::size_t prefetchFolders = 96;
constexpr std::int64_t prefetchBudget = 2'000'000;
// Maps made ahead and not yet asked for; a map is some kilobytes (its months with files and at
// most maxStale nodes).
constexpr std::size_t prefetchedLimit = 128;

// One thread that walks the folders asked for, one after another, at idle priority: it takes
// only processor time nothing else wants, so it never slows the frames it works ahead of.
class Prefetcher {
public:
    ~Prefetcher() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    // Lets go of every folder not yet begun and every map made ahead, and stops the walk under
    // way, whose map is dropped: the tree they belong to is going.
    void forget() {
        std::vector<AppState::NodePtr> queued;
        {
            std::lock_guard lock(m_mutex);
            queued.swap(m_queue);
            m_done.clear();
            m_abandon = true;
            if (!m_busy) m_idle.notify_all();
            // At idle priority the walk under way could wait for the processors the whole new scan
            // keeps busy before it even sees that it should stop, holding the old tree meanwhile:
            // it runs at normal priority until it has stopped.
            if (m_busy && !m_hurried) {
                sched_param normal{};
                m_hurried = pthread_setschedparam(m_thread.native_handle(), SCHED_OTHER, &normal) == 0;
            }
        }
        // The last holder of a tree frees it outside the lock.
    }

    // Holds the thread before its next folder while set, for tests.
    void pause(bool paused) {
        {
            std::lock_guard lock(m_mutex);
            m_paused = paused;
        }
        m_wake.notify_all();
    }

    // Replaces the folders not yet begun by `nodes`, skipping those made ahead already.
    void ask(std::vector<AppState::NodePtr> nodes, bool useAllocated, double now, const Calendar& calendar) {
        std::lock_guard lock(m_mutex);
        std::erase_if(nodes, [&](const AppState::NodePtr& node) {
            return std::any_of(m_done.begin(), m_done.end(), [&](const KeptMap& entry) {
                return fits(entry, node.get(), useAllocated, calendar.generation, now);
            });
        });
        m_queue = std::move(nodes);
        m_useAllocated = useAllocated;
        m_now = now;
        m_calendar = calendar;
        if (!m_thread.joinable() && !m_queue.empty()) m_thread = std::thread([this] { run(); });
        m_wake.notify_all();
        if (m_queue.empty() && !m_busy) m_idle.notify_all();
    }

    // The map of `shown` made ahead, handed over; none when it was not made (or not yet).
    std::optional<AgeMapModel::AgeMap> take(const FileNode* shown, bool useAllocated, std::uint64_t calendar,
                                            double now) {
        std::lock_guard lock(m_mutex);
        for (auto entry = m_done.begin(); entry != m_done.end(); ++entry) {
            if (!fits(*entry, shown, useAllocated, calendar, now)) continue;
            AgeMapModel::AgeMap map = std::move(entry->map);
            m_done.erase(entry);
            return map;
        }
        return std::nullopt;
    }

    void wait() {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    }

private:
    void run() {
        sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || (!m_paused && !m_queue.empty()); });
            if (m_stop) return;
            AppState::NodePtr node = std::move(m_queue.front());
            m_queue.erase(m_queue.begin());
            const bool useAllocated = m_useAllocated;
            const double now = m_now;
            const Calendar calendar = m_calendar;
            m_busy = true;
            m_abandon = false;
            if (m_hurried) {
                sched_param idle{};
                pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
                m_hurried = false;
            }
            lock.unlock();
            AgeMapModel::Options options{useAllocated, now, 1};
            options.stop = &m_abandon;
            AgeMapModel::AgeMap map = AgeMapModel::build(*node, options, *calendar.table);
            lock.lock();
            // Maps of trees that are gone go with them.
            std::erase_if(m_done, [](const KeptMap& entry) { return entry.node.expired(); });
            if (!m_abandon) m_done.push_front({node, useAllocated, calendar.generation, now, std::move(map)});
            if (m_done.size() > prefetchedLimit) m_done.pop_back();
            m_busy = false;
            lock.unlock();
            node.reset(); // the last holder of a tree frees it outside the lock
            lock.lock();
            if (m_queue.empty()) m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::vector<AppState::NodePtr> m_queue; // next first
    bool m_useAllocated = false;
    double m_now = 0;
    Calendar m_calendar;
    bool m_busy = false;
    bool m_stop = false;
    bool m_paused = false;
    bool m_hurried = false; // the thread runs at normal priority to stop a walk sooner
    // Set by forget(): the walk under way ends early and its map is dropped.
    std::atomic<bool> m_abandon{false};
    std::deque<KeptMap> m_done; // newest first
    std::thread m_thread;
};

Prefetcher& prefetcher() {
    static Prefetcher instance;
    return instance;
}

int walks = 0;

bool isDescended(const FileNode& node) { return node.hasChildList() && !node.isPackage; }

bool isKept(const FileNode* node, bool useAllocated, std::uint64_t calendar, double now) {
    const std::deque<KeptMap>& kept = keptMaps();
    return std::any_of(kept.begin(), kept.end(),
                       [&](const KeptMap& entry) { return fits(entry, node, useAllocated, calendar, now); });
}

} // namespace

AgeMapModel::AgeMap mapOf(const AppState::NodePtr& shown, bool useAllocated, double now) {
    const Calendar calendar = localCalendar();
    std::deque<KeptMap>& kept = keptMaps();
    // Maps of trees that are gone go with them.
    std::erase_if(kept, [](const KeptMap& entry) { return entry.node.expired(); });
    auto remember = [&](AgeMapModel::AgeMap map) -> const AgeMapModel::AgeMap& {
        kept.push_front({shown, useAllocated, calendar.generation, now, std::move(map)});
        if (kept.size() > keptLimit) kept.pop_back();
        return kept.front().map;
    };
    for (auto entry = kept.begin(); entry != kept.end(); ++entry) {
        if (!fits(*entry, shown.get(), useAllocated, calendar.generation, now)) continue;
        KeptMap found = std::move(*entry);
        kept.erase(entry);
        kept.push_front(std::move(found));
        return kept.front().map;
    }
    std::optional<AgeMapModel::AgeMap> ahead = prefetcher().take(shown.get(), useAllocated, calendar.generation, now);
    if (ahead) return remember(std::move(*ahead));
    ++walks;
    return remember(AgeMapModel::build(*shown, {useAllocated, now}, *calendar.table));
}

void prefetchAround(const AppState::NodePtr& shown, bool useAllocated, double now) {
    if (!shown) return;
    const Calendar calendar = localCalendar();
    std::vector<const FileNode*> folders;
    for (const FileNode* child : shown->children())
        if (isDescended(*child) && child->fileCount >= prefetchFiles) folders.push_back(child);
    std::stable_sort(folders.begin(), folders.end(),
                     [](const FileNode* a, const FileNode* b) { return a->fileCount > b->fileCount; });
    // Going back up is as likely as going in: the parent comes first.
    if (const FileNode* parent = shown->parent; parent && parent->fileCount >= prefetchFiles)
        folders.insert(folders.begin(), parent);
    std::vector<AppState::NodePtr> nodes;
    std::int64_t files = 0;
    for (const FileNode* folder : folders) {
        if (nodes.size() >= prefetchFolders || files + folder->fileCount > prefetchBudget) break;
        if (isKept(folder, useAllocated, calendar.generation, now)) continue;
        files += folder->fileCount;
        nodes.emplace_back(shown, const_cast<FileNode*>(folder));
    }
    prefetcher().ask(std::move(nodes), useAllocated, now, calendar);
}

void prefetchShown(const AppState::NodePtr& shown, bool useAllocated, double now) {
    if (!shown || !isDescended(*shown) || shown->fileCount < prefetchFiles) return;
    const Calendar calendar = localCalendar();
    if (isKept(shown.get(), useAllocated, calendar.generation, now)) return;
    prefetcher().ask({shown}, useAllocated, now, calendar);
}

void forget() {
    keptMaps().clear();
    prefetcher().forget();
}

void waitForPrefetch() { prefetcher().wait(); }

void pausePrefetch(bool paused) { prefetcher().pause(paused); }

int walksHere() { return walks; }

} // namespace tallymere::AgeMapStore
