// The catalogue's JSON paths as member trees (see path_map.h).
#include "sqi/path_map.h"

#include <string>

#include "sqi/catalog.h"

namespace {

// A tree while it is built: children by index, in insertion order.
struct Draft {
    std::string_view name;
    std::vector<int32_t> kids;
    std::vector<int16_t> columns;
    PathAction action = PathAction::kNone;
};

struct Builder {
    std::vector<Draft> drafts;
    bool conflict = false;

    int32_t add(std::string_view name) {
        drafts.push_back(Draft{name, {}, {}, PathAction::kNone});
        return static_cast<int32_t>(drafts.size() - 1);
    }
    // The node at `members` (a null-terminated path) under `start`.
    int32_t at(int32_t start, const char *const *members) {
        int32_t node = start;
        for (; members && *members; ++members) {
            const std::string_view name = *members;
            int32_t found = -1;
            for (int32_t kid : drafts[static_cast<size_t>(node)].kids)
                if (drafts[static_cast<size_t>(kid)].name == name) found = kid;
            if (found < 0) {
                found = add(name);
                drafts[static_cast<size_t>(node)].kids.push_back(found);
            }
            node = found;
        }
        return node;
    }
    void column(int32_t start, const PaypalColumn &c, int16_t index) {
        drafts[static_cast<size_t>(at(start, c.path_members))].columns.push_back(index);
    }
    void action(int32_t start, const char *const *members, PathAction a) {
        Draft &d = drafts[static_cast<size_t>(at(start, members))];
        if (d.action != PathAction::kNone && d.action != a) conflict = true;
        d.action = a;
    }
    // One value cannot be kept and walked into in the same pass. A start
    // node may hold the row list and other members: the root is the list
    // when it is an array, and has the members when it is an object.
    void check(int32_t node, bool start) {
        const Draft &d = drafts[static_cast<size_t>(node)];
        const bool value = !d.columns.empty();
        const bool walked = !d.kids.empty();
        const bool acted = d.action != PathAction::kNone;
        if (value && (walked || acted)) conflict = true;
        if (acted && walked && !start) conflict = true;
        for (int32_t kid : d.kids) check(kid, false);
    }
};

// Copies the draft tree under `start` into `map`: every node's children
// next to each other, and each node's list of the columns under it.
int32_t flatten(const Builder &b, int32_t start, PathMap &map) {
    const int32_t root = static_cast<int32_t>(map.nodes.size());
    std::vector<std::pair<int32_t, int32_t>> queue = {{start, root}};  // draft, placed node
    map.nodes.push_back(PathNode{});
    for (size_t q = 0; q < queue.size(); ++q) {
        const auto [draft_index, placed] = queue[q];
        const Draft &d = b.drafts[static_cast<size_t>(draft_index)];
        PathNode n{};
        n.name = d.name;
        n.action = d.action;
        n.first_column = static_cast<int32_t>(map.columns.size());
        n.column_count = static_cast<int32_t>(d.columns.size());
        map.columns.insert(map.columns.end(), d.columns.begin(), d.columns.end());
        n.first_child = static_cast<int32_t>(map.nodes.size());
        n.child_count = static_cast<int32_t>(d.kids.size());
        for (int32_t kid : d.kids) {
            queue.push_back({kid, static_cast<int32_t>(map.nodes.size())});
            map.nodes.push_back(PathNode{});
        }
        map.nodes[static_cast<size_t>(placed)] = n;
    }
    // Columns under each node: its own, then its children's (children were
    // placed after their parent, so walking backwards meets them first).
    std::vector<std::vector<int16_t>> under(map.nodes.size() - static_cast<size_t>(root));
    for (size_t i = map.nodes.size(); i-- > static_cast<size_t>(root);) {
        const PathNode &n = map.nodes[i];
        std::vector<int16_t> &mine = under[i - static_cast<size_t>(root)];
        mine.assign(map.columns.begin() + n.first_column, map.columns.begin() + n.first_column + n.column_count);
        for (int32_t k = 0; k < n.child_count; ++k) {
            const auto &theirs = under[static_cast<size_t>(n.first_child + k - root)];
            mine.insert(mine.end(), theirs.begin(), theirs.end());
        }
    }
    for (size_t i = static_cast<size_t>(root); i < map.nodes.size(); ++i) {
        const auto &mine = under[i - static_cast<size_t>(root)];
        map.nodes[i].first_below = static_cast<int32_t>(map.below.size());
        map.nodes[i].below_count = static_cast<int32_t>(mine.size());
        map.below.insert(map.below.end(), mine.begin(), mine.end());
    }
    return root;
}

ColumnScope scope_of(const PaypalColumn &c, bool child_rows) {
    if (c.flags & kColumnRoot) return ColumnScope::kRoot;
    if (c.flags & kColumnChild) return child_rows ? ColumnScope::kChild : ColumnScope::kNone;
    return ColumnScope::kRow;
}

const char *const kPageMember[] = {"page", nullptr};
const char *const kTotalPagesMember[] = {"total_pages", nullptr};
const char *const kTotalItemsMember[] = {"total_items", nullptr};
const char *const kNextIdMember[] = {"next_id", nullptr};
const char *const kLinksMember[] = {"links", nullptr};

// The tree of one scope of one mode: the columns whose scope is `wanted`,
// with `list` as `list_action` and, for a list reply's root, the paging
// members.
int32_t compile_scope(const PaypalTable *t, const std::vector<ColumnScope> &scopes, ColumnScope wanted,
                      const char *const *list, PathAction list_action, bool paging, PathMap &map) {
    Builder b;
    const int32_t start = b.add({});
    for (int16_t i = 0; i < t->column_count; ++i) {
        const ColumnScope s = scopes[static_cast<size_t>(i)];
        if (s != ColumnScope::kNone && s == wanted) b.column(start, t->columns[i], i);
    }
    if (list_action != PathAction::kNone) b.action(start, list, list_action);
    if (paging) {
        b.action(start, kPageMember, PathAction::kPage);
        b.action(start, kTotalPagesMember, PathAction::kTotalPages);
        b.action(start, kTotalItemsMember, PathAction::kTotalItems);
        b.action(start, kNextIdMember, PathAction::kNextId);
        b.action(start, kLinksMember, PathAction::kLinks);
    }
    b.check(start, true);
    if (b.conflict) return -1;
    return flatten(b, start, map);
}

PathMap compile(const PaypalTable *t) {
    PathMap map;
    map.child_rows = (t->flags & kTableChildRows) && t->sub_key;
    const size_t n = static_cast<size_t>(t->column_count);
    map.list_scope.resize(n);
    map.single_scope.resize(n);
    for (size_t i = 0; i < n; ++i) {
        map.list_scope[i] = scope_of(t->columns[i], map.child_rows);
        // A single object is the row: row columns read the root.
        map.single_scope[i] = map.list_scope[i] == ColumnScope::kRow ? ColumnScope::kRoot : map.list_scope[i];
    }
    const PathAction sub = map.child_rows ? PathAction::kChildRows : PathAction::kNone;
    map.list_root = compile_scope(t, map.list_scope, ColumnScope::kRoot, t->list_members, PathAction::kRows, true, map);
    map.row = compile_scope(t, map.list_scope, ColumnScope::kRow, t->sub_members, sub, false, map);
    map.single_root = compile_scope(t, map.single_scope, ColumnScope::kRoot, t->sub_members, sub, false, map);
    if (map.child_rows)
        map.child = compile_scope(t, map.list_scope, ColumnScope::kChild, nullptr, PathAction::kNone, false, map);
    // A list reply needs its rows' tree too.
    if (map.row < 0) map.list_root = -1;
    if (map.child_rows && map.child < 0) map.list_root = map.single_root = -1;
    return map;
}

std::vector<PathMap> compile_all() {
    std::vector<PathMap> maps;
    maps.reserve(kPaypalTableCount);
    for (int i = 0; i < kPaypalTableCount; ++i) maps.push_back(compile(&kPaypalTables[i]));
    return maps;
}

}  // namespace

const PathMap &paypal_path_map(const PaypalTable *table) {
    static const std::vector<PathMap> maps = compile_all();
    return maps[static_cast<size_t>(table - kPaypalTables)];
}
