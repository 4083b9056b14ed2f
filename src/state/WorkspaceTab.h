#pragma once
#include <array>
#include <optional>
#include <string_view>

namespace tallymere {

// The tab the workspace shows, in the order of the top bar's tab rail. Not persisted.
enum class WorkspaceTab { explore, duplicates, apps, monitor, snapshots };

namespace WorkspaceTabs {

inline constexpr std::array<WorkspaceTab, 5> all = {WorkspaceTab::explore, WorkspaceTab::duplicates,
                                                    WorkspaceTab::apps, WorkspaceTab::monitor,
                                                    WorkspaceTab::snapshots};

constexpr std::string_view rawValue(WorkspaceTab tab) {
    switch (tab) {
    case WorkspaceTab::explore: return "explore";
    case WorkspaceTab::duplicates: return "duplicates";
    case WorkspaceTab::apps: return "apps";
    case WorkspaceTab::monitor: return "monitor";
    case WorkspaceTab::snapshots: return "snapshots";
    }
    return "explore";
}

// The tab rail's label.
constexpr std::string_view title(WorkspaceTab tab) {
    switch (tab) {
    case WorkspaceTab::explore: return "Explore";
    case WorkspaceTab::duplicates: return "Duplicates";
    case WorkspaceTab::apps: return "Applications";
    case WorkspaceTab::monitor: return "Monitor";
    case WorkspaceTab::snapshots: return "Snapshots";
    }
    return "Explore";
}

// The symbol name the views resolve to an icon glyph.
constexpr std::string_view symbol(WorkspaceTab tab) {
    switch (tab) {
    case WorkspaceTab::explore: return "square.grid.2x2";
    case WorkspaceTab::duplicates: return "doc.on.doc";
    case WorkspaceTab::apps: return "app.badge";
    case WorkspaceTab::monitor: return "waveform.path.ecg";
    case WorkspaceTab::snapshots: return "clock.arrow.2.circlepath";
    }
    return "square.grid.2x2";
}

// Exact, case-sensitive match of a raw value; anything else gives none.
constexpr std::optional<WorkspaceTab> fromRaw(std::string_view raw) {
    for (WorkspaceTab tab : all)
        if (rawValue(tab) == raw) return tab;
    return std::nullopt;
}

} // namespace WorkspaceTabs

} // namespace tallymere
