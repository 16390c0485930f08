// Query translation: SQIStartQuery turns a scan of one PayPal table and the
// restrictions pushed to it into the first GET request (key in the path,
// filters as query parameters, paging parameters), sends it (or takes the
// reply from the cache) and extracts the first page's rows.
//
// Exports: SQIStartQuery, KeyFromRestrictions, ApplyFilters,
// restriction_value_text, adjust_strict_bound, scan_post, scan_release.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "sqi/amount_range.h"
#include "support/value.h"
#include "transport/paypal_trace.h"
#include "sqi/scan.h"
#include "support/calendar.h"
#include "support/long_buffer.h"
#include "support/numeric.h"

namespace {

std::string format(const char *fmt, const char *arg) {
    char buf[512];
    snprintf(buf, sizeof buf, fmt, arg);
    return buf;
}

void post_must_specify(const PaypalIterator *it, const PaypalColumn *column) {
    scan_post(it, format("Field '%s' must be specified in query", column->name).c_str());
}

const PaypalColumn *restriction_column(const PaypalTable *table, const Restriction *r) {
    if (!r || !r->column) return nullptr;
    int index = paypal_find_column(table, r->column->column);
    return index < 0 ? nullptr : &table->columns[index];
}

void timestamp_text(const TIMESTAMP_STRUCT &t, std::string &out) {
    char buf[64];
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
             t.second);
    out = buf;
}

// Reads "YYYY-MM-DD[T ]HH:MM:SS" (and an optional "Z") exactly; the form a
// character bound on a time column is written in.
bool parse_plain_timestamp(const std::string &text, TIMESTAMP_STRUCT *t) {
    int y, mo, d, h, mi, s, used = 0;
    char sep;
    if (sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &s, &used) != 7) return false;
    if (sep != 'T' && sep != ' ') return false;
    if (!(text.size() == static_cast<size_t>(used) || (text.size() == static_cast<size_t>(used) + 1 && text.back() == 'Z')))
        return false;
    *t = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(d),
                          static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), 0};
    return true;
}

}  // namespace

void scan_post(const PaypalIterator *it, const char *message) { scan_post_state(it, "HY000", message); }

void scan_post_state(const PaypalIterator *it, const char *sqlstate, const char *message) {
    const PaypalEnv *env = it->env;
    if (env && env->session && env->session->context)
        PP_TRACE(&env->session->context->trace, kPpTraceError, "%s", message);
    if (!env || !env->link.callback) return;
    DalServiceRequest r{};
    r.handle = it->owner ? it->owner : env->owner;
    r.origin = kPaypalComponent;
    r.sqlstate = sqlstate;
    r.message = message;
    (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
}

void scan_release(PaypalIterator *it) {
    it->prefetch.reset();  // joins its workers before the pages they fill go
    it->history.reset();
    reply_page_release(it->page);
    for (EchoValue &f : it->filters) f = EchoValue{};
    it->request.reset();
    it->table = nullptr;
    it->keyed = 0;
    it->fresh = 0;
    it->pages_read = it->requested_page = 0;
    it->page_cursor.clear();
    it->next_cursor.clear();
    it->page_rows = it->list_rows = it->current_row = 0;
    it->next_page = -1;
    it->single_object = 0;
    it->piece_offset = 0;
    it->piece_column = -1;
    it->windows = ScanWindows{};
    it->piece_text.clear();
    it->piece_view = {};
    it->piece_text_ready = 0;
    it->text_rows.clear();
    it->text_row = 0;
}

bool restriction_value_text(const Value *v, std::string &out) {
    out.clear();
    if (!v || v->is_null) {
        out = "NULL";
        return true;
    }
    char buf[128];
    switch (v->type) {
        case VT_CHAR:
            if (v->data.s) out.assign(v->data.s, v->length > 0 ? static_cast<size_t>(v->length) : 0);
            return true;
        case VT_LONG_CHAR:
            if (v->long_buffer) out.assign(long_buffer_data(v->long_buffer), long_buffer_length(v->long_buffer));
            return true;
        case VT_INTEGER:
        case VT_BIT:
            snprintf(buf, sizeof buf, "%d", v->data.i);
            break;
        case VT_BIGINT:
            snprintf(buf, sizeof buf, "%" PRId64, v->data.big);
            break;
        case VT_DOUBLE: {
            snprintf(buf, sizeof buf, "%f", v->data.d);
            size_t n = strlen(buf);
            if (strchr(buf, '.')) {
                while (n > 0 && buf[n - 1] == '0') buf[--n] = 0;
                if (n > 0 && buf[n - 1] == '.') buf[--n] = 0;
            }
            break;
        }
        case VT_NUMERIC:
            (void)numeric_to_string(&v->data.num, buf, sizeof buf, nullptr);
            break;
        case VT_DATE:
            snprintf(buf, sizeof buf, "%04d-%02d-%02d", v->data.date.year, v->data.date.month, v->data.date.day);
            break;
        case VT_TIME:
            snprintf(buf, sizeof buf, "%02d:%02d:%02d", v->data.time.hour, v->data.time.minute, v->data.time.second);
            break;
        case VT_TIMESTAMP:
            timestamp_text(v->data.ts, out);
            return true;
        case VT_BINARY: {
            // Two hex digits per byte, so that 0x0A and 0xA0 stay apart.
            static const char kHex[] = "0123456789ABCDEF";
            out = "0x";
            for (int32_t i = 0; i < v->length && v->data.bytes; ++i) {
                out += kHex[v->data.bytes[i] >> 4];
                out += kHex[v->data.bytes[i] & 15];
            }
            return true;
        }
        default:
            return false;
    }
    out = buf;
    return true;
}

bool adjust_strict_bound(std::string &text, int direction) {
    TIMESTAMP_STRUCT t{};
    if (parse_plain_timestamp(text, &t)) {
        int64_t seconds = ((ymd_to_jdnl(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
        seconds += direction;
        int64_t day = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
        int64_t rest = seconds - day * 86400;
        int64_t year;
        int month, mday;
        jdnl_to_ymd(day, &year, &month, &mday);
        t = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                             static_cast<SQLUSMALLINT>(mday), static_cast<SQLUSMALLINT>(rest / 3600),
                             static_cast<SQLUSMALLINT>(rest / 60 % 60), static_cast<SQLUSMALLINT>(rest % 60), 0};
        timestamp_text(t, text);
        return true;
    }
    // Integers: an optional sign and digits only.
    size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (text.size() > start && text.size() < 19 &&
        text.find_first_not_of("0123456789", start) == std::string::npos) {
        long long n = strtoll(text.c_str(), nullptr, 10) + direction;
        text = std::to_string(n);
        return true;
    }
    return false;
}

int KeyFromRestrictions(PaypalIterator *it, int count, Restriction **restrictions, const PaypalTable *table,
                        std::string &key, int required) {
    key.clear();
    const PaypalColumn *matched = nullptr;
    for (int i = 0; i < count; ++i) {
        Restriction *r = restrictions[i];
        if (!r || (!r->value && !r->value_expression)) continue;
        const PaypalColumn *c = restriction_column(table, r);
        if (!c || !(c->flags & kColumnPathKey) || r->op != RESTRICT_EQ) continue;
        std::string text;
        if (!restriction_value_text(r->value, text)) continue;
        key = std::move(text);
        matched = c;
    }
    if (required && !matched) {
        for (const PaypalColumn *c = table->columns; c->name; ++c) {
            if (c->flags & kColumnPathKey) {
                post_must_specify(it, c);
                return 1;
            }
        }
    }
    return 0;
}

namespace {

// One filter parameter chosen from the restrictions on its column.
struct FilterChoice {
    const PaypalColumn *column = nullptr;
    int slot = -1;        // FilterSlot, or -2 for sent-but-not-echoed equalities
    bool equality = false;
    std::string text;     // the inclusive bound or the equal value
};

// Orders two filter texts: integers by value, everything else (timestamps in
// one fixed form included) by bytes.
int compare_filter_text(const std::string &a, const std::string &b) {
    char *end_a = nullptr, *end_b = nullptr;
    long long x = strtoll(a.c_str(), &end_a, 10), y = strtoll(b.c_str(), &end_b, 10);
    if (!a.empty() && !b.empty() && end_a && !*end_a && end_b && !*end_b) return x < y ? -1 : x > y ? 1 : 0;
    int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The text of a bound, made inclusive: a timestamp with a fraction of a
// second rounds outward to a whole second that still satisfies the
// restriction (> and >= up, < and <= down); a strict bound without one moves
// to the adjacent value. False when the bound cannot be sent.
bool inclusive_bound(const Restriction *r, int lower, std::string &text) {
    const Value *v = r->value;
    if (v && !v->is_null && v->type == VT_TIMESTAMP && v->data.ts.fraction != 0) {
        if (r->op == RESTRICT_EQ) return false;  // no whole second equals it
        TIMESTAMP_STRUCT t = v->data.ts;
        t.fraction = 0;
        if (lower && timestamp_add_noconvert(&t, 1) != 0) return false;
        timestamp_text(t, text);
        return true;
    }
    if (!restriction_value_text(v, text)) return false;
    int direction = 0;
    if (r->op == RESTRICT_GT) direction = 1;
    if (r->op == RESTRICT_LT) direction = -1;
    return direction == 0 || adjust_strict_bound(text, direction);
}

// The slot a remembering filter kind echoes from (-2: sent, not echoed).
int remembered_slot(uint64_t kind) {
    if (kind == kColumnRemember1) return static_cast<int>(FilterSlot::kRemember1);
    if (kind == kColumnRemember2) return static_cast<int>(FilterSlot::kRemember2);
    if (kind == kColumnRemember3) return static_cast<int>(FilterSlot::kRemember3);
    return -2;
}

// Whether `text` is one of the values a parameter takes (any, without a list).
bool parameter_takes(const PaypalColumn *c, const std::string &text) {
    if (!c->parameter_values) return true;
    for (const char *const *v = c->parameter_values; *v; ++v)
        if (text == *v) return true;
    return false;
}

void post_parameter_values(const PaypalIterator *it, const PaypalColumn *c, const std::string &text) {
    std::string listed;
    for (const char *const *v = c->parameter_values; *v; ++v) {
        if (!listed.empty()) listed += v[1] ? ", '" : " or '";
        else listed += "'";
        listed += *v;
        listed += "'";
    }
    std::string message = std::string(c->name) + " takes " + listed + ", not '" + text + "'";
    scan_post_state(it, "22023", message.c_str());
}

}  // namespace

int ApplyFilters(PaypalIterator *it, WebRequest *req, int count, Restriction **restrictions,
                 const PaypalTable *table) {
    const PaypalColumn *need[3] = {nullptr, nullptr, nullptr};  // lower, upper, third
    for (const PaypalColumn *c = table->columns; c->name; ++c) {
        if (!(c->flags & kColumnMandatory)) continue;
        if (c->flags & kColumnLower) need[0] = c;
        if (c->flags & kColumnUpper) need[1] = c;
        if (c->flags & kColumnThird) need[2] = c;
    }
    // Several restrictions on one filter column: the tightest is sent (the
    // largest lower bound, the smallest upper bound; an equality wins), so
    // the order they were written in does not matter and the value rows echo
    // satisfies all of them.
    std::vector<FilterChoice> chosen;
    bool contradiction = false;
    for (int i = 0; i < count; ++i) {
        Restriction *r = restrictions[i];
        const PaypalColumn *c = restriction_column(table, r);
        if (!c || !c->parameter || !r->value) continue;
        uint64_t kind = paypal_filter_kind(c);
        int op = r->op;
        int slot;
        int lower = 0;
        if (kind == kColumnLower && (op == RESTRICT_GT || op == RESTRICT_GE || op == RESTRICT_EQ)) {
            slot = static_cast<int>(FilterSlot::kLower);
            lower = 1;
        } else if (kind == kColumnUpper && (op == RESTRICT_LT || op == RESTRICT_LE || op == RESTRICT_EQ)) {
            slot = static_cast<int>(FilterSlot::kUpper);
        } else if (kind == kColumnThird && (op == RESTRICT_LT || op == RESTRICT_LE || op == RESTRICT_EQ)) {
            slot = static_cast<int>(FilterSlot::kThird);
        } else if (kind == kColumnRemember1 && op == RESTRICT_EQ) {
            slot = static_cast<int>(FilterSlot::kRemember1);
        } else if (kind == kColumnRemember2 && op == RESTRICT_EQ) {
            slot = static_cast<int>(FilterSlot::kRemember2);
        } else if (kind == kColumnRemember3 && op == RESTRICT_EQ) {
            slot = static_cast<int>(FilterSlot::kRemember3);
        } else if (kind == kColumnEqual && op == RESTRICT_EQ) {
            slot = -2;  // sent, not echoed
        } else {
            continue;
        }
        std::string text;
        // A bound that cannot be made inclusive is not sent: echoing it would
        // fail the engine's own check on every row.
        if (!inclusive_bound(r, lower, text)) continue;
        if (c->parameter_values) {
            // "= NULL" holds for no row; any other value the API does not
            // take is the query's mistake, told before anything is sent.
            if (r->value->is_null) {
                contradiction = true;
                continue;
            }
            if (!parameter_takes(c, text)) {
                post_parameter_values(it, c, text);
                return 1;
            }
        }
        FilterChoice candidate{c, slot, op == RESTRICT_EQ, text};
        FilterChoice *have = nullptr;
        for (FilterChoice &f : chosen)
            if (f.column == c) have = &f;
        if (!have) {
            chosen.push_back(candidate);
            continue;
        }
        if (have->equality && candidate.equality) {
            if (compare_filter_text(have->text, candidate.text) != 0) contradiction = true;
            continue;
        }
        if (have->equality) continue;
        if (candidate.equality) {
            *have = candidate;
            continue;
        }
        int order = compare_filter_text(candidate.text, have->text);
        if ((lower && order > 0) || (!lower && order < 0)) *have = candidate;
    }
    // A parameter whose API default is not what a table of every row needs
    // is sent with the catalogue's first value when no restriction gave one
    // (the transaction search: all records, not only balance-affecting).
    for (const PaypalColumn *c = table->columns; c->name; ++c) {
        if (!c->parameter_values || !c->parameter || !c->parameter_values[0]) continue;
        bool given = false;
        for (const FilterChoice &f : chosen) given = given || f.column == c;
        if (!given) chosen.push_back(FilterChoice{c, remembered_slot(paypal_filter_kind(c)), true, c->parameter_values[0]});
    }
    bool met[3] = {false, false, false};
    for (const FilterChoice &f : chosen) {
        std::string text = f.text;
        JsonKind kind = JsonKind::kString;
        if (paypal_filter_kind(f.column) == kColumnRemember1 && f.column->sql_type == SQL_TINYINT) {
            bool truth = !(text == "0" || text == "NULL" || text == "false" || text == "False");
            text = truth ? "true" : "false";
            kind = truth ? JsonKind::kTrue : JsonKind::kFalse;
        }
        AddParameter(req, f.column->parameter, text, 0);
        if (f.slot >= 0) {
            it->filters[f.slot] = EchoValue{kind, text};
            if (f.slot <= 2) met[f.slot] = true;
        }
    }
    int missing = 0;
    for (int k = 0; k < 3; ++k) {
        if (need[k] && !met[k]) {
            post_must_specify(it, need[k]);
            ++missing;
        }
    }
    if (missing) return 1;
    if (contradiction) return 2;
    if (table->flags & kTableSchema) AddParameter(req, "schema", "paypalv1.1", 0);
    return 0;
}

int SQIStartQuery(void *handle, TableInfo *info, const ListNode *, const ListNode *, int count, Restriction **restrictions) {
    auto *it = static_cast<PaypalIterator *>(handle);
    PaypalEnv *env = it->env;
    if (!env || !env->session || !env->session->context) return DAL_NOT_MINE;
    PaypalContext *ctx = env->session->context.get();
    PP_TRACE(&ctx->trace, kPpTraceDetail, "SQIStartQuery");
    const PaypalTable *table = info ? paypal_find_table(info->table) : nullptr;
    if (!table) return DAL_NOT_MINE;
    scan_release(it);
    it->mode = kQueryRows;
    it->at_end = 0;
    it->table = table;
    it->table_index = paypal_table_index(table->name);
    int n = count < 0 ? -count : count;
    if (env->filter_local && n > 0) n = 0;
    if (!restrictions) n = 0;

    std::string key;
    if ((table->flags & kTableKeyRequired) && KeyFromRestrictions(it, n, restrictions, table, key, 1) != 0)
        return DAL_ERROR;
    if (table->flags & kTableKeyOptional) (void)KeyFromRestrictions(it, n, restrictions, table, key, 0);
    std::string path = table->endpoint;
    if (!key.empty()) {
        // The key is percent-encoded into the path: it can never add a
        // segment, a query or a fragment. A control character in it is
        // still a mistake to report rather than send encoded.
        if (HasControlChar(key)) {
            scan_post(it, "A key value holds a control character (such as a line break); it is not sent");
            return DAL_ERROR;
        }
        path = EndpointWithKey(table->endpoint, key);
        it->keyed = 1;
        it->filters[static_cast<int>(FilterSlot::kPathKey)] = EchoValue{JsonKind::kString, key};
    }
    WebRequestPtr req = NewGetRequest(ctx, path, 1);
    if (!req) {
        scan_post(it, "Memory allocation error");
        return DAL_ERROR;
    }
    char size_text[16];
    // A table may page by its API's own maximum (the transaction search: 500).
    int page_size = table->page_size > 0 ? table->page_size : env->page_size > 0 ? env->page_size : kMaxPageSize;
    snprintf(size_text, sizeof size_text, "%d", page_size);
    if (!(table->flags & kTableNoPaging)) {
        switch (table->paging) {
            case PagingStyle::kNextLink:
                AddParameter(req.get(), "page_size", size_text, 0);
                break;
            case PagingStyle::kStartId:
                AddParameter(req.get(), "count", size_text, 0);
                break;
            default:
                AddParameter(req.get(), "page", "1", 0);
                AddParameter(req.get(), "page_size", size_text, 0);
                AddParameter(req.get(), "total_required", "true", 0);
                break;
        }
    }
    int filtered = ApplyFilters(it, req.get(), n, restrictions, table);
    if (filtered == 2) {
        // Two different equalities on one filter column: no row can match,
        // and nothing is asked of PayPal.
        it->at_end = 1;
        return DAL_OK;
    }
    if (filtered != 0) return DAL_ERROR;
    amount_range_filter(req.get(), n, restrictions, table);
    int windows = windows_begin(it, req.get(), static_cast<int64_t>(time(nullptr)));
    if (windows == DAL_ERROR) return DAL_ERROR;
    if (!(table->flags & kTableNoFields)) AddParameter(req.get(), "fields", "all", 0);
    if (table->flags & kTablePrefer) AddHeader(req.get(), "Prefer", "return=representation");
    it->requested_page = 1;
    if (windows == DAL_OK) {
        // Settled windows from the history store, when the connection has one.
        int kept = history_begin(it, req, static_cast<int64_t>(time(nullptr)));
        if (kept != kHistoryOff) return kept;
    }
    if (windows == DAL_NO_DATA) {  // an empty date range: nothing to ask for
        it->request = std::move(req);
        return ExtractRows(it, table, it->keyed);
    }
    if (scan_exchange(it, req.get()) != DAL_OK) return DAL_ERROR;
    it->request = std::move(req);
    it->pages_read = 1;
    (void)ExtractRows(it, table, it->keyed);
    // The first window may be empty: the scan starts at the first with rows.
    if (it->windows.active && it->list_rows == 0 && windows_next(it) == DAL_ERROR) return DAL_ERROR;
    return DAL_OK;
}
