// Fuzz target: a PayPal reply body read into a scan's page and mapped into
// rows, every page shape the catalogue reads (lists, lists under a key,
// single objects, child arrays, root columns). The first byte picks the
// catalogue table and, with its high bit, whether the scan counts as keyed
// (which decides list or single object as for a real scan); the rest is the
// reply. Checks:
// - against a reference: when jansson parses the reply too (and it nests no
//   deeper than the reader goes), the page loads, with the rows the
//   catalogue's list, sub-key and path rules give on jansson's tree, and
//   each column holds the kind and text of the member found there (objects
//   and arrays as jansson's sorted dump writes them). jansson passes over a
//   NUL byte anywhere in its input, which is no JSON: such a reply need not
//   load;
// - every row is read in every buffer type, character data in small pieces,
//   and every read follows the conversion rules: NULL only for an absent
//   member, JSON null, or an empty array read as text; a timestamp, date or
//   time read is a valid one; the text of a NUMERIC column is a number the
//   engine reads in NUMERIC(19, scale); a text read in pieces joins to the
//   text of one read.
#include <jansson.h>
#include <sqlext.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sqi/catalog.h"
#include "sqi/json_parse.h"
#include "sqi/json_text.h"
#include "sqi/page_reply.h"
#include "sqi/row_mapping.h"
#include "sqi/scan.h"
#include "sqi/value_rules.h"
#include "support/calendar.h"
#include "support/numeric.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

// ---- the reference: the old row rules on jansson's tree

const json_t *follow(const json_t *from, const char *const *members) {
    for (; from && members && *members; ++members) from = json_object_get(from, *members);
    return from;
}

struct RefRow {
    const json_t *row;    // the list element (or the root)
    const json_t *child;  // the child element, for a child table
};

std::vector<RefRow> reference_rows(const json_t *root, const PaypalTable *t, bool list) {
    const bool child = (t->flags & kTableChildRows) && t->sub_key;
    std::vector<const json_t *> parents;
    if (list) {
        const json_t *rows = follow(root, t->list_members);
        size_t i;
        const json_t *e;
        json_array_foreach(rows, i, e) parents.push_back(e);
    } else {
        parents.push_back(root);
    }
    std::vector<RefRow> out;
    for (const json_t *p : parents) {
        if (!child) {
            out.push_back({p, nullptr});
            continue;
        }
        const json_t *sub = follow(p, t->sub_members);
        size_t i;
        const json_t *e;
        json_array_foreach(sub, i, e) out.push_back({p, e});
    }
    return out;
}

const json_t *reference_value(const json_t *root, const RefRow &r, const PaypalColumn &c, bool child_table) {
    const json_t *start = r.row;
    if (c.flags & kColumnRoot) start = root;
    else if (c.flags & kColumnChild) start = child_table ? r.child : nullptr;
    return follow(start, c.path_members);
}

std::string jansson_sorted(const json_t *v) {
    char *text = json_dumps(v, JSON_SORT_KEYS | JSON_ENCODE_ANY);
    std::string out = text ? text : "";
    free(text);  // the driver never sets jansson's allocator: this is malloc's
    return out;
}

// The page's value against jansson's member.
void check_same(const ReplyValue &got, const json_t *want) {
    if (!want || json_is_null(want)) {
        check(got.kind == JsonKind::kNull);
        return;
    }
    char buf[64];
    switch (json_typeof(want)) {
        case JSON_STRING:
            check(got.kind == JsonKind::kString &&
                  got.text == std::string_view(json_string_value(want), json_string_length(want)));
            break;
        case JSON_INTEGER:
            check(got.kind == JsonKind::kInteger &&
                  json_integer_text(got.text, buf, sizeof buf) == std::to_string(json_integer_value(want)));
            break;
        case JSON_REAL: {
            check(got.kind == JsonKind::kReal);
            const std::string token(got.text);
            const double d = strtod(token.c_str(), nullptr), w = json_real_value(want);
            check(std::memcmp(&d, &w, sizeof d) == 0);
            break;
        }
        case JSON_TRUE: check(got.kind == JsonKind::kTrue); break;
        case JSON_FALSE: check(got.kind == JsonKind::kFalse); break;
        case JSON_OBJECT: check(got.kind == JsonKind::kObject && got.text == jansson_sorted(want)); break;
        case JSON_ARRAY: check(got.kind == JsonKind::kArray && got.text == jansson_sorted(want)); break;
        default: check(false);
    }
}

size_t depth_of(const json_t *v) {
    size_t deepest = 0;
    if (json_is_object(v)) {
        const char *k;
        const json_t *m;
        json_object_foreach(const_cast<json_t *>(v), k, m) deepest = std::max(deepest, depth_of(m));
        return deepest + 1;
    }
    if (json_is_array(v)) {
        size_t i;
        const json_t *e;
        json_array_foreach(v, i, e) deepest = std::max(deepest, depth_of(e));
        return deepest + 1;
    }
    return 0;
}

// ---- the reads

// The whole text of column `c` read in pieces of `piece` bytes; false on an
// error, `null` set for NULL.
bool read_text(PaypalIterator *it, int c, SQLLEN piece, std::string &out, bool *null) {
    out.clear();
    *null = false;
    char buf[64];
    for (int n = 0; n < 100000; ++n) {
        SQLLEN len = 0;
        int rc = SQIGetData(it, c, SQL_C_CHAR, buf, piece, &len);
        if (rc == DAL_ERROR) return false;
        if (len == SQL_NULL_DATA) {
            check(n == 0 && rc == DAL_OK);
            *null = true;
            return true;
        }
        out.append(buf, static_cast<size_t>(rc == DAL_INFO ? piece - 1 : len));
        if (rc == DAL_OK) return true;
    }
    check(false);  // pieces that never end
    return false;
}

void check_column(PaypalIterator *it, const PaypalTable *table, int c) {
    const PaypalColumn &col = table->columns[c - 1];
    const ReplyValue v = scan_column_value(it, c - 1);
    const bool absent = v.kind == JsonKind::kNull;
    std::string small, whole;
    bool small_null, whole_null;
    bool ok = read_text(it, c, 7, small, &small_null);
    check(ok == read_text(it, c, 64, whole, &whole_null));
    if (ok) {
        check(small_null == whole_null && small == whole);
        const bool empty_array = v.kind == JsonKind::kArray && v.text == "[]";
        check(small_null == (absent || empty_array));
        if (!small_null && (col.sql_type == SQL_NUMERIC || col.sql_type == SQL_DECIMAL)) {
            SQL_NUMERIC_STRUCT n;
            check(string_to_numeric(whole.c_str(), &n, kNumericColumnPrecision, col.size) == kNumOk);
        }
    }
    static const int kFixed[] = {SQL_C_LONG, SQL_C_SBIGINT, SQL_C_DOUBLE, SQL_C_TYPE_DATE, SQL_C_TYPE_TIME,
                                 SQL_C_TYPE_TIMESTAMP, SQL_C_BINARY};
    for (int type : kFixed) {
        union {
            unsigned char bytes[24];
            DATE_STRUCT date;
            TIME_STRUCT time;
            TIMESTAMP_STRUCT ts;
        } buf{};
        SQLLEN len = 0;
        int rc = SQIGetData(it, c, type, &buf, sizeof buf, &len);
        check(rc == DAL_OK || rc == DAL_ERROR);
        if (rc == DAL_ERROR) {
            check(!absent);
            continue;
        }
        check((len == SQL_NULL_DATA) == absent);
        if (len == SQL_NULL_DATA) continue;
        if (type == SQL_C_TYPE_TIMESTAMP) check(valid_timestamp(&buf.ts) && buf.ts.fraction < 1000000000u);
        if (type == SQL_C_TYPE_DATE) check(valid_date(buf.date.year, buf.date.month, buf.date.day));
        if (type == SQL_C_TYPE_TIME) check(valid_time(buf.time.hour, buf.time.minute, buf.time.second));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const PaypalTable *table = paypal_table_at(data[0] % kPaypalTableCount);
    if (!table) return 0;
    const int keyed = (data[0] & 0x80) ? 1 : 0;
    const bool list = scan_list_reply(table, keyed);
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

    PaypalIterator it{};
    it.table = table;
    it.keyed = keyed;
    it.piece_column = -1;
    std::string error;
    const bool loaded = page_load_text(it.page, std::string(text), table, list, error);
    check(loaded ? error.empty() : !error.empty() && !it.page.loaded && it.page.row_count == 0);

    json_t *root = json_loadb(text.data(), text.size(), 0, nullptr);
    if (root && depth_of(root) < kJsonMaxDepth && (loaded || text.find('\0') == std::string::npos)) {
        check(loaded);
        const std::vector<RefRow> rows = reference_rows(root, table, list);
        check(static_cast<size_t>(it.page.row_count) == rows.size());
        const bool child = (table->flags & kTableChildRows) && table->sub_key;
        for (size_t r = 0; r < rows.size() && r < 200; ++r)
            for (int c = 0; c < table->column_count; ++c)
                check_same(reply_page_value(it.page, static_cast<int32_t>(r), c),
                           reference_value(root, rows[r], table->columns[c], child));
    }
    if (root) json_decref(root);

    (void)ExtractRows(&it, table, keyed);
    int rows = 0;
    while (rows < 200 && SQINextRow(&it) == DAL_OK) {
        ++rows;
        for (int c = 1; c <= table->column_count; ++c) check_column(&it, table, c);
    }
    scan_release(&it);
    return 0;
}
