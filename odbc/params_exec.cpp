// Parameter values at execution: binding checks, values of each parameter
// set, data at execution, parameter arrays with statuses.
#include <cstring>
#include <string>

#include "odbc/bound_buffer.h"
#include "odbc/convert_param.h"
#include "odbc/params.h"
#include "odbc/setpos_rows.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

int marker_count(STMT *stmt) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    return run && run->query ? query_parameter_count(run->query) : 0;
}

bool is_data_at_exec(const SQLLEN *indicator) {
    if (!indicator) return false;
    SQLLEN v = read_indicator(indicator);
    return v == SQL_DATA_AT_EXEC || v <= SQL_LEN_DATA_AT_EXEC_OFFSET;
}

// Where parameter n's data and indicator of set `row` are.
void locate(STMT *stmt, int n, SQLULEN row, void **data, SQLLEN **indicator) {
    const DescRecord &a = stmt->apd->records[n];
    BoundElement at = bound_element(stmt->apd->header, a, a.concise_type, static_cast<SQLLEN>(row));
    *data = at.data;
    *indicator = at.indicator;
}

ParamFacts facts_of(STMT *stmt, int n) {
    const DescRecord &a = stmt->apd->records[n];
    const DescRecord &i = stmt->ipd->records[n];
    ParamFacts f{};
    f.c_type = a.concise_type;
    f.sql_type = i.concise_type;
    f.column_size = a.length;
    f.scale = a.scale;
    f.odbc_version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    return f;
}

// Decodes the wide pieces gathered for the current parameter into its value.
SQLRETURN finish_wide_pieces(STMT *stmt) {
    Value *raw = stmt->param_wide;
    stmt->param_wide = nullptr;
    if (!raw || stmt->param_current <= 0) return SQL_SUCCESS;
    SQLLEN length = raw->length;
    Value *v = make_parameter_value(stmt->diag, raw->data.s, &length, facts_of(stmt, stmt->param_current),
                                    stmt->param_pool, nullptr);
    if (!v) return SQL_ERROR;
    stmt->ipd->records[stmt->param_current].value = v;
    return SQL_SUCCESS;
}

// Checks that every marker is bound; a fresh pool, every value cleared.
SQLRETURN begin_execution(STMT *stmt, int count) {
    stmt->param_current = 0;
    stmt->param_wide = nullptr;
    if (stmt->param_pool) cv_mem_release_handle(stmt->param_pool);
    stmt->param_pool = cv_mem_alloc_handle(stmt->pool);
    if (!stmt->param_pool) return post_error(stmt->diag, "HY001", "Memory allocation error");
    for (int n = 1; n <= count; n++) {
        if (stmt->apd->record_count < n || stmt->ipd->record_count < n ||
            (!stmt->apd->records[n].data_ptr && !stmt->apd->records[n].indicator_ptr))
            return post_error(stmt->diag, "HY000", "General error: %s", "Parameter not bound");
    }
    for (int n = 1; n <= count; n++) stmt->ipd->records[n].value = nullptr;
    return SQL_SUCCESS;
}

// Builds the values of set `row`, leaving data-at-execution parameters
// unbuilt. SQL_SUCCESS, or SQL_ERROR after posting.
SQLRETURN build_set(STMT *stmt, int count, SQLULEN row, bool *needs_data) {
    *needs_data = false;
    for (int n = 1; n <= count; n++) {
        void *data = nullptr;
        SQLLEN *indicator = nullptr;
        locate(stmt, n, row, &data, &indicator);
        DescRecord &ipd = stmt->ipd->records[n];
        if (is_data_at_exec(indicator)) {
            *needs_data = true;
            ipd.value = nullptr;
            continue;
        }
        Value *v = make_parameter_value(stmt->diag, data, indicator, facts_of(stmt, n), stmt->param_pool, nullptr);
        if (!v) return SQL_ERROR;
        ipd.value = v;
    }
    return SQL_SUCCESS;
}

// Keeps a procedure's result rows across the sets of a parameter array
// while it lives.
struct KeepCallRows {
    QueryStatement *query;
    explicit KeepCallRows(QueryStatement *q) : query(q) {
        if (query) query_keep_call_rows(query, 1);
    }
    ~KeepCallRows() {
        if (query) query_keep_call_rows(query, 0);
    }
    KeepCallRows(const KeepCallRows &) = delete;
    KeepCallRows &operator=(const KeepCallRows &) = delete;
};

// Runs the statement once per parameter set: statuses, processed count and
// the summed row count. The first failing set stops the run (later sets
// are marked unused): a change is never repeated or skipped silently.
SQLRETURN run_sets(STMT *stmt, int count, bool first_built) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    SQLULEN sets = stmt->apd->header.array_size > 0 ? stmt->apd->header.array_size : 1;
    bool query = run && run->query && query_statement_kind(run->query) == QueryStatementKind::kQuery;
    if (query || count == 0) sets = 1;
    // A procedure runs once per set; the result set holds the rows of every
    // set that ran.
    const bool call = run && run->query && query_statement_kind(run->query) == QueryStatementKind::kCall;
    KeepCallRows keep(call && sets > 1 ? run->query : nullptr);
    SQLUSMALLINT *status = stmt->ipd->header.array_status;
    SQLULEN *processed = stmt->ipd->header.rows_processed;
    if (processed) *processed = 0;
    for (SQLULEN i = 0; status && i < stmt->apd->header.array_size; i++) status[i] = SQL_PARAM_UNUSED;
    int64_t total = 0;
    SQLRETURN worst = SQL_SUCCESS;
    CvPool *execution_pool = stmt->param_pool;
    for (SQLULEN row = 0; row < sets; row++) {
        if (processed) *processed = row + 1;
        bool needs = false;
        // The values of a further set live only while it runs (a change
        // keeps nothing of them), so a long array needs no more memory
        // than one set.
        CvPool *set_pool = nullptr;
        SQLRETURN rc = SQL_SUCCESS;
        if (!(row == 0 && first_built)) {
            set_pool = cv_mem_alloc_handle(execution_pool);
            if (!set_pool) rc = post_error(stmt->diag, "HY001", "Memory allocation error");
            stmt->param_pool = set_pool;
            if (rc == SQL_SUCCESS) rc = build_set(stmt, count, row, &needs);
        }
        if (rc == SQL_SUCCESS && needs)
            rc = post_error(stmt->diag, "HYC00", "Optional feature not implemented: %s",
                            "data at execution in a parameter array");
        if (rc == SQL_SUCCESS) rc = stmt_execute_current(stmt);
        stmt->param_pool = execution_pool;
        if (set_pool) {
            for (int n = 1; n <= count; n++) stmt->ipd->records[n].value = nullptr;
            cv_mem_release_handle(set_pool);
        }
        if (rc == SQL_ERROR) {
            if (status) status[row] = SQL_PARAM_ERROR;
            stmt->row_count = total;
            return SQL_ERROR;
        }
        if (stmt->row_count > 0) total += stmt->row_count;
        if (status) status[row] = rc == SQL_SUCCESS_WITH_INFO ? SQL_PARAM_SUCCESS_WITH_INFO : SQL_PARAM_SUCCESS;
        if (rc == SQL_SUCCESS_WITH_INFO) worst = rc;
        else if (rc == SQL_NO_DATA && worst == SQL_SUCCESS && sets == 1) worst = SQL_NO_DATA;
    }
    if (!query) stmt->row_count = total;
    return worst;
}

// The next parameter waiting for data at execution, 0 when none.
int next_data_at_exec(STMT *stmt, int count) {
    for (int n = 1; n <= count; n++) {
        void *data = nullptr;
        SQLLEN *indicator = nullptr;
        locate(stmt, n, 0, &data, &indicator);
        if (is_data_at_exec(indicator) && !stmt->ipd->records[n].value) return n;
    }
    return 0;
}

}  // namespace

SQLRETURN stmt_execute_with_params(STMT *stmt) {
    int count = marker_count(stmt);
    if (begin_execution(stmt, count) != SQL_SUCCESS) return SQL_ERROR;
    if (count == 0) return run_sets(stmt, 0, true);
    bool needs = false;
    if (build_set(stmt, count, 0, &needs) != SQL_SUCCESS) return SQL_ERROR;
    if (needs) {
        if (stmt->apd->header.array_size > 1)
            return post_error(stmt->diag, "HYC00", "Optional feature not implemented: %s",
                              "data at execution in a parameter array");
        return SQL_NEED_DATA;
    }
    return run_sets(stmt, count, true);
}

int stmt_param_values(STMT *stmt, Value ***out) {
    *out = nullptr;
    int count = marker_count(stmt);
    if (count == 0 || !stmt->param_pool || stmt->ipd->record_count < count) return 0;
    auto **values = pool_new_array<Value *>(stmt->param_pool, static_cast<size_t>(count));
    if (!values) return 0;
    for (int n = 1; n <= count; n++) {
        auto *v = static_cast<Value *>(stmt->ipd->records[n].value);
        if (!v || v == kPendingParamValue) return 0;
        values[n - 1] = v;
    }
    *out = values;
    return count;
}

SQLRETURN stmt_param_data(STMT *stmt, SQLPOINTER *token) {
    if (stmt->need_data_function == SQL_API_SQLSETPOS || stmt->need_data_function == SQL_API_SQLBULKOPERATIONS)
        return setpos_param_data(stmt, token);
    int count = marker_count(stmt);
    if (stmt->param_wide && finish_wide_pieces(stmt) != SQL_SUCCESS) return SQL_ERROR;
    if (stmt->param_current > 0 && stmt->param_current <= count) {
        // A parameter given no piece at all is an empty value of its type.
        DescRecord &ipd = stmt->ipd->records[stmt->param_current];
        if (ipd.value == kPendingParamValue) {
            static const char kEmpty[2] = {0, 0};
            SQLLEN zero = 0;
            Value *v = make_parameter_value(stmt->diag, kEmpty, &zero, facts_of(stmt, stmt->param_current),
                                            stmt->param_pool, nullptr);
            if (!v) return SQL_ERROR;
            ipd.value = v;
        }
    }
    int n = next_data_at_exec(stmt, count);
    if (n > 0) {
        // The parameter the search found is the one that takes the data:
        // parameters may share one token, so the token cannot find it again.
        void *data = nullptr;
        SQLLEN *indicator = nullptr;
        locate(stmt, n, 0, &data, &indicator);
        if (token) *token = data;
        stmt->ipd->records[n].value = kPendingParamValue;
        stmt->param_current = n;
        return SQL_NEED_DATA;
    }
    stmt->param_current = 0;
    if (stmt->need_data_function != SQL_API_SQLEXECDIRECT && stmt->need_data_function != SQL_API_SQLEXECUTE)
        return SQL_SUCCESS;
    return run_sets(stmt, count, true);
}

SQLRETURN stmt_put_data(STMT *stmt, SQLPOINTER data, SQLLEN length) {
    if (stmt->need_data_function == SQL_API_SQLSETPOS || stmt->need_data_function == SQL_API_SQLBULKOPERATIONS)
        return setpos_put_data(stmt, data, length);
    int n = stmt->param_current;
    if (n <= 0 || n > stmt->ipd->record_count) return post_error(stmt->diag, "HY010", "Function sequence error");
    DescRecord &ipd = stmt->ipd->records[n];
    const ParamFacts facts = facts_of(stmt, n);
    SQLLEN given = data ? read_indicator(&length) : SQL_NULL_DATA;
    if (facts.c_type == SQL_C_WCHAR && given != SQL_NULL_DATA && (stmt->param_wide || ipd.value == kPendingParamValue)) {
        // Wide text is kept as sent and decoded once the parameter is whole:
        // a piece may end inside a UTF-16 code unit or between the halves of
        // a surrogate pair, so pieces cannot be decoded one by one.
        const auto *units = static_cast<const SQLWCHAR *>(data);
        size_t bytes = 0;
        if (given == SQL_NTS) {
            size_t n_units = 0;
            while (units[n_units]) n_units++;
            bytes = n_units * sizeof(SQLWCHAR);
        } else if (given >= 0) {
            bytes = static_cast<size_t>(given);
        } else {
            return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
        }
        const size_t old = stmt->param_wide ? static_cast<size_t>(stmt->param_wide->length) : 0;
        if (old + bytes > static_cast<size_t>(kMaxCharValue))
            return post_error(stmt->diag, "22001", "String data, right truncated");
        std::string joined;
        joined.reserve(old + bytes + 2);
        if (old) joined.append(stmt->param_wide->data.s, old);
        joined.append(static_cast<const char *>(data), bytes);
        Value *raw = new_value_of_type(stmt->param_pool, VT_CHAR);
        if (!raw || set_value_text(raw, joined.data(), joined.size()) != 0)
            return post_error(stmt->diag, "HY001", "Memory allocation error");
        if (stmt->param_wide) release_value(stmt->param_wide);
        stmt->param_wide = raw;
        return SQL_SUCCESS;
    }
    if (stmt->param_wide) return post_error(stmt->diag, "HY020", "Attempt to concatenate a null value");
    Value *v = make_parameter_value(stmt->diag, data, &length, facts_of(stmt, n), stmt->param_pool,
                                    static_cast<Value *>(ipd.value));
    if (!v) return SQL_ERROR;
    ipd.value = v;
    return SQL_SUCCESS;
}
