#pragma once
// The Age Map tests' fixed clock and time zone, and a view over a small tree of dated files.
#include "state/AppStateTestSupport.h"
#include "support/DisplayTree.h"
#include "support/TreeText.h"
#include "views/explore/agemap/CalendarView.h"
#include "views/explore/agemap/HeatMapGrid.h"
#include "views/explore/agemap/HeatMapPanel.h"

#include <QApplication>
#include <QMouseEvent>

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tallymere::test::calendar {

// The fixed clock: 2024-06-15 00:00 UTC; months are split in UTC for the test's run.
constexpr long long now = 1718409600;
constexpr long long day = 86400;

struct UtcZone {
    std::string saved;
    bool had;
    UtcZone() : had(std::getenv("TZ") != nullptr) {
        if (had) saved = std::getenv("TZ");
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~UtcZone() {
        if (had)
            ::setenv("TZ", saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
};

inline std::string line(int indent, const std::string& name, long long size, long long mtime) {
    return std::string(static_cast<std::size_t>(indent), ' ') + name + " " + std::to_string(size) +
           " mtime=" + std::to_string(mtime) + "\n";
}

inline const FileNode* find(const FileNode& root, std::string_view name) {
    const FileNode* found = nullptr;
    root.walk([&](const FileNode& node) {
        if (node.name() == name) found = &node;
        return !found;
    });
    return found;
}

struct Fixture {
    UtcZone zone;
    AppState state{test::memoryStore()};
    AppState::NodePtr tree =
        test::treeFromText("/data/\n" + line(2, "a.mov", 500, 1710028800) +                        // 2024-03-10
                           line(2, "b.mov", 300, 1710028800 + 5 * day) +                           // 2024-03-15
                           line(2, "c.txt", 40, 1672876800) +                                      // 2023-01-05
                           "  old/\n" + line(4, "big.iso", 50'000'000, now - 800 * day) +          // 2022-04-07
                           line(2, "older.dmg", 60'000'000, now - 900 * day) +                     // 2021-12-28
                           "  Tool.app/ package mtime=" + std::to_string(now - 400 * day) + "\n" + // 2023-05-12
                           line(4, "inner.bin", 45'000'000, now) + "  empty/\n");
    CalendarView view{state};

    Fixture() {
        view.setClock([] { return double(now); });
        test::display(state, tree);
        view.resize(1100, 700);
        view.show();
        test::settleLayouts();
    }

    QImage image() { return view.grab().toImage(); }
    HeatMapGrid& grid() { return *view.heatMapPanel()->grid(); }
    QPoint inView(const QWidget& widget, QPointF point) { return widget.mapTo(&view, point.toPoint()); }
    void move(QWidget& widget, QPointF at) {
        QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    }
    void click(QWidget& widget, QPointF at) {
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&widget, &event);
        }
    }
    std::vector<std::string> queued() const {
        std::vector<std::string> names;
        for (const auto& node : state.queue()) names.emplace_back(node->name());
        return names;
    }
};

} // namespace tallymere::test::calendar
