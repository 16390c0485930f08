// Fuzz target: a PayPal reply body mapped into rows. The first byte picks
// the catalogue table (and whether the scan counts as keyed); the rest is
// the JSON reply. Every row is read in every buffer type, character data in
// small pieces, as the engine would, and every read is checked against the
// conversion rules:
// - NULL only for an absent member, JSON null, or an empty array read as text;
// - a timestamp, date or time read is a valid one;
// - the text of a NUMERIC column is a number the engine reads in NUMERIC(19, scale);
// - a text read in pieces joins to the text of one read.
#include <sqlext.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sqi/catalog.h"
#include "sqi/scan.h"
#include "sqi/value_rules.h"
#include "support/calendar.h"
#include "support/numeric.h"

namespace {

void check(bool ok) {
    if (!ok) abort();
}

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
    const json_t *v = scan_column_value(it, c - 1);
    const bool absent = !v || json_is_null(v);
    std::string small, whole;
    bool small_null, whole_null;
    bool ok = read_text(it, c, 7, small, &small_null);
    check(ok == read_text(it, c, 64, whole, &whole_null));
    if (ok) {
        check(small_null == whole_null && small == whole);
        const bool empty_array = v && json_is_array(v) && json_array_size(v) == 0;
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
    json_t *root = json_loadb(reinterpret_cast<const char *>(data + 1), size - 1, JSON_DECODE_ANY, nullptr);
    if (!root || !table) {
        if (root) json_decref(root);
        return 0;
    }
    PaypalIterator it{};
    it.table = table;
    it.root = root;
    it.keyed = (data[0] & 0x80) ? 1 : 0;
    it.piece_column = -1;
    (void)ExtractRows(&it, table, it.keyed);
    int rows = 0;
    while (rows < 200 && SQINextRow(&it) == DAL_OK) {
        ++rows;
        for (int c = 1; c <= table->column_count; ++c) check_column(&it, table, c);
    }
    scan_release(&it);
    return 0;
}
