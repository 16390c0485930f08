// Date windows of a scan (see windows.h): the range of the lower and upper
// filters split into consecutive windows of at most the table's window_days,
// the history check, and the move from one window to the next.
//
// Exports: windows_begin, windows_next, windows_time_text,
// windows_parse_time.
#include "sqi/windows.h"

#include <cstdio>

#include "transport/paypal_trace.h"
#include "sqi/history_scan.h"
#include "sqi/scan.h"
#include "support/calendar.h"

namespace {

constexpr int64_t kDaySeconds = 86400;
constexpr int64_t kUnixEpochJdn = 2440588;  // 1970-01-01
// Transactions cannot lie in the future: a range reaching past tomorrow is
// read up to tomorrow (the day of slack covers a server clock ahead of ours),
// so "EndTime <= '2100-01-01'" costs no empty windows.
constexpr int64_t kFutureSlack = kDaySeconds;

int64_t to_unix(int64_t year, int64_t month, int64_t day, int64_t h, int64_t mi, int64_t s) {
    return (ymd_to_jdnl(year, month, day) - kUnixEpochJdn) * kDaySeconds + h * 3600 + mi * 60 + s;
}

// The first second of the history a table keeps: `years` calendar years
// before `now` (29 February falls back to the 28th).
int64_t history_start(int64_t now, int years) {
    int64_t days = now >= 0 ? now / kDaySeconds : -((-now + kDaySeconds - 1) / kDaySeconds);
    int64_t rest = now - days * kDaySeconds;
    int64_t year;
    int month, day;
    jdnl_to_ymd(days + kUnixEpochJdn, &year, &month, &day);
    year -= years;
    int last = days_in_month(year, month);
    if (day > last) day = last;
    return to_unix(year, month, day, 0, 0, 0) + rest;
}

const char *filter_text(const PaypalIterator *it, FilterSlot slot) {
    const EchoValue &f = it->filters[static_cast<int>(slot)];
    return f.kind == JsonKind::kString ? f.text.c_str() : nullptr;
}

const char *range_parameter(const PaypalTable *table, uint64_t bound) {
    for (const PaypalColumn *c = table->columns; c->name; ++c)
        if ((c->flags & kColumnMandatory) && paypal_filter_kind(c) == bound) return c->parameter;
    return nullptr;
}

const char *range_column(const PaypalTable *table, uint64_t bound) {
    for (const PaypalColumn *c = table->columns; c->name; ++c)
        if ((c->flags & kColumnMandatory) && paypal_filter_kind(c) == bound) return c->name;
    return "?";
}

// Puts the current window's bounds on `req` and makes page 1 the next read.
void put_window(PaypalIterator *it, WebRequest *req) {
    ScanWindows &w = it->windows;
    AddParameter(req, w.lower_param, windows_time_text(w.window_start), 0);
    AddParameter(req, w.upper_param, windows_time_text(w.window_end), 0);
    ++w.windows_read;
    if (it->env && it->env->session && it->env->session->context)
        PP_TRACE(&it->env->session->context->trace, kPpTraceDetail, "window %d: %s .. %s", w.windows_read,
                 windows_time_text(w.window_start).c_str(), windows_time_text(w.window_end).c_str());
}

void set_window(ScanWindows &w, int64_t start, int days) {
    w.window_start = start;
    int64_t end = start + days * kDaySeconds - 1;
    w.window_end = end < w.range_end ? end : w.range_end;
}

}  // namespace

bool windows_parse_time(const std::string &text, int64_t *out) {
    int y, mo, d, h = 0, mi = 0, s = 0, used = 0;
    const char *p = text.c_str();
    if (text.size() == 10) {
        if (sscanf(p, "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3 || used != 10) return false;
    } else {
        char sep;
        if (sscanf(p, "%4d-%2d-%2d%c%2d:%2d:%2d%n", &y, &mo, &d, &sep, &h, &mi, &s, &used) != 7) return false;
        if ((sep != 'T' && sep != ' ') || used != 19) return false;
        if (!(text.size() == 19 || (text.size() == 20 && text.back() == 'Z'))) return false;
    }
    if (!valid_date(y, mo, d) || !valid_time(h, mi, s) || h > 23 || s > 59) return false;
    *out = to_unix(y, mo, d, h, mi, s);
    return true;
}

std::string windows_time_text(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / kDaySeconds : -((-seconds + kDaySeconds - 1) / kDaySeconds);
    int64_t rest = seconds - days * kDaySeconds;
    int64_t year;
    int month, day;
    jdnl_to_ymd(days + kUnixEpochJdn, &year, &month, &day);
    char buf[48];
    snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
             static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return buf;
}

int windows_begin(PaypalIterator *it, WebRequest *req, int64_t now) {
    const PaypalTable *table = it->table;
    it->windows = ScanWindows{};
    if (!table || table->window_days <= 0) return DAL_OK;
    ScanWindows &w = it->windows;
    w.lower_param = range_parameter(table, kColumnLower);
    w.upper_param = range_parameter(table, kColumnUpper);
    const char *lower = filter_text(it, FilterSlot::kLower);
    const char *upper = filter_text(it, FilterSlot::kUpper);
    // ApplyFilters has refused a scan without both bounds.
    if (!w.lower_param || !w.upper_param || !lower || !upper) return DAL_OK;
    int64_t low, high;
    char message[512];
    const struct {
        const char *text;
        int64_t *out;
        uint64_t bound;
    } bounds[] = {{lower, &low, kColumnLower}, {upper, &high, kColumnUpper}};
    for (const auto &b : bounds) {
        if (!windows_parse_time(b.text, b.out)) {
            snprintf(message, sizeof message, "%s must be a timestamp, not '%.200s'", range_column(table, b.bound),
                     b.text);
            scan_post(it, message);
            return DAL_ERROR;
        }
    }
    // Rows echo the bounds: in the one form a timestamp column reads, so a
    // date-only bound ("2024-03-01") still holds for every row it brought.
    const FilterSlot slots[] = {FilterSlot::kLower, FilterSlot::kUpper};
    const int64_t values[] = {low, high};
    for (int k = 0; k < 2; ++k)
        it->filters[static_cast<int>(slots[k])] = EchoValue{JsonKind::kString, windows_time_text(values[k])};
    if (table->history_years > 0) {
        int64_t earliest = history_start(now, table->history_years);
        // A store that keeps the part PayPal no longer serves answers it.
        if (low < earliest && !history_covers(it, req, low, earliest - 1)) {
            snprintf(message, sizeof message,
                     "%s %s is earlier than the %d years of history %s keeps: the earliest is %s",
                     range_column(table, kColumnLower), windows_time_text(low).c_str(), table->history_years,
                     table->name, windows_time_text(earliest).c_str());
            scan_post(it, message);
            return DAL_ERROR;
        }
    }
    if (high > now + kFutureSlack) high = now + kFutureSlack;
    if (low > high) return DAL_NO_DATA;
    w.active = 1;
    w.range_end = high;
    set_window(w, low, table->window_days);
    put_window(it, req);
    return DAL_OK;
}

int windows_next(PaypalIterator *it) {
    ScanWindows &w = it->windows;
    if (!w.active || !it->request || !it->table) return DAL_NO_DATA;
    WebRequest *req = it->request.get();
    while (w.window_end < w.range_end) {
        set_window(w, w.window_end + 1, it->table->window_days);
        put_window(it, req);
        AddParameter(req, "page", "1", 0);
        it->requested_page = 1;
        it->page_cursor.clear();
        if (scan_read_page(it, req) != DAL_OK) return DAL_ERROR;
        (void)ExtractRows(it, it->table, it->keyed);
        if (it->list_rows > 0) {
            it->at_end = 0;
            return DAL_OK;
        }
    }
    return DAL_NO_DATA;
}
