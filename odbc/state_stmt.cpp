// Statement state machine, S0 to S12.
//
// The refusal table below has one row per group of function ids and one
// column per state group, exactly as the ODBC state tables give them; cells
// that depend on the statement (its result-set count, its prepared flag, the
// attribute or field asked for) have their own codes. The moves made with the
// outcome follow in stmt_apply.
#include <array>
#include <cstdint>
#include <iterator>

#include "odbc/state.h"

namespace {

enum class Cell : uint8_t {
    Ok,
    HY010,
    E24000,
    Poll,                       // S11/S12: the exported function polls instead
    OkIfNoResults,              // ok if count 0, else 24000
    OkIfBelowTwoResults,        // ok if count below 2, else 24000
    CountFieldElse07005,        // ok for field 1001 (SQL_DESC_COUNT), else 07005
    E07005,                     // prepared statement not a cursor-specification
    E24000IfNotPrepared,        // SQLExecute in S4
    E24000IfPreparedElseHY010,  // SQLExecute in S5-S7
    HY010ForIrd,                // descriptor reads in S1
    E24000ForIrd,               // descriptor reads in S4
    E24000ForRowNumber,         // SQLGetStmtAttr(SQL_ATTR_ROW_NUMBER) before a fetch
    HY010ForCursorAttrs,        // SQLSetStmtAttr of a cursor attribute once prepared
    E24000ForCursorAttrs,       // ... once executed
    HY011IfPreparedElseHY010,   // SQLSetStmtAttr while data is needed or running
    ParamDataCell,              // SQLParamData: S8, S10 ok; S9 HY010
    PutDataCell,                // SQLPutData: S9, S10 ok; S8 HY010
};

using C = Cell;

struct Row {
    std::array<int, 11> ids;  // function ids of the row (0 ends the list)
    Cell s1, s2, s3, s4, s5, s6, s7, s8_10, s11_12;
};

// clang-format off
constexpr Row kRows[] = {
    //  function ids                                          S1              S2                      S3       S4                      S5                          S6       S7       S8-S10                      S11-S12
    {{SQL_API_SQLBINDCOL, SQL_API_SQLGETCURSORNAME, SQL_API_SQLBINDPARAM},
                                                              C::Ok,          C::Ok,                  C::Ok,   C::Ok,                  C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLCOLATTRIBUTE},                               C::HY010,       C::CountFieldElse07005, C::Ok,   C::E24000,              C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLDESCRIBECOL},                                C::HY010,       C::E07005,              C::Ok,   C::E24000,              C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLEXECDIRECT},                                 C::Ok,          C::Ok,                  C::Ok,   C::OkIfNoResults,       C::E24000,                  C::E24000, C::E24000, C::E24000,               C::Poll},
    {{SQL_API_SQLEXECUTE},                                    C::HY010,       C::Ok,                  C::Ok,   C::E24000IfNotPrepared, C::E24000IfPreparedElseHY010, C::E24000IfPreparedElseHY010, C::E24000IfPreparedElseHY010, C::HY010, C::Poll},
    {{SQL_API_SQLFETCH, SQL_API_SQLFETCHSCROLL},              C::HY010,       C::HY010,               C::HY010, C::E24000,             C::Ok,                      C::Ok,   C::HY010, C::HY010,                  C::Poll},
    {{SQL_API_SQLFREESTMT},                                   C::Ok,          C::Ok,                  C::Ok,   C::Ok,                  C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLNUMPARAMS},        C::HY010,       C::Ok,                  C::Ok,   C::Ok,                  C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLPREPARE},                                    C::Ok,          C::Ok,                  C::Ok,   C::OkIfBelowTwoResults, C::E24000,                  C::E24000, C::E24000, C::HY010,                C::HY010},
    {{SQL_API_SQLROWCOUNT},                                   C::HY010,       C::HY010,               C::HY010, C::Ok,                 C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLSETCURSORNAME},                              C::Ok,          C::Ok,                  C::Ok,   C::E24000,              C::E24000,                  C::E24000, C::E24000, C::HY010,                C::HY010},
    {{SQL_API_SQLCOLUMNS, SQL_API_SQLGETTYPEINFO, SQL_API_SQLSPECIALCOLUMNS, SQL_API_SQLSTATISTICS, SQL_API_SQLTABLES,
      SQL_API_SQLCOLUMNPRIVILEGES, SQL_API_SQLFOREIGNKEYS, SQL_API_SQLPRIMARYKEYS, SQL_API_SQLPROCEDURECOLUMNS,
      SQL_API_SQLPROCEDURES, SQL_API_SQLTABLEPRIVILEGES},
                                                              C::Ok,          C::Ok,                  C::Ok,   C::OkIfNoResults,       C::E24000,                  C::E24000, C::E24000, C::HY010,                C::Poll},
    {{SQL_API_SQLGETDATA},                                    C::HY010,       C::HY010,               C::HY010, C::E24000,             C::E24000,                  C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLSETPOS},                                     C::HY010,       C::HY010,               C::HY010, C::E24000,             C::E24000,                  C::Ok,   C::Ok,   C::HY010,                   C::Poll},
    {{SQL_API_SQLPARAMDATA},                                  C::HY010,       C::HY010,               C::HY010, C::HY010,              C::HY010,                   C::HY010, C::HY010, C::ParamDataCell,         C::HY010},
    {{SQL_API_SQLPUTDATA},                                    C::HY010,       C::HY010,               C::HY010, C::HY010,              C::HY010,                   C::HY010, C::HY010, C::PutDataCell,           C::HY010},
    {{SQL_API_SQLDESCRIBEPARAM},                              C::HY010,       C::Ok,                  C::Ok,   C::HY010,               C::HY010,                   C::HY010, C::HY010, C::HY010,                 C::HY010},
    {{SQL_API_SQLEXTENDEDFETCH},                              C::HY010,       C::HY010,               C::HY010, C::E24000,             C::Ok,                      C::HY010, C::Ok,  C::HY010,                   C::HY010},
    {{SQL_API_SQLMORERESULTS},                                C::Ok,          C::Ok,                  C::Ok,   C::Ok,                  C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLCLOSECURSOR},                                C::E24000,      C::E24000,              C::E24000, C::E24000,            C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLGETDESCFIELD, SQL_API_SQLGETDESCREC},        C::HY010ForIrd, C::Ok,                  C::Ok,   C::E24000ForIrd,        C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLGETSTMTATTR},                                C::E24000ForRowNumber, C::E24000ForRowNumber, C::E24000ForRowNumber, C::E24000ForRowNumber, C::Ok, C::Ok, C::Ok, C::HY010,                C::HY010},
    {{SQL_API_SQLSETDESCFIELD, SQL_API_SQLSETDESCREC},        C::Ok,          C::Ok,                  C::Ok,   C::Ok,                  C::Ok,                      C::Ok,   C::Ok,   C::HY010,                   C::HY010},
    {{SQL_API_SQLSETSTMTATTR},                                C::Ok,          C::HY010ForCursorAttrs, C::HY010ForCursorAttrs, C::E24000ForCursorAttrs, C::E24000ForCursorAttrs, C::E24000ForCursorAttrs, C::E24000ForCursorAttrs, C::HY011IfPreparedElseHY010, C::HY011IfPreparedElseHY010},
};
// clang-format on

// Every statement function asks for its row on every call (SQLGetData once
// per column of every row), so the rows are found through an index by
// function id, built at compile time: the first row naming an id wins.
constexpr int kRowIndexSize = [] {
    int most = 0;
    for (const Row &r : kRows)
        for (int id : r.ids) most = id > most ? id : most;
    return most + 1;
}();

struct RowIndex {
    std::array<int8_t, kRowIndexSize> row{};  // index into kRows, or -1
    bool named_twice = false;
};

constexpr RowIndex kRowIndex = [] {
    RowIndex index;
    for (int8_t &i : index.row) i = -1;
    for (size_t r = 0; r < std::size(kRows); ++r)
        for (int id : kRows[r].ids) {
            if (id == 0) break;
            if (index.row[static_cast<size_t>(id)] >= 0) index.named_twice = true;
            else index.row[static_cast<size_t>(id)] = static_cast<int8_t>(r);
        }
    return index;
}();
static_assert(std::size(kRows) < 128, "row numbers must fit the index's int8_t");
static_assert(!kRowIndex.named_twice, "a function id belongs to one row only");

const Row *find_row(int function_id) {
    if (function_id <= 0 || function_id >= kRowIndexSize) return nullptr;
    const int r = kRowIndex.row[static_cast<size_t>(function_id)];
    return r < 0 ? nullptr : &kRows[r];
}

Cell cell_for(const Row &r, int32_t state) {
    switch (state) {
        case S1: return r.s1;
        case S2: return r.s2;
        case S3: return r.s3;
        case S4: return r.s4;
        case S5: return r.s5;
        case S6: return r.s6;
        case S7: return r.s7;
        case S8:
        case S9:
        case S10: return r.s8_10;
        case S11:
        case S12: return r.s11_12;
        default: return Cell::HY010;
    }
}

bool is_cursor_attribute(int attribute) {
    switch (attribute) {
        case SQL_ATTR_CURSOR_TYPE:         // 6
        case SQL_ATTR_CONCURRENCY:         // 7
        case SQL_ATTR_SIMULATE_CURSOR:     // 10
        case SQL_ATTR_USE_BOOKMARKS:       // 12
        case SQL_ATTR_CURSOR_SENSITIVITY:  // -1
        case SQL_ATTR_CURSOR_SCROLLABLE:   // -2
            return true;
        default: return false;
    }
}

bool is_catalog_function(int id) {
    const Row *r = find_row(id);
    return r && r == find_row(SQL_API_SQLTABLES);
}

// The SQLSTATE a cell refuses with in this statement's situation, or null.
const char *refusal(Cell cell, const STMT *stmt, int32_t state, const StmtArgs &args) {
    const int count = stmt->result_sets_left;
    const bool prepared = stmt->prepared != 0;
    switch (cell) {
        case Cell::Ok:
        case Cell::Poll: return nullptr;
        case Cell::HY010: return "HY010";
        case Cell::E24000: return "24000";
        case Cell::E07005: return "07005";
        case Cell::OkIfNoResults: return count == 0 ? nullptr : "24000";
        case Cell::OkIfBelowTwoResults: return count < 2 ? nullptr : "24000";
        case Cell::CountFieldElse07005: return args.a == SQL_DESC_COUNT ? nullptr : "07005";
        case Cell::E24000IfNotPrepared: return prepared ? nullptr : "24000";
        case Cell::E24000IfPreparedElseHY010: return prepared ? "24000" : "HY010";
        case Cell::HY010ForIrd: return args.a ? "HY010" : nullptr;
        case Cell::E24000ForIrd: return args.a ? "24000" : nullptr;
        case Cell::E24000ForRowNumber: return args.a == SQL_ATTR_ROW_NUMBER ? "24000" : nullptr;
        case Cell::HY010ForCursorAttrs: return is_cursor_attribute(args.a) ? "HY010" : nullptr;
        case Cell::E24000ForCursorAttrs: return is_cursor_attribute(args.a) ? "24000" : nullptr;
        case Cell::HY011IfPreparedElseHY010: return prepared ? "HY011" : "HY010";
        case Cell::ParamDataCell: return state == S9 ? "HY010" : nullptr;
        case Cell::PutDataCell: return state == S8 ? "HY010" : nullptr;
    }
    return nullptr;
}

const char *message_of(const char *sqlstate) {
    switch (sqlstate[0]) {
        case 'H': return sqlstate[3] == '1' && sqlstate[4] == '1' ? "Attribute cannot be set now"
                                                                  : "Function sequence error";
        case '2': return "Invalid cursor state";
        default: return "Prepared statement not a cursor-specification";
    }
}

int32_t results_state(const STMT *stmt) { return stmt->result_sets_left > 0 ? S5 : S4; }
int32_t prepared_or_allocated(const STMT *stmt) { return stmt->prepared ? S2 : S1; }

void enter_need_data(STMT *stmt, int function_id) {
    stmt->need_data_function = function_id;
    stmt->need_data_return_state = stmt->state;
    stmt->state = S8;
}

// The state a completed need-data sequence ends in.
int32_t need_data_done(const STMT *stmt) {
    switch (stmt->need_data_function) {
        case SQL_API_SQLEXECDIRECT:
        case SQL_API_SQLEXECUTE: return results_state(stmt);
        case SQL_API_SQLBULKOPERATIONS:
        case SQL_API_SQLSETPOS: return need_data_origin(stmt);
        default: return S11;
    }
}

void stmt_apply(STMT *stmt, int function_id, const StmtArgs &args) {
    const int32_t s = stmt->state;
    switch (function_id) {
        case SQL_API_SQLCANCEL:
            if (s >= S8 && s <= S10) stmt->state = need_data_origin(stmt);
            else if (s == S11 || s == S12) stmt->state = S12;
            return;
        case SQL_API_SQLEXECDIRECT:
            stmt->prepared = 0;
            if (!args.a) {
                if (!(s == S4 && stmt->result_sets_left > 0)) stmt->state = S1;
            } else if (args.b) {
                enter_need_data(stmt, SQL_API_SQLEXECDIRECT);
            } else {
                stmt->state = results_state(stmt);
            }
            return;
        case SQL_API_SQLEXECUTE:
            if (s == S2 || s == S3) {
                // A call that failed outright leaves the prepared statement as
                // it was; only an executed statement has results to fetch.
                if (args.c) return;
                if (args.b) enter_need_data(stmt, SQL_API_SQLEXECUTE);
                else stmt->state = results_state(stmt);
            } else if (s == S4) {
                if (!args.a) stmt->state = S2;
                else if (args.b) enter_need_data(stmt, SQL_API_SQLEXECUTE);
                else stmt->state = results_state(stmt);
            }
            return;
        case SQL_API_SQLFETCH:
        case SQL_API_SQLFETCHSCROLL:
            if (s == S5) stmt->state = S6;
            return;
        case SQL_API_SQLEXTENDEDFETCH:
            if (s == S5) stmt->state = S7;
            return;
        case SQL_API_SQLFREESTMT:
            if (args.a != SQL_CLOSE) return;
            if (s == S4) stmt->state = prepared_or_allocated(stmt);
            else if (s >= S5 && s <= S7) stmt->state = stmt->prepared ? S3 : S1;
            return;
        case SQL_API_SQLPREPARE:
            if (!args.a) {
                if (s >= S2 && s <= S4) stmt->state = S1;
            } else if (s >= S1 && s <= S4) {
                stmt->prepared = 1;
                stmt->state = stmt->result_sets_left > 0 ? S3 : S2;
            }
            return;
        case SQL_API_SQLSETPOS:
        case SQL_API_SQLBULKOPERATIONS:
            // Data at execution for bound columns: back through need_data_done.
            if (args.b) enter_need_data(stmt, function_id);
            return;
        case SQL_API_SQLPARAMDATA:
            if (s != S8 && s != S10) return;
            if (!args.a) stmt->state = need_data_origin(stmt);
            else if (args.b) stmt->state = S9;
            else stmt->state = need_data_done(stmt);
            return;
        case SQL_API_SQLPUTDATA:
            if (args.a) {
                if (s == S9) stmt->state = S10;
            } else if (s == S9 || s == S10) {
                stmt->state = need_data_origin(stmt);
            }
            return;
        case SQL_API_SQLMORERESULTS:
            if (s < S4 || s > S7) return;
            if (args.d) stmt->state = prepared_or_allocated(stmt);
            else if (args.a) stmt->state = args.c ? S5 : S4;
            return;
        case SQL_API_SQLCLOSECURSOR:
            if (s >= S5 && s <= S7) stmt->state = stmt->prepared ? S3 : S1;
            return;
        default:
            if (is_catalog_function(function_id)) {
                if (args.a) {
                    stmt->prepared = 0;
                    if (s >= S1 && s <= S4) stmt->state = S5;
                } else if (s >= S2 && s <= S4) {
                    stmt->state = S1;
                }
            }
            return;
    }
}

}  // namespace

int32_t need_data_origin(const STMT *stmt) {
    const int32_t ret = stmt->need_data_return_state;
    switch (stmt->need_data_function) {
        case SQL_API_SQLEXECDIRECT: return S1;
        case SQL_API_SQLEXECUTE: return stmt->result_sets_left > 0 ? S3 : S2;
        case SQL_API_SQLBULKOPERATIONS: return ret == S5 || ret == S6 ? ret : S5;
        case SQL_API_SQLSETPOS: return ret == S6 || ret == S7 ? ret : S6;
        default: return S1;
    }
}

int stmt_transition(int apply, STMT *stmt, int function_id, StmtArgs args) {
    const int32_t s = stmt->state;
    if (function_id == SQL_API_SQLALLOCHANDLE) {
        if (apply && args.a == SQL_HANDLE_STMT) {
            (void)conn_transition(1, stmt->dbc, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_STMT);
            stmt->state = S1;
        }
        return 0;
    }
    if (function_id == SQL_API_SQLFREEHANDLE) {
        if (args.a != SQL_HANDLE_STMT) return 0;
        if (s >= S8) {
            SetReturnCode(stmt->diag, SQL_ERROR);
            PostError(stmt->diag, 2, 0, 0, 0, 0, "ISO 9075", "HY010", "Function sequence error");
            return -1;
        }
        if (apply) {
            for (DESC *d : {stmt->implicit_ard, stmt->implicit_apd, stmt->implicit_ird, stmt->implicit_ipd})
                if (d) (void)desc_transition(1, d, SQL_API_SQLFREEHANDLE, SQL_HANDLE_STMT);
            (void)conn_transition(1, stmt->dbc, SQL_API_SQLFREEHANDLE, SQL_HANDLE_STMT);
            stmt->state = S0;
        }
        return 0;
    }
    if (!apply) {
        const Row *row = find_row(function_id);
        if (!row) return 0;  // never refused
        const char *state = refusal(cell_for(*row, s), stmt, s, args);
        if (!state) return 0;
        SetReturnCode(stmt->diag, SQL_ERROR);
        PostError(stmt->diag, 2, 0, 0, 0, 0, "ISO 9075", state, "%s", message_of(state));
        return -1;
    }
    if (function_id == SQL_API_SQLCLOSECURSOR &&
        conn_transition(1, stmt->dbc, SQL_API_SQLCLOSECURSOR) != 0)
        return -1;
    stmt_apply(stmt, function_id, args);
    return 0;
}

int desc_transition(int apply, DESC *desc, int function_id, int argument, int implicit) {
    if (!apply) return 0;
    if (function_id == SQL_API_SQLALLOCHANDLE && argument == SQL_HANDLE_DESC)
        desc->state = implicit ? DESC_IMPLICIT : DESC_EXPLICIT;
    else if (function_id == SQL_API_SQLFREEHANDLE &&
             (argument == SQL_HANDLE_STMT || argument == SQL_HANDLE_DESC))
        desc->state = DESC_FREED;
    return 0;
}
