// parse_sql_text and the parse context: text preparation, running the
// generated parser, the depth bound of finished trees and the view
// restrictions.
//
// Exports: create_parse_context, release_parse_context, parse_sql_text,
// message_of (see parser.h).
#include "sql/parser.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "sql/build.h"
#include "sql/chain.h"
#include "sql_grammar.hpp"
#include "support/pool.h"

namespace {

bool is_space(char c) { return c == ' ' || (c > 0 && static_cast<unsigned char>(c) < 0x20); }

// Turns control characters into blanks outside quoted strings and names,
// keeping the bytes inside literals as written. Returns the start of the
// text past leading blanks, or null when the text is longer than the limit.
char *prepare_text(char *text) {
    while (is_space(*text)) text++;
    char quote = 0;  // the closing delimiter of the literal we are in
    size_t length = 0;
    char *p = text;
    for (; *p; p++) {
        if (++length > static_cast<size_t>(kMaxStatementLength)) return nullptr;
        char c = *p;
        if (quote) {
            if (c == quote) quote = 0;  // a doubled quote reopens at once
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            *p = ' ';
        }
    }
    // Trailing blanks and ";" go: "SELECT 1 ; ;" is "SELECT 1".
    while (p > text && (is_space(p[-1]) || p[-1] == ';')) *--p = 0;
    return text;
}

// Pushes every node a node points at (lists count as one level).
void push_children(Node *n, int depth, std::vector<std::pair<Node *, int>> &stack) {
    auto push = [&](const void *child) {
        if (child) stack.emplace_back(static_cast<Node *>(const_cast<void *>(child)), depth + 1);
    };
    switch (n->kind) {
    case NODE_LIST: {
        for (ListCell *c = ListFirst(node_cast<ListNode>(n)->list); c; c = ListNext(c)) push(ListData(c));
        return;
    }
    case NODE_ALTER_ADD: { auto *x = node_cast<AlterAddNode>(n); push(x->table); push(x->elements); return; }
    case NODE_ALTER_DROP: { auto *x = node_cast<AlterDropNode>(n); push(x->table); return; }
    case NODE_CREATE_INDEX: { auto *x = node_cast<CreateIndexNode>(n); push(x->index); push(x->table); push(x->columns); return; }
    case NODE_CREATE_TABLE: { auto *x = node_cast<CreateTableNode>(n); push(x->table); push(x->elements); return; }
    case NODE_CREATE_VIEW: { auto *x = node_cast<CreateViewNode>(n); push(x->view); push(x->columns); push(x->query); return; }
    case NODE_DELETE: { auto *x = node_cast<DeleteNode>(n); push(x->table); push(x->where); return; }
    case NODE_GRANT: { auto *x = node_cast<GrantNode>(n); push(x->privileges); push(x->grantees); return; }
    case NODE_REVOKE: { auto *x = node_cast<RevokeNode>(n); push(x->privileges); push(x->grantees); return; }
    case NODE_INSERT: { auto *x = node_cast<InsertNode>(n); push(x->source); return; }
    case NODE_INSERT_SOURCE: { auto *x = node_cast<InsertSourceNode>(n); push(x->query); push(x->values); return; }
    case NODE_SELECT: { auto *x = node_cast<SelectNode>(n); push(x->query); push(x->order_by); return; }
    case NODE_SELECT_FOR_UPDATE: { auto *x = node_cast<SelectForUpdateNode>(n); push(x->query); push(x->columns); return; }
    case NODE_UPDATE: { auto *x = node_cast<UpdateNode>(n); push(x->set_clauses); push(x->where); return; }
    case NODE_UPDATE_POSITIONED: { auto *x = node_cast<UpdatePositionedNode>(n); push(x->set_clauses); return; }
    case NODE_CALL: { auto *x = node_cast<CallNode>(n); push(x->arguments); return; }
    case NODE_SELECT_CORE: { auto *x = node_cast<SelectCoreNode>(n); push(x->select_list); push(x->from); push(x->where); return; }
    case NODE_QUERY_SPEC: { auto *x = node_cast<QuerySpecNode>(n); push(x->core); push(x->group_by); push(x->having); return; }
    case NODE_UNION: { auto *x = node_cast<UnionNode>(n); push(x->left); push(x->right); push(x->single); return; }
    case NODE_TABLE_REF: { auto *x = node_cast<TableRefNode>(n); push(x->join); push(x->derived); return; }
    case NODE_SET_CLAUSE: { auto *x = node_cast<SetClauseNode>(n); push(x->value); push(x->subquery); return; }
    case NODE_TABLE_ELEMENT: { auto *x = node_cast<TableElementNode>(n); push(x->column_def); push(x->constraint); return; }
    case NODE_SELECT_ITEM: { auto *x = node_cast<SelectItemNode>(n); push(x->expression); return; }
    case NODE_SORT_SPEC: { push(node_cast<SortSpecNode>(n)->expression); return; }
    case NODE_JOIN: { auto *x = node_cast<JoinNode>(n); push(x->left); push(x->right); push(x->on); return; }
    case NODE_COLUMN_DEF: { push(node_cast<ColumnDefNode>(n)->attributes); return; }
    case NODE_COLUMN_ATTR: { auto *x = node_cast<ColumnAttrNode>(n); push(x->check); push(x->default_value); push(x->as_arguments); return; }
    case NODE_TABLE_CONSTRAINT: { push(node_cast<TableConstraintNode>(n)->check); return; }
    case NODE_CAST: { push(node_cast<CastNode>(n)->operand); return; }
    case NODE_FUNCTION: { auto *x = node_cast<FunctionNode>(n); push(x->arguments); push(x->operand1); push(x->operand2); push(x->operand3); return; }
    case NODE_AGGREGATE: { auto *x = node_cast<AggregateNode>(n); push(x->distinct_column); push(x->argument); return; }
    case NODE_TRIM_SPEC: { auto *x = node_cast<TrimSpecNode>(n); push(x->character); push(x->source); return; }
    case NODE_EXISTS: { push(node_cast<ExistsNode>(n)->subquery); return; }
    case NODE_LIKE: { auto *x = node_cast<LikeNode>(n); push(x->operand); push(x->pattern); push(x->escape); return; }
    case NODE_IS_NULL: { push(node_cast<IsNullNode>(n)->operand); return; }
    case NODE_IN_SUBQUERY: { auto *x = node_cast<InSubqueryNode>(n); push(x->operand); push(x->subquery); push(x->values); return; }
    case NODE_QUANTIFIED: { auto *x = node_cast<QuantifiedNode>(n); push(x->operand); push(x->subquery); return; }
    case NODE_OPERATOR: {
        // The left side of an AND / OR, or of a sum or product, continuing
        // its chain stays on the same level: a chain is a list, walked in a
        // loop by its consumers.
        auto *x = node_cast<OperatorNode>(n);
        if (x->left && ((is_chain(n, x->op_class) && is_chain(x->left, x->op_class)) ||
                        continues_arithmetic(n, x->left)))
            stack.emplace_back(x->left, depth);
        else
            push(x->left);
        push(x->right);
        return;
    }
    case NODE_CASE: { auto *x = node_cast<CaseNode>(n); push(x->operand); push(x->whens); push(x->else_result); return; }
    case NODE_NULLIF: { auto *x = node_cast<NullifNode>(n); push(x->first); push(x->second); return; }
    case NODE_COALESCE: { push(node_cast<CoalesceNode>(n)->arguments); return; }
    case NODE_WHEN: { auto *x = node_cast<WhenNode>(n); push(x->condition); push(x->result); return; }
    default: return;  // names, values, parameters, types: no deeper nodes that matter
    }
}

ColumnRefNode *restricted_column_ref(ParserState *ps, const RestrictedColumn &c,
                                     const SelectCoreNode *core) {
    // A plain column reference without an alias in that select-list
    // position is copied; otherwise the reference is built from the names.
    if (core->select_list && c.number > 0) {
        int k = 1;
        for (ListCell *cell = ListFirst(core->select_list->list); cell; cell = ListNext(cell), k++) {
            if (k != c.number) continue;
            auto *item = node_cast<SelectItemNode>(ListData(cell));
            if (item->expression && item->expression->kind == NODE_COLUMN_REF && !item->alias) {
                auto *copy = make<ColumnRefNode>(ps, NODE_COLUMN_REF);
                *copy = *node_cast<ColumnRefNode>(item->expression);
                return copy;
            }
            break;
        }
    }
    auto name = [&](const char *text) -> IdentifierNode * {
        if (!text || !*text) return nullptr;
        char *copy = cv_mem_strdup(ps->pool, text);
        if (!copy) fail_memory(ps);
        return make_identifier(ps, copy, 1);  // the catalogue's exact spelling
    };
    auto *ref = make<ColumnRefNode>(ps, NODE_COLUMN_REF);
    ref->catalog = name(c.catalog);
    ref->schema = name(c.schema);
    ref->table = name(c.table);
    ref->column = name(c.column);
    return ref;
}

void restrict_query(ParserState *ps, QuerySpecNode *q, int count, const ParseRestriction *r) {
    auto *core = node_cast<SelectCoreNode>(q->core);
    Node *chain = nullptr;
    for (int i = 0; i < count; i++) {
        Node *left = as_node(restricted_column_ref(ps, r[i].column, core));
        Node *right = r[i].value;
        if (!right && r[i].second.number > 0) right = as_node(restricted_column_ref(ps, r[i].second, core));
        if (!right) continue;
        Node *cmp = make_operator(ps, OPCLASS_OPERATOR, r[i].op, left, right);
        chain = chain ? make_operator(ps, OPCLASS_AND, 0, chain, cmp) : cmp;
    }
    if (!chain) return;
    core->where = core->where ? make_operator(ps, OPCLASS_AND, 0, chain, core->where) : chain;
}

}  // namespace

void check_tree_depth(ParserState *ps, Node *root) {
    std::vector<std::pair<Node *, int>> stack;
    stack.reserve(64);
    stack.emplace_back(root, 1);
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        if (depth > kMaxTreeDepth)
            fail(ps, 2, "Parser limit exceeded (expression deeper than %d levels)", kMaxTreeDepth);
        push_children(n, depth, stack);
    }
}

void apply_restrictions(ParserState *ps, Node *root, int count, const ParseRestriction *r) {
    // Only the query specifications of top-level queries and their UNION
    // branches are restricted; subqueries and derived tables keep their own.
    for (ListCell *c = ListFirst(node_cast<ListNode>(root)->list); c; c = ListNext(c)) {
        auto *statement = node_cast<Node>(ListData(c));
        if (statement->kind != NODE_SELECT) continue;
        std::vector<Node *> branches{node_cast<SelectNode>(statement)->query};
        while (!branches.empty()) {
            auto *u = node_cast<UnionNode>(branches.back());
            branches.pop_back();
            if (u->single) {
                restrict_query(ps, node_cast<QuerySpecNode>(u->single), count, r);
            } else {
                branches.push_back(u->right);
                branches.push_back(u->left);
            }
        }
    }
}

ParseContext *create_parse_context(CvPool *pool) {
    auto *context = pool_new<ParseContext>(pool);
    if (!context) return nullptr;
    context->owner_pool = pool;
    context->node_pool = cv_mem_alloc_handle(pool);
    if (!context->node_pool) {
        cv_mem_free(context);
        return nullptr;
    }
    return context;
}

void release_parse_context(ParseContext *context) {
    if (!context) return;
    cv_mem_release_handle(context->node_pool);
    cv_mem_free(context);
}

const char *message_of(const ParseContext *context) { return context->message; }

int parse_sql_text(ParseContext *context, char *text, int restriction_count,
                   const ParseRestriction *restrictions) {
    context->root = nullptr;
    context->parameter_count = 0;
    context->message[0] = 0;
    std::memcpy(context->sqlstate, "42000", sizeof context->sqlstate);
    char *start = prepare_text(text);
    if (!start) {
        std::snprintf(context->message, sizeof context->message, "Parser limit exceeded (length)");
        return 1;
    }
    ParserState ps{};
    ps.context = context;
    ps.pool = context->node_pool;
    scanner_start(ps.scanner, start, ps.pool);
    int rc;
    try {
        rc = sql_yyparse(&ps);
        if (rc == 0) {
            check_tree_depth(&ps, context->root);
            if (restriction_count > 0 && restrictions)
                apply_restrictions(&ps, context->root, restriction_count, restrictions);
        }
    } catch (const ParseFailure &failure) {
        rc = failure.code;
    }
    if (rc != 0) context->root = nullptr;
    return rc;
}
