// The bound columns of a fetch, resolved once per block rather than once per
// value: which columns are bound, their C type with SQL_C_DEFAULT resolved,
// the conversion facts of the result column, the address of entry 0 of each
// buffer (bind offset applied) and the step from one entry to the next, and
// the conversion to call. Delivering a row then only moves values.
//
// The plan lives in the statement's run record and is only trusted while the
// fetch that built it runs: between calls the application may bind, unbind
// or move its buffers, so a delivery outside a fetch (SQLSetPos refreshing a
// row) builds a fresh one.
//
// Exports: BoundColumn, FetchPlan, fetch_plan_build, fetch_plan_prefetch,
// fetch_plan_deliver.
#pragma once

#include <cstdint>

#include "odbc/convert.h"
#include "odbc/handles.h"

/// One bound column of the plan.
struct BoundColumn {
    int32_t column;             // result column (0: the bookmark)
    int32_t c_type;             // as bound (SQL_C_DEFAULT is convert_value's to resolve)
    ConvertColumn facts;        // the IRD's type, precision, scale; SQL_ATTR_MAX_LENGTH
    uintptr_t data;             // entry 0 of the data buffer, 0 when unbound
    uintptr_t length;           // entry 0 of the length buffer, 0 when unbound
    uintptr_t indicator;        // entry 0 of the indicator buffer, 0 when unbound
    // Bytes from one entry to the next; 0 for a buffer not bound, so that an
    // entry's address is one multiply-add with no test (0 stays 0).
    SQLULEN data_step;
    SQLULEN length_step;
    SQLULEN indicator_step;
    SQLLEN capacity;            // SQL_DESC_OCTET_LENGTH: the data buffer's bytes
    ConvertFunction convert;    // conversion_for(the resolved C type)
    int32_t text;               // 1: a character target (put_fitting_text first)
    // 1: a character target with room and no SQL_ATTR_MAX_LENGTH, which an
    // unread text is written into by the provider itself.
    int32_t direct_text;
};

/// The statement's resolved bindings (pool memory of the statement).
struct FetchPlan {
    BoundColumn *columns;
    int32_t count;
    int32_t capacity;           // entries allocated
    int32_t ready;              // 1 while the fetch that built it runs
    int64_t entries;            // entries of the block being fetched (0: none ahead)
};

/// Resolves the statement's bound columns into `plan`, reusing its entries.
/// 0, or -1 with HY001 posted.
[[nodiscard]] int fetch_plan_build(STMT *stmt, FetchPlan *plan);

/// Asks the processor to bring entry `index` of every bound data buffer into
/// the cache ahead of its writes (a hint: nothing is read or written).
void fetch_plan_prefetch(const FetchPlan &plan, int64_t index);

/// Converts row `values` (1-based by column; values[0] the bookmark) into
/// entry `index` of every bound buffer, and prefetches entry index + 1 (as
/// much of it as this row's value took). 0, 1 (a warning was posted), -1 (an
/// error was posted; the other columns are still delivered, except when a
/// value is missing), kRowUnreadable (a value the engine handed out unread
/// could not be read; posted).
[[nodiscard]] int fetch_plan_deliver(STMT *stmt, const FetchPlan &plan, int64_t index, Value *const *values);
