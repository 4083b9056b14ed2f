#include "views/shell/inspector/InspectorModel.h"

#include "base/PathText.h"
#include "core/ByteFormat.h"
#include "views/components/TextDraw.h"

#include <QLocale>

#include <algorithm>
#include <charconv>

namespace tallymere::InspectorModel {

namespace {

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QString bytesText(std::int64_t bytes) { return text(ByteFormat::unbroken(bytes, false)); }

// Grouped as the desktop's locale groups numbers.
QString countText(std::int64_t n) { return QLocale::system().toString(static_cast<qlonglong>(n)); }

// One decimal with "." in every locale.
QString percentText(double percent) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, 1);
    return text(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer))) + QLatin1Char('%');
}

} // namespace

bool isEvicted(const FileNode& node) {
    return !node.isDirectory && !node.isSymlink && node.size >= 1 && node.allocated == 0;
}

QString displayName(const FileNode& node, std::string_view home) {
    if (node.parent) return TextDraw::oneLine(node.name());
    const std::string path = node.path();
    if (path == "/") return QStringLiteral("Macintosh HD");
    if (!home.empty() && path == home) return QStringLiteral("Home");
    return TextDraw::oneLine(PathText::lastComponent(path));
}

QString shareText(double fraction) {
    if (fraction > 0 && fraction < 0.001) return QStringLiteral("<0.1%");
    return percentText(fraction * 100);
}

double fraction(std::int64_t part, std::int64_t whole) {
    if (whole < 1) return 0;
    return static_cast<double>(part) / static_cast<double>(whole);
}

std::vector<Badge> badges(const FileNode& node) {
    std::vector<Badge> list;
    const std::string_view category = FileCategories::symbol(node.category);
    list.push_back({isPlainFolder(node) ? QStringLiteral("Folder") : text(FileCategories::title(node.category)),
                    std::string(category), Tint::category});
    if (node.isPackage) list.push_back({QStringLiteral("Package"), "shippingbox", Tint::none});
    if (node.isSymlink) list.push_back({QStringLiteral("Link"), "link", Tint::none});
    if (node.isDenied) list.push_back({QStringLiteral("No access"), "lock.fill", Tint::warning});
    if (isEvicted(node)) list.push_back({QStringLiteral("In iCloud"), "icloud", Tint::accentSecondary});
    return list;
}

std::vector<Fact> facts(const FileNode& node, bool useAllocated, double now) {
    std::vector<Fact> rows;
    if (isEvicted(node))
        rows.push_back({QStringLiteral("Size on disk"), QStringLiteral("0\u00A0B \u2014 evicted"), Tint::accentSecondary});
    else
        rows.push_back({QStringLiteral("Size on disk"), bytesText(node.allocated)});
    rows.push_back({QStringLiteral("Logical size"), bytesText(node.size)});
    if (node.size >= 1) {
        const std::int64_t saved = node.size - node.allocated;
        if (saved > 0) rows.push_back({QStringLiteral("Compressed by"), bytesText(saved), Tint::success});
        if (saved < 0) rows.push_back({QStringLiteral("Slack"), bytesText(-saved), Tint::textSecondary});
    }
    if (node.isDirectory) {
        rows.push_back({QStringLiteral("Files"), countText(node.fileCount)});
        rows.push_back({QStringLiteral("Folders"), countText(node.folderCount)});
    }
    if (node.parent) {
        const std::int64_t parentSize = node.parent->bytes(useAllocated);
        rows.push_back({QStringLiteral("Of parent"), shareText(fraction(node.bytes(useAllocated), parentSize))});
    }
    if (node.modified > 0) rows.push_back({QStringLiteral("Modified"), text(ByteFormat::relative(node.modified, now))});
    if (node.created > 0) rows.push_back({QStringLiteral("Created"), text(ByteFormat::relative(node.created, now))});
    return rows;
}

std::vector<const FileNode*> largestChildren(const FileNode& node, bool useAllocated, std::size_t limit) {
    const auto children = node.children();
    // Larger first; among equals the earlier stored child first, which makes the pick stable.
    auto before = [&](std::size_t a, std::size_t b) {
        const std::int64_t sizeA = children[a]->bytes(useAllocated), sizeB = children[b]->bytes(useAllocated);
        return sizeA != sizeB ? sizeA > sizeB : a < b;
    };
    std::vector<std::size_t> best;
    best.reserve(limit + 1);
    for (std::size_t i = 0; i < children.size() && limit > 0; ++i) {
        if (best.size() == limit && !before(i, best.back())) continue;
        best.insert(std::upper_bound(best.begin(), best.end(), i, before), i);
        if (best.size() > limit) best.pop_back();
    }
    std::vector<const FileNode*> picked;
    picked.reserve(best.size());
    for (std::size_t i : best) picked.push_back(children[i]);
    return picked;
}

} // namespace tallymere::InspectorModel
