#include "views/explore/table/TableRows.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace tallymere::TableRows {

namespace {

// Sorts positions into `nodes` by `less` on the keys, breaking ties by position, so an unstable
// partial sort still gives the stable order; then keeps the first `limit`.
template <class Key, class Less>
void sortByKeys(std::vector<const FileNode*>& nodes, const std::vector<Key>& keys, Less less, bool ascending,
                std::size_t limit) {
    std::vector<std::uint32_t> order(nodes.size());
    std::iota(order.begin(), order.end(), 0u);
    const auto before = [&](std::uint32_t a, std::uint32_t b) {
        if (ascending ? less(keys[a], keys[b]) : less(keys[b], keys[a])) return true;
        if (ascending ? less(keys[b], keys[a]) : less(keys[a], keys[b])) return false;
        return a < b;
    };
    const std::size_t kept = std::min(limit, order.size());
    if (kept < order.size()) {
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(), before);
        order.resize(kept);
    } else {
        std::sort(order.begin(), order.end(), before);
    }
    std::vector<const FileNode*> sorted;
    sorted.reserve(order.size());
    for (std::uint32_t index : order) sorted.push_back(nodes[index]);
    nodes = std::move(sorted);
}

template <class Key, class Make, class Less>
void sortBy(std::vector<const FileNode*>& nodes, Make make, Less less, bool ascending, std::size_t limit) {
    std::vector<Key> keys;
    keys.reserve(nodes.size());
    for (const FileNode* node : nodes) keys.push_back(make(*node));
    sortByKeys(nodes, keys, less, ascending, limit);
}

QCollator nameCollator() {
    // The C locale's collator compares code units only, with neither case folding nor numbers; a
    // desktop without a language setting still gets the ordering of a file manager.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator{locale};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

std::vector<const FileNode*> collect(const FileNode& base, bool recursive) {
    std::vector<const FileNode*> nodes;
    if (!recursive) {
        const auto children = base.children();
        nodes.assign(children.begin(), children.end());
        return nodes;
    }
    base.walk([&](const FileNode& node) {
        if (&node != &base) nodes.push_back(&node);
        return nodes.size() < descendLimit;
    });
    return nodes;
}

void orderAndCut(std::vector<const FileNode*>& nodes, const Options& options, std::size_t limit) {
    const bool up = options.ascending;
    switch (options.sort) {
    case TableColumn::name: {
        const QCollator collator = nameCollator();
        sortBy<QCollatorSortKey>(
            nodes, [&](const FileNode& n) { return collator.sortKey(QString::fromUtf8(n.name())); },
            [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; }, up, limit);
        break;
    }
    case TableColumn::size:
        sortBy<std::int64_t>(
            nodes, [&](const FileNode& n) { return n.bytes(options.useAllocated); }, std::less<>{}, up, limit);
        break;
    case TableColumn::items:
        sortBy<std::int32_t>(nodes, [](const FileNode& n) { return n.fileCount; }, std::less<>{}, up, limit);
        break;
    case TableColumn::kind:
        sortBy<std::string_view>(
            nodes, [](const FileNode& n) { return FileCategories::title(n.category); }, std::less<>{}, up, limit);
        break;
    case TableColumn::modified:
        // A damaged time that is not a number would break the ordering; it sorts as undated.
        sortBy<double>(
            nodes, [](const FileNode& n) { return std::isnan(n.modified) ? 0.0 : n.modified; }, std::less<>{}, up,
            limit);
        break;
    }
}

std::vector<const FileNode*> rows(const FileNode* base, const Options& options) {
    if (!base) return {};
    std::vector<const FileNode*> nodes = collect(*base, options.recursive);
    orderAndCut(nodes, options, rowLimit);
    return nodes;
}

std::string_view title(TableColumn column) {
    switch (column) {
    case TableColumn::name: return "Name";
    case TableColumn::size: return "Size";
    case TableColumn::items: return "Items";
    case TableColumn::kind: return "Kind";
    case TableColumn::modified: return "Modified";
    }
    return "Name";
}

std::string_view kindText(const FileNode& node) {
    if (node.isDirectory && !node.isPackage) return "Folder";
    return FileCategories::title(node.category);
}

} // namespace tallymere::TableRows
