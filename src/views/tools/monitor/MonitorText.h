#pragma once
#include "core/DiskInfo.h"
#include "services/SystemMonitor.h"
#include "style/Theme.h"

#include <QColor>
#include <QString>

#include <array>
#include <vector>

namespace tallymere::MonitorText {

// A colour chosen by role, resolved against the theme when drawn, so a theme change needs no
// new texts.
using ColorPick = QColor (*)(const Theme&);
QColor textColor(const Theme& theme);
QColor secondaryColor(const Theme& theme);
QColor tertiaryColor(const Theme& theme);
QColor accentSecondaryColor(const Theme& theme);
QColor dangerColor(const Theme& theme);
QColor warningColor(const Theme& theme);
QColor successColor(const Theme& theme);
QColor memoryColor(const Theme& theme); // the fifth ramp colour

// How many storage and process rows the cards show.
inline constexpr std::size_t maxVolumes = 4;
inline constexpr std::size_t maxProcessRows = 18;

// A number with a fixed count of decimals and "." as decimal mark, whatever the locale; a value
// that is not finite prints as 0.
QString fixed(double value, int decimals);
// A share (0.1234) as a percentage with one decimal ("12.3%").
QString percent(double share);
// A rate in bytes per second, cut to whole bytes, as "1.50 MB/s".
QString rate(double bytesPerSecond);

struct Stat {
    QString label;
    QString value;
    ColorPick color = textColor;
};

// How a card writes its headline's figure; the card counts between two figures through it.
using Format = QString (*)(double);
QString memoryHeadline(double bytes);         // "6.00 GB"
QString networkHeadline(double bytesPerSecond); // "1.50 MB/s ↓"
QString freeText(double bytes);              // "52.4 GB free"

// What a live card shows: its headline (the figure and how it is written, and the text that gives),
// the headline's and icon's tint, and its three figures.
struct Card {
    QString headline;
    double headlineValue = 0;
    Format headlineFormat = nullptr;
    ColorPick tint = textColor;
    std::array<Stat, 3> stats;
};

Card cpu(const MonitorFigures& figures);
Card memory(const MonitorFigures& figures);
Card network(const MonitorFigures& figures);

// The storage card's headline: the first volume's free space ("52.4 GB free"), "—" without any.
QString storageHeadline(const std::vector<VolumeInfo>& volumes);

struct StorageRow {
    QString name;
    QString usage;        // "used / total"
    double fraction = 0;  // used / total, 0 for a volume without capacity
    bool isNearlyFull = false; // more than 90 % used: the bar turns to danger
};
StorageRow storageRow(const VolumeInfo& volume);

struct ProcessRow {
    QString name;
    QString pid;
    QString cpu;
    QString memory;
    bool isBusy = false; // more than half a core: the share turns to warning
};
ProcessRow processRow(const ProcessSample& process);

// The process card's note: "18 shown".
QString shownNote(std::size_t rows);

} // namespace tallymere::MonitorText
