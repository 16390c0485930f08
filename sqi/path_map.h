// The catalogue's JSON paths compiled into member trees, once per table:
// what the page walker (sqi/reply_page.cpp) looks for in each object it
// meets, so that a reply is read in one pass and a member no column reads
// is skipped by its brackets.
//
// A table is read from up to three kinds of object (scopes): the reply's
// root, a row (an element of the root's row list) and, for tables whose
// rows are child elements, a child (an element of a row's child list). A
// reply is read in one of two modes (sqi/paging.cpp decides): a list, whose
// root holds the row list and the paging members, or a single object, which
// is itself the row. Each mode has its own tree for the root; rows and
// children have one each.
//
// A node stands for one member name under its parent; it may give the
// value of columns (several columns may read one path), or an action (the
// row list, the child list, a paging member), or lead on to child nodes;
// never two of these, since one pass cannot both keep a value and walk
// into it. A mode whose paths would need that is not compiled (its start
// is -1): no table of the catalogue has one (tests/sqi checks).
//
// Lifetimes: the maps are made on first use and live for the process.
//
// Exports: PathAction, PathNode, ColumnScope, PathMap, paypal_path_map.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

struct PaypalTable;

enum class PathAction : uint8_t {
    kNone = 0,        // a column value, or an object leading on
    kRows = 1,        // the list whose elements are rows
    kChildRows = 2,   // a row's list whose elements are child rows
    kPage = 3,        // "page"
    kTotalPages = 4,  // "total_pages"
    kTotalItems = 5,  // "total_items"
    kNextId = 6,      // "next_id"
    kLinks = 7,       // "links" (the "next" link's href)
};

struct PathNode {
    std::string_view name;     // the member (empty for a scope's start)
    int32_t first_child;       // children: nodes[first_child, first_child + child_count)
    int32_t child_count;
    int32_t first_column;      // the columns this node's value is: columns[first_column, + column_count)
    int32_t column_count;
    int32_t first_below;       // every column at or under this node: below[first_below, + below_count)
    int32_t below_count;
    PathAction action;
};

// Which object a column's value is read from, in one mode.
enum class ColumnScope : uint8_t { kNone = 0, kRoot = 1, kRow = 2, kChild = 3 };

struct PathMap {
    std::vector<PathNode> nodes;
    std::vector<int16_t> columns;  // catalogue column indexes (0-based) of the nodes' values
    std::vector<int16_t> below;    // the same, per subtree (cleared when a member repeats)
    int32_t list_root = -1;        // a list reply's root (root columns, the row list, paging)
    int32_t single_root = -1;      // a single object, which is the row (root and row columns, child list)
    int32_t row = -1;              // a list element (row columns, the child list)
    int32_t child = -1;            // a child element (child columns)
    bool child_rows = false;       // rows are the elements of each row's child list
    std::vector<ColumnScope> list_scope;    // per column, in a list reply
    std::vector<ColumnScope> single_scope;  // per column, in a single object
};

/// The compiled paths of `table` (a record of the catalogue), made with all
/// others on first use. Throws std::bad_alloc when they cannot be made.
[[nodiscard]] const PathMap &paypal_path_map(const PaypalTable *table);
