#pragma once
#include "core/FileNode.h"

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

namespace tallymere {

// The sortable columns of the table, in header order.
enum class TableColumn { name, size, items, kind, modified };

namespace TableRows {

inline constexpr std::array<TableColumn, 5> columns = {TableColumn::name, TableColumn::size, TableColumn::items,
                                                       TableColumn::kind, TableColumn::modified};

// Below this many collected nodes the walk of "everything below" stops descending. Visits already
// pending still append their node, so a collection can exceed it by the siblings left on the path.
inline constexpr std::size_t descendLimit = 20000;
// The most lines the table shows and exports.
inline constexpr std::size_t rowLimit = 5000;

struct Options {
    TableColumn sort = TableColumn::size;
    bool ascending = false;
    bool recursive = false; // every node below the base instead of its children
    bool useAllocated = true;
};

// The candidates of a table: the base's children in stored order, or with `recursive` every node
// below it in pre-order (the base itself never), descending only while fewer than descendLimit
// nodes are collected. Packages are entered; links have no children.
std::vector<const FileNode*> collect(const FileNode& base, bool recursive);

// The table's lines: the candidates ordered by the column, then cut to the first rowLimit. Names
// compare as the user's locale orders them, case-insensitive with digit runs by value; kinds by the
// titles' code points; sizes, counts and dates by value. The order is stable: equal keys keep
// their collected order, ascending and descending alike. No base gives no lines.
std::vector<const FileNode*> rows(const FileNode* base, const Options& options);

// Orders `nodes` as rows() does and keeps the first `limit`. Only the kept part is fully sorted.
void orderAndCut(std::vector<const FileNode*>& nodes, const Options& options, std::size_t limit);

// The title of the column's header.
std::string_view title(TableColumn column);
// The text of a node's Kind cell: "Folder" for a plain folder, else its category's title.
std::string_view kindText(const FileNode& node);

} // namespace TableRows
} // namespace tallymere
