// A reply read into rows (see reply_page.h): one On-Demand walk of the
// reply along the table's member trees.
//
// A list reply's root is walked with its tree: root columns go into
// root_values, the row list makes rows, the paging members are noted. Each
// row list element is walked with the row tree, straight into its row; for
// a child table into parent_values, while its child list makes the rows,
// which then take the parent's values. Root values are copied into every
// row once the root is walked (a member may follow the row list).
#include "sqi/reply_page.h"

#include <charconv>
#include <cstring>
#include <utility>
#include <new>

#include "sqi/catalog.h"
#include "sqi/json_text.h"
#include "sqi/json_writer.h"
#include "sqi/path_map.h"

namespace {

using simdjson::error_code;

static_assert(kReplyTextPadding == simdjson::SIMDJSON_PADDING);

constexpr const char *kNotJson = "fails to decode reply";

// The sorted-text writer's buffers, one per thread like the parser.
thread_local JsonSortedWriter t_writer;

struct Walk {
    ReplyPage &p;
    const PathMap &map;
    const std::vector<ColumnScope> &scopes;  // of the mode read
    size_t arena_limit;
    int32_t parent_first = 0;  // the first row of the parent being walked
    const char *failure = kNotJson;
};

ValueSlot *row_values(ReplyPage &p, int32_t row) {
    return p.slots.data() + static_cast<size_t>(row) * static_cast<size_t>(p.column_count);
}

// A new row of NULLs; -1 past kMaxPageSlots.
int32_t add_row(Walk &k) {
    const size_t n = static_cast<size_t>(k.p.column_count);
    if (k.p.slots.size() + n > kMaxPageSlots) {
        k.failure = "fails to decode reply: more rows than one page may hold";
        return -1;
    }
    k.p.slots.resize(k.p.slots.size() + n, ValueSlot{0, 0, JsonKind::kNull, 0});
    return k.p.row_count++;
}

void drop_rows_from(ReplyPage &p, int32_t first) {
    p.row_count = first;
    p.slots.resize(static_cast<size_t>(first) * static_cast<size_t>(p.column_count));
}

// Copies the values of the columns of `scope` from `from` into rows
// [first, p.row_count).
void fill_rows(Walk &k, int32_t first, const ValueSlot *from, ColumnScope scope) {
    for (int32_t c = 0; c < k.p.column_count; ++c) {
        if (k.scopes[static_cast<size_t>(c)] != scope) continue;
        for (int32_t r = first; r < k.p.row_count; ++r) row_values(k.p, r)[c] = from[c];
    }
}

uint32_t text_offset(const ReplyPage &p, std::string_view in_text) {
    return static_cast<uint32_t>(in_text.data() - p.text.data());
}

// A string's characters: where they lie in the reply when it has no escape,
// else resolved into the arena.
error_code read_string(Walk &k, json_od::value &v, ValueSlot &out) {
    const std::string_view token = json_trim_token(v.raw_json_token());
    if (token.size() < 2 || token.front() != '"' || token.back() != '"') return simdjson::STRING_ERROR;
    const std::string_view content = token.substr(1, token.size() - 2);
    if (!std::memchr(content.data(), '\\', content.size())) {
        out = ValueSlot{text_offset(k.p, content), static_cast<uint32_t>(content.size()), JsonKind::kString, 0};
        return simdjson::SUCCESS;
    }
    std::string_view text;
    if (error_code e = v.get_string().get(text)) return e;
    if (std::memchr(text.data(), 0, text.size())) return simdjson::STRING_ERROR;
    // Resolved text is never longer than the token, so the arena stays
    // within the limit set from the reply's size.
    JsonOut w(k.p.arena, k.p.arena_used, k.arena_limit);
    w.put(text);
    if (w.overflowed()) return simdjson::CAPACITY;
    out = ValueSlot{static_cast<uint32_t>(k.p.arena_used), static_cast<uint32_t>(text.size()), JsonKind::kString, 1};
    k.p.arena_used = w.used;
    return simdjson::SUCCESS;
}

// The value a column reads: any kind, checked through and through.
error_code read_value(Walk &k, json_od::value &v, ValueSlot &out) {
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    switch (type) {
        case json_od::json_type::string:
            return read_string(k, v, out);
        case json_od::json_type::object:
        case json_od::json_type::array: {
            const size_t start = k.p.arena_used;
            if (error_code e = append_sorted_json(t_writer, v, k.p.arena, &k.p.arena_used, k.arena_limit)) {
                if (e == simdjson::CAPACITY) k.failure = "fails to decode reply: its values are too large";
                return e;
            }
            out = ValueSlot{static_cast<uint32_t>(start), static_cast<uint32_t>(k.p.arena_used - start),
                            type == json_od::json_type::object ? JsonKind::kObject : JsonKind::kArray, 1};
            return simdjson::SUCCESS;
        }
        default:
            break;
    }
    const std::string_view token = json_trim_token(v.raw_json_token());
    JsonKind kind;
    if (type == json_od::json_type::number) {
        bool integral;
        if (!json_number_token(token, &integral)) return simdjson::NUMBER_ERROR;
        kind = integral ? JsonKind::kInteger : JsonKind::kReal;
    } else if (token == "true") {
        kind = JsonKind::kTrue;
    } else if (token == "false") {
        kind = JsonKind::kFalse;
    } else if (token == "null") {
        kind = JsonKind::kNull;
    } else {
        return simdjson::INCORRECT_TYPE;
    }
    out = ValueSlot{text_offset(k.p, token), static_cast<uint32_t>(token.size()), kind, 0};
    return simdjson::SUCCESS;
}

error_code walk_object(Walk &k, json_od::object &o, int32_t node, ValueSlot *dest);

// The value of a paging member: an integer, else absent.
error_code read_count(Walk &k, json_od::value &v, bool *has, int64_t *n) {
    ValueSlot s{};
    *has = false;
    if (error_code e = read_value(k, v, s)) return e;
    if (s.kind != JsonKind::kInteger) return simdjson::SUCCESS;
    const ReplyValue text = reply_page_view(k.p, s);
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.text.data(), text.text.data() + text.text.size(), value);
    if (ec == std::errc() && end == text.text.data() + text.text.size()) {
        *has = true;
        *n = value;
    }
    return simdjson::SUCCESS;
}

// A string member's text (`*is_string` false, `out` empty, for any other kind).
error_code read_text(Walk &k, json_od::value &v, std::string &out, bool *is_string) {
    ValueSlot s{};
    out.clear();
    *is_string = false;
    if (error_code e = read_value(k, v, s)) return e;
    if (s.kind != JsonKind::kString) return simdjson::SUCCESS;
    out.assign(reply_page_view(k.p, s).text);
    *is_string = true;
    return simdjson::SUCCESS;
}

// "links": the href of the first element whose rel is "next" (PayPal's
// HATEOAS links; a list without one has no next page).
error_code read_links(Walk &k, json_od::value &v) {
    k.p.next_href.clear();
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    if (type != json_od::json_type::array) return simdjson::SUCCESS;
    json_od::array a;
    if (error_code e = v.get_array().get(a)) return e;
    bool found = false;
    std::string rel, href;
    for (auto element : a) {
        json_od::value link;
        if (error_code e = element.get(link)) return e;
        if (error_code e = link.type().get(type)) return e;
        if (found || type != json_od::json_type::object) continue;
        json_od::object o;
        if (error_code e = link.get_object().get(o)) return e;
        bool rel_text = false, href_text = false;
        for (auto field : o) {
            json_od::field f;
            std::string_view name;
            if (error_code e = std::move(field).get(f)) return e;
            if (error_code e = f.unescaped_key().get(name)) return e;
            json_od::value member = f.value();
            if (name == "rel") {
                if (error_code e = read_text(k, member, rel, &rel_text)) return e;
            } else if (name == "href") {
                if (error_code e = read_text(k, member, href, &href_text)) return e;
            }
        }
        if (rel_text && href_text && rel == "next") {
            k.p.next_href = href;
            found = true;
        }
    }
    return simdjson::SUCCESS;
}

// Walks a list element or a child element (or a single object) with the
// tree starting at `start`: the element itself may be a column's value.
error_code walk_element(Walk &k, json_od::value &v, int32_t start, ValueSlot *dest) {
    const PathNode &n = k.map.nodes[static_cast<size_t>(start)];
    if (n.column_count > 0) {
        ValueSlot s{};
        if (error_code e = read_value(k, v, s)) return e;
        for (int32_t c = 0; c < n.column_count; ++c) dest[k.map.columns[static_cast<size_t>(n.first_column + c)]] = s;
        return simdjson::SUCCESS;
    }
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    if (type != json_od::json_type::object) return simdjson::SUCCESS;  // no members: every column NULL
    json_od::object o;
    if (error_code e = v.get_object().get(o)) return e;
    return walk_object(k, o, start, dest);
}

// A row list: every element a row (for a child table, the rows are its
// child elements). A repeated list replaces the rows of the earlier one.
error_code take_rows(Walk &k, json_od::value &v) {
    drop_rows_from(k.p, 0);
    k.p.list_count = 0;
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    if (type != json_od::json_type::array) return simdjson::SUCCESS;  // no list: no rows
    json_od::array a;
    if (error_code e = v.get_array().get(a)) return e;
    for (auto element : a) {
        json_od::value ev;
        if (error_code e = element.get(ev)) return e;
        ++k.p.list_count;
        if (!k.map.child_rows) {
            const int32_t row = add_row(k);
            if (row < 0) return simdjson::CAPACITY;
            if (error_code e = walk_element(k, ev, k.map.row, row_values(k.p, row))) return e;
            continue;
        }
        std::fill(k.p.parent_values.begin(), k.p.parent_values.end(), ValueSlot{0, 0, JsonKind::kNull, 0});
        k.parent_first = k.p.row_count;
        if (error_code e = walk_element(k, ev, k.map.row, k.p.parent_values.data())) return e;
        fill_rows(k, k.parent_first, k.p.parent_values.data(), ColumnScope::kRow);
    }
    return simdjson::SUCCESS;
}

// A row's child list: every element a row. A repeated list replaces the
// rows of the earlier one.
error_code take_children(Walk &k, json_od::value &v) {
    drop_rows_from(k.p, k.parent_first);
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    if (type != json_od::json_type::array) return simdjson::SUCCESS;
    json_od::array a;
    if (error_code e = v.get_array().get(a)) return e;
    for (auto element : a) {
        json_od::value ev;
        if (error_code e = element.get(ev)) return e;
        const int32_t row = add_row(k);
        if (row < 0) return simdjson::CAPACITY;
        if (error_code e = walk_element(k, ev, k.map.child, row_values(k.p, row))) return e;
    }
    return simdjson::SUCCESS;
}

// The member `node` stands for, with value `v`.
error_code visit(Walk &k, json_od::value v, int32_t node, ValueSlot *dest) {
    const PathNode &n = k.map.nodes[static_cast<size_t>(node)];
    if (n.column_count > 0) {
        ValueSlot s{};
        if (error_code e = read_value(k, v, s)) return e;
        for (int32_t c = 0; c < n.column_count; ++c) dest[k.map.columns[static_cast<size_t>(n.first_column + c)]] = s;
        return simdjson::SUCCESS;
    }
    switch (n.action) {
        case PathAction::kRows: return take_rows(k, v);
        case PathAction::kChildRows: return take_children(k, v);
        case PathAction::kPage: return read_count(k, v, &k.p.has_page, &k.p.page);
        case PathAction::kTotalPages: return read_count(k, v, &k.p.has_total_pages, &k.p.total_pages);
        case PathAction::kTotalItems: return read_count(k, v, &k.p.has_total_items, &k.p.total_items);
        case PathAction::kNextId: {
            bool is_string;
            return read_text(k, v, k.p.next_id, &is_string);
        }
        case PathAction::kLinks: return read_links(k, v);
        case PathAction::kNone: break;
    }
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    if (type == json_od::json_type::object) {
        json_od::object o;
        if (error_code e = v.get_object().get(o)) return e;
        return walk_object(k, o, node, dest);
    }
    // Not an object: nothing under it is there.
    for (int32_t c = 0; c < n.below_count; ++c)
        dest[k.map.below[static_cast<size_t>(n.first_below + c)]] = ValueSlot{0, 0, JsonKind::kNull, 0};
    return simdjson::SUCCESS;
}

error_code walk_object(Walk &k, json_od::object &o, int32_t node, ValueSlot *dest) {
    const PathNode &n = k.map.nodes[static_cast<size_t>(node)];
    // A member met again replaces what an earlier one of that name gave.
    for (int32_t c = 0; c < n.below_count; ++c)
        dest[k.map.below[static_cast<size_t>(n.first_below + c)]] = ValueSlot{0, 0, JsonKind::kNull, 0};
    const PathNode *kids = k.map.nodes.data() + n.first_child;
    for (auto field : o) {
        json_od::field f;
        if (error_code e = std::move(field).get(f)) return e;
        std::string_view name;
        bool plain;
        if (error_code e = json_field_name(f, &name, &plain)) return e;
        for (int32_t i = 0; i < n.child_count; ++i) {
            if (kids[i].name != name) continue;
            if (error_code e = visit(k, f.value(), n.first_child + i, dest)) return e;
            break;
        }
    }
    return simdjson::SUCCESS;
}

// Walks the whole reply; the rows end up in k.p.
error_code walk_reply(Walk &k, json_od::document &doc, bool list) {
    json_od::value root;
    if (error_code e = doc.get_value().get(root)) return e;  // a scalar root is refused here
    json_od::json_type type;
    if (error_code e = root.type().get(type)) return e;
    if (type != json_od::json_type::object && type != json_od::json_type::array) return simdjson::INCORRECT_TYPE;
    ReplyPage &p = k.p;
    const int32_t start = list ? k.map.list_root : k.map.single_root;
    const PathNode &n = k.map.nodes[static_cast<size_t>(start)];
    if (list && type == json_od::json_type::array && n.action == PathAction::kRows) {
        // A table without a list key: the root is the list.
        if (error_code e = take_rows(k, root)) return e;
    } else if (type == json_od::json_type::array && n.column_count == 0) {
        // An array where members were looked for: nothing is read, but the
        // whole reply must still be JSON in structure.
        json_od::array a;
        if (error_code e = root.get_array().get(a)) return e;
        for (auto element : a)
            if (error_code e = element.error()) return e;
    } else {
        k.parent_first = 0;
        if (error_code e = walk_element(k, root, start, p.root_values.data())) return e;
    }
    if (!list) {
        p.list_count = 1;
        if (!k.map.child_rows && add_row(k) < 0) return simdjson::CAPACITY;
    }
    fill_rows(k, 0, p.root_values.data(), ColumnScope::kRoot);
    // Nothing may follow the root.
    const char *at = nullptr;
    if (doc.current_location().get(at) == simdjson::SUCCESS) return simdjson::TRAILING_CONTENT;
    return simdjson::SUCCESS;
}

bool load(ReplyPage &p, const PaypalTable *table, bool list, std::string &error) {
    const PathMap &map = paypal_path_map(table);
    const int32_t start = list ? map.list_root : map.single_root;
    if (start < 0) {
        // The catalogue's paths for this mode overlap (never for the
        // catalogue as shipped: tests/sqi checks every table).
        error = std::string("the paths of table ") + table->name + " cannot be read in one pass";
        return false;
    }
    p.column_count = table->column_count;
    p.single_object = !list;
    p.root_values.assign(static_cast<size_t>(p.column_count), ValueSlot{0, 0, JsonKind::kNull, 0});
    p.parent_values.assign(static_cast<size_t>(p.column_count), ValueSlot{0, 0, JsonKind::kNull, 0});
    if (p.text.size() > kJsonMaxText) {
        error = kNotJson;
        return false;
    }
    // Resolved strings are never longer than their tokens and sorted texts
    // at most a few times theirs; the limit only stops what no reply holds.
    Walk k{p, map, list ? map.list_scope : map.single_scope, 8 * p.text.size() + (size_t{1} << 20)};
    json_od::parser *parser = thread_json_parser();
    if (!parser) {
        error = "Memory allocation error";
        return false;
    }
    json_od::document doc;
    error_code e = parser->iterate(json_padded(p.text)).get(doc);
    if (!e) e = walk_reply(k, doc, list);
    thread_json_parser_done(p.text.size());
    if (p.text.size() > kJsonKeptCapacity) {
        std::vector<JsonSortedWriter::Member>().swap(t_writer.members);
        std::string().swap(t_writer.scratch);
    }
    if (e) {
        error = e == simdjson::MEMALLOC ? "Memory allocation error" : k.failure;
        return false;
    }
    return true;
}

}  // namespace

bool reply_page_load(ReplyPage &page, const PaypalTable *table, bool list, std::string &error) {
    reply_page_clear(page);
    bool loaded = false;
    try {
        loaded = load(page, table, list, error);
    } catch (const std::bad_alloc &) {
        error = "Memory allocation error";
    }
    if (!loaded) {
        reply_page_clear(page);
        return false;
    }
    page.loaded = true;
    return true;
}

void reply_page_clear(ReplyPage &page) {
    page.arena_used = 0;
    page.slots.clear();
    page.row_count = page.list_count = 0;
    page.loaded = page.single_object = false;
    page.has_page = page.has_total_pages = page.has_total_items = false;
    page.page = page.total_pages = page.total_items = 0;
    page.next_id.clear();
    page.next_href.clear();
}

void reply_page_release(ReplyPage &page) {
    reply_page_clear(page);
    std::string().swap(page.text);
    std::string().swap(page.arena);
    page.arena_used = 0;
    std::vector<ValueSlot>().swap(page.slots);
    std::vector<ValueSlot>().swap(page.root_values);
    std::vector<ValueSlot>().swap(page.parent_values);
}
