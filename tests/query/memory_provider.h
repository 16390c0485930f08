// A data provider held in memory, for tests: generated tables served
// through the real DAL slots (table and column information, iterators,
// restrictions, rows, column reads). It can ignore every restriction it is
// given, counts the scans it started, and loads the same rows into SQLite
// for differential tests.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "dal/provider.h"

struct DalRecord;

namespace memprov {

// Exact numerics, timestamps and long texts hold their text in Cell::s
// ("-12.50", "2024-02-29 13:05:00.5"), as dates do.
enum class Type { kInteger, kDouble, kText, kBigint, kDate, kNumeric, kTimestamp, kLongText };

struct Cell {
    bool null = true;
    int64_t i = 0;
    double d = 0;
    std::string s;
    static Cell of(int64_t v) { Cell c; c.null = false; c.i = v; return c; }
    static Cell real(double v) { Cell c; c.null = false; c.d = v; return c; }
    static Cell text(std::string v) { Cell c; c.null = false; c.s = std::move(v); return c; }
};

struct Column {
    std::string name;
    Type type;
    int length = 0;  // text columns; the precision of numeric ones
    int scale = 0;   // numeric columns
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<Cell> cells;  // row by row, columns.size() cells each
    // Row identity: the first `key_columns` columns are the primary key;
    // `identity` is the answer to SQI_INFO_ROW_IDENTITY (kRowIdentity*).
    // Special column -1 is column 1's integer, -2 is "K" and column 1's
    // text, or `key_string` of that row when set.
    int key_columns = 0;
    int32_t identity = 0;
    std::vector<std::string> key_string;
    // A column (from 1) without an equality on which a scan is refused, as
    // PayPal's child tables refuse one without their parent's id; 0: none.
    int required_key = 0;

    size_t row_count() const { return columns.empty() ? 0 : cells.size() / columns.size(); }
    const Cell *row(size_t r) const { return &cells[r * columns.size()]; }
    void add_row(std::vector<Cell> row) {
        for (Cell &c : row) cells.push_back(std::move(c));
    }
    Cell &at(size_t r, size_t c) { return cells[r * columns.size() + c]; }
    /// Removes row `r` (an open scan may then skip a row).
    void erase_row(size_t r) {
        auto first = cells.begin() + static_cast<long>(r * columns.size());
        cells.erase(first, first + static_cast<long>(columns.size()));
        if (r < key_string.size()) key_string.erase(key_string.begin() + static_cast<long>(r));
    }
    std::string special_key(size_t r) const;
};

struct StartedScan {
    std::string table;
    int restriction_count;  // as given to the provider
    std::vector<std::string> restrictions;  // "COLUMN op value"
};

struct Provider {
    std::vector<Table> tables;
    bool ignore_restrictions = false;  // returns every row whatever it is asked
    int32_t capabilities = 1 | 2 | 4;  // answer to information code 1
    int32_t lazy = 1;                  // answer to information code 4
    bool id_is_key = true;             // SQLStatistics: a unique index on column ID
    const Table *any_table = nullptr;  // when set, answers for every other name (fuzzing)
    std::vector<StartedScan> scans;    // every SQIStartQuery, in order
    long info_id = -1;                 // NextRow gives DAL_INFO for the row whose first column is this
    std::vector<std::string> fetches;  // every SQIFetch: "TABLE key=value ..."
    std::vector<std::string> calls;    // every procedure run: "NAME arg|arg|..." (- left out, NULL)
    long rows_delivered = 0;
    long open_iterators = 0;
    DalRecord *dal = nullptr;          // set by install: refusals are posted through it

    const Table *find(const std::string &name) const;
};

/// The provider's one procedure, ECHO(TXT VARCHAR(5) required, AMOUNT
/// DECIMAL(10,2) default 1.00, FLAG BIT, DAY DATE, N INTEGER): one result
/// row with the text each argument arrived as ("-" when left out, NULL when
/// given NULL) and TOTAL, DECIMAL(10,2) 12.50.
extern const ProcedureInfo kEchoProcedure;

/// Puts `p` in place of every provider of `dal` (index 0). The slots stay
/// valid until uninstall.
void install(DalRecord *dal, Provider *p, void *pool_owner);
void uninstall(DalRecord *dal);

/// Creates and fills the tables in SQLite (INTEGER, REAL, TEXT columns;
/// exact numerics as REAL, dates, timestamps and long texts as TEXT).
void load_into_sqlite(const Provider &p, sqlite3 *db);

/// Rows generated from a seed: ids 1..n, small integers with duplicates and
/// NULLs, doubles in quarters, short texts.
Table generate(const std::string &name, int rows, unsigned seed, bool with_nulls);

/// A child table that needs its key: for each ID from -3 to 40, none to
/// three rows (POS 1, 2, ...) with A, B and S as generate() makes them
/// (NULLs among them); scans without an equality on ID are refused.
Table generate_children(const std::string &name, unsigned seed);

/// Rows of the other column types from a seed: ID, D (DATE), TS (TIMESTAMP,
/// some with fractions), M2 NUMERIC(10,2), M4 NUMERIC(12,4), M0
/// NUMERIC(9,0) (negative values, duplicates across scales), L (LONG
/// VARCHAR: texts of up to 3,000 bytes that share long prefixes and differ
/// only at their end) and S (short text); every column but ID has NULLs.
Table generate_typed(const std::string &name, int rows, unsigned seed);

}  // namespace memprov
