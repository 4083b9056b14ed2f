#include "views/tools/monitor/MonitorText.h"

#include "style/DisplayText.h"
#include "views/components/TextDraw.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tallymere::MonitorText {

QColor textColor(const Theme& theme) { return theme.text; }
QColor secondaryColor(const Theme& theme) { return theme.textSecondary; }
QColor tertiaryColor(const Theme& theme) { return theme.textTertiary; }
QColor accentSecondaryColor(const Theme& theme) { return theme.accentSecondary; }
QColor dangerColor(const Theme& theme) { return theme.danger; }
QColor warningColor(const Theme& theme) { return theme.warning; }
QColor successColor(const Theme& theme) { return theme.success; }
QColor memoryColor(const Theme& theme) { return theme.ramp[4]; }

namespace {

// Bytes from a rate or size that may be fractional, negative or not finite.
std::int64_t wholeBytes(double value) {
    if (!std::isfinite(value) || value <= 0) return 0;
    if (value >= 9.2e18) return INT64_MAX;
    return std::int64_t(value); // truncated, never rounded up
}

} // namespace

QString fixed(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return QStringLiteral("0");
    QString text = QString::fromLatin1(buffer, int(end - buffer));
    // "-0.0" for a tiny negative value reads as a fault; it is zero.
    if (text.startsWith('-') && std::all_of(text.begin() + 1, text.end(), [](QChar c) { return c == '0' || c == '.'; }))
        text.remove(0, 1);
    return text;
}

QString percent(double share) { return fixed(share * 100, 1) + '%'; }

QString rate(double bytesPerSecond) { return DisplayText::sizeText(wholeBytes(bytesPerSecond)) + QStringLiteral("/s"); }

QString memoryHeadline(double bytes) { return DisplayText::sizeText(wholeBytes(std::round(bytes))); }

QString networkHeadline(double bytesPerSecond) { return rate(bytesPerSecond) + QStringLiteral(" \u2193"); }

QString freeText(double bytes) { return DisplayText::sizeText(wholeBytes(std::round(bytes))) + QStringLiteral(" free"); }

Card cpu(const MonitorFigures& f) {
    const double load = f.loadAverage.empty() ? 0.0 : f.loadAverage[0];
    return Card{.headline = percent(f.cpuUsage),
                .headlineValue = f.cpuUsage,
                .headlineFormat = percent,
                .tint = f.cpuUsage > 0.8 ? dangerColor : textColor,
                .stats = {Stat{QStringLiteral("User"), percent(f.cpuUser), accentSecondaryColor},
                          Stat{QStringLiteral("System"), percent(f.cpuSystem), accentSecondaryColor},
                          Stat{QStringLiteral("Load"), fixed(load, 2), secondaryColor}}};
}

Card memory(const MonitorFigures& f) {
    return Card{.headline = memoryHeadline(double(f.memoryUsed)),
                .headlineValue = double(f.memoryUsed),
                .headlineFormat = memoryHeadline,
                .tint = f.memoryPressure > 0.75 ? warningColor : textColor,
                .stats = {Stat{QStringLiteral("Wired"), DisplayText::sizeText(f.memoryWired), dangerColor},
                          Stat{QStringLiteral("Compressed"), DisplayText::sizeText(f.memoryCompressed), warningColor},
                          Stat{QStringLiteral("Total"), DisplayText::sizeText(f.memoryTotal), secondaryColor}}};
}

Card network(const MonitorFigures& f) {
    return Card{.headline = networkHeadline(f.netIn),
                .headlineValue = f.netIn,
                .headlineFormat = networkHeadline,
                .tint = textColor,
                .stats = {Stat{QStringLiteral("Down"), rate(f.netIn), successColor},
                          Stat{QStringLiteral("Up"), rate(f.netOut), warningColor},
                          Stat{QStringLiteral("Session in"), DisplayText::sizeText(f.netInTotal), secondaryColor}}};
}

QString storageHeadline(const std::vector<VolumeInfo>& volumes) {
    if (volumes.empty()) return QStringLiteral("\u2014");
    return freeText(double(volumes.front().available));
}

StorageRow storageRow(const VolumeInfo& volume) {
    // The difference is taken in 128 bits, so extreme values from a damaged file system cannot wrap.
    const __int128 difference = __int128(volume.total) - __int128(volume.available);
    const std::int64_t used = difference <= 0 ? 0 : difference > INT64_MAX ? INT64_MAX : std::int64_t(difference);
    const double fraction = volume.total >= 1 ? double(used) / double(volume.total) : 0.0;
    return StorageRow{.name = TextDraw::oneLine(volume.name),
                      .usage = DisplayText::sizeText(used) + QStringLiteral(" / ") + DisplayText::sizeText(volume.total),
                      .fraction = fraction,
                      .isNearlyFull = fraction > 0.9};
}

ProcessRow processRow(const ProcessSample& process) {
    return ProcessRow{.name = TextDraw::oneLine(process.name),
                      .pid = QString::number(process.pid),
                      .cpu = percent(process.cpu),
                      .memory = DisplayText::sizeText(process.residentBytes),
                      .isBusy = process.cpu > 0.5};
}

QString shownNote(std::size_t rows) { return QString::number(qulonglong(rows)) + QStringLiteral(" shown"); }

} // namespace tallymere::MonitorText
