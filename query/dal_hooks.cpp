// The evaluator the data access layer offers providers (service code 5):
// a self-contained expression (literals, arithmetic, functions of them)
// evaluated outside any statement. Registered when the first query
// statement is made.
#include "dal/dal_engine_hooks.h"
#include "query/evaluate.h"
#include "support/diag.h"
#include "support/value_ops.h"

namespace {

int evaluate_for_provider(DalRecord *dal, void *handle, void *expression, CvPool *pool, Value **out) {
    QueryStatement st{};
    st.pool = st.exec_pool = st.row_pool = pool;
    st.diag = CreateErrorHeader(pool, nullptr);
    if (!st.diag) return -1;
    st.env.pool = pool;
    st.env.diag = st.diag;
    EvalContext c{&st};
    int rc = 0;
    try {
        Value *v = evaluate_expression(static_cast<Node *>(expression), &c);
        *out = duplicate_value(v, pool);
        if (!*out) rc = -1;
    } catch (const QueryFailure &) {
        rc = -1;
    }
    if (rc != 0)
        PostDalError(dal, handle, kDalComponent, 0, diag_count(st.diag) ? diag_sqlstate(st.diag, 1) : "HY001",
                     diag_count(st.diag) ? diag_message(st.diag, 1) : "Memory allocation error");
    FreeErrorHeader(st.diag);
    return rc;
}

}  // namespace

void query_register_dal_hooks() { dal_set_expression_evaluator(evaluate_for_provider); }
