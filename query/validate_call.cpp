// Validation of procedure calls (call.h): the procedure found through the
// data access layer, the written arguments matched to its parameters, the
// markers typed, the result columns described.
#include <cstring>

#include "engine/types.h"
#include "query/call.h"
#include "query/validate.h"
#include "sql/walker.h"
#include "support/pool.h"

namespace {

// The description of a parameter's or result column's type.
ExtendedType type_of(int sql_type, int32_t size, int16_t scale, int odbc_version) {
    ExtendedType t{};
    if (type_template(sql_type, &t) != 0) (void)type_template(SQL_VARCHAR, &t);
    if (sql_type == SQL_VARCHAR) {
        t.column_size = t.precision = t.length = t.display_size = size;
    } else if (sql_type == SQL_DECIMAL) {
        t.column_size = t.precision = size;
        t.scale = t.digits = scale;
        t.display_size = t.length = size + 2;
    }
    t.sql_type = datetime_code_for_version(t.sql_type, odbc_version);
    t.nullable = SQL_NULLABLE;
    t.updatable = SQL_ATTR_READONLY;
    return t;
}

int shift_marker(Node *node, void *) {
    if (node && node->kind == NODE_PARAMETER) reinterpret_cast<ParameterNode *>(node)->number++;
    return 0;
}

// {?=call}: the return marker becomes parameter 1 and the written markers
// move up by one; it takes no value.
void add_return_marker(ValidationContext *c, CallNode *call) {
    QueryStatement *st = c->statement;
    ListNode *root = node_cast<ListNode>(st->parse->root);
    if (root && ListCount(root->list) > 1)
        validation_error_state(c, "HYC00", "ODBC 3.0", "Optional feature not implemented: %s",
                               "{?=call ...} in a batch of several statements");
    if (call->arguments)
        for (ListCell *cell = ListFirst(call->arguments->list); cell; cell = ListNext(cell))
            if (auto *arg = static_cast<Node *>(ListData(cell))) (void)walk_expression(arg, shift_marker, nullptr);
    const int n = st->parameter_count + 1;
    st->parameter_types = validation_array<ExtendedType>(c, n);
    st->parameter_typed = validation_array<int32_t>(c, n);
    st->parameter_count = n;
    st->parameter_types[0] = type_of(SQL_INTEGER, 10, 0, st->connection.odbc_version);
    st->parameter_typed[0] = 1;
}

}  // namespace

ValidatedStatement *validate_call(ValidationContext *c, Node *tree, int32_t code) {
    auto *call = reinterpret_cast<CallNode *>(tree);
    QueryStatement *st = c->statement;
    const char *name = call->procedure && call->procedure->table ? call->procedure->table->text : "";
    const ProcedureInfo *proc = nullptr;
    int provider = -1;
    int r = st->connection.dal ? DALGetProcedureInfo(st->connection.dal_handle, st->connection.dal, dal_text(name),
                                                     &proc, &provider)
                               : DAL_NOT_MINE;
    if (r == DAL_NOT_MINE || !proc)
        validation_error_state(c, "42000", "ISO 9075", "Syntax error or access violation: procedure %s does not exist",
                               name);
    if (r != DAL_OK) throw QueryFailure{-1};
    auto *plan = validation_array<CallPlan>(c, 1);
    plan->procedure = proc;
    plan->provider = provider;
    plan->return_form = call->no_return ? 0 : 1;
    plan->arguments = validation_array<Node *>(c, proc->param_count);
    int written = call->arguments ? ListCount(call->arguments->list) : 0;
    // "P()" is written as one empty place: no argument at all.
    if (written == 1 && !ListData(ListFirst(call->arguments->list))) written = 0;
    if (written > proc->param_count)
        validation_error_state(c, "07001", "ISO 9075",
                               "Wrong number of parameters: %s takes at most %d arguments, %d given", proc->name,
                               proc->param_count, written);
    if (plan->return_form) add_return_marker(c, call);
    int k = 0;
    for (ListCell *cell = written ? ListFirst(call->arguments->list) : nullptr; cell; cell = ListNext(cell), k++)
        plan->arguments[k] = static_cast<Node *>(ListData(cell));
    // Arguments refer to no table: they are read in a scope of their own.
    auto *scope = validation_array<QueryScope>(c, 1);
    scope->kind = kScopeKind;
    ValidationContext local = *c;
    local.scope = scope;
    local.in_select_list = local.in_having = local.allow_set = 0;
    for (k = 0; k < proc->param_count; k++) {
        const ProcedureParam &param = proc->params[k];
        Node *arg = plan->arguments[k];
        if (!arg) {
            if (param.required)
                validation_error_state(c, "07001", "ISO 9075", "Wrong number of parameters: %s needs argument %d (%s)",
                                       proc->name, k + 1, param.name);
            continue;
        }
        if (arg->kind == NODE_VALUE && node_cast<Value>(arg)->type == VT_NULL) continue;
        if (arg->kind == NODE_PARAMETER) {
            const int n = reinterpret_cast<ParameterNode *>(arg)->number;
            if (n >= 1 && n <= st->parameter_count) {
                st->parameter_types[n - 1] =
                    type_of(param.sql_type, param.column_size, param.scale, st->connection.odbc_version);
                st->parameter_typed[n - 1] = 1;
            }
            continue;
        }
        resolve_expression(arg, &local);
        (void)expression_type(arg, &local);
    }
    auto *v = validation_array<ValidatedStatement>(c, 1);
    v->kind = kValidatedKind;
    v->tree = tree;
    v->function_code = code;
    v->statement_kind = QueryStatementKind::kCall;
    v->call = plan;
    v->column_count = proc->column_count;
    v->columns = validation_array<QueryColumn>(c, proc->column_count);
    for (int i = 0; i < proc->column_count; i++) {
        const ProcedureColumn &col = proc->columns[i];
        QueryColumn &q = v->columns[i];
        q.label = q.name = col.name;
        q.base_column = q.table = q.base_table = q.schema = q.catalog = "";
        q.type = type_of(col.sql_type, col.column_size, col.scale, st->connection.odbc_version);
    }
    return v;
}
