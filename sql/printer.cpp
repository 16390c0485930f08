// The SQL printer, query and expression nodes, and its entry points.
//
// Each node kind prints in a fixed shape (blanks as shown in the code), so
// that the text of a printed tree parses back to the same tree. Recursion is
// bounded: the parser never builds a tree deeper than kMaxTreeDepth, and the
// printer stops (and reports -1) beyond that.
//
// Exports: print_statements, print_tree, print_to_string.
#include <cstring>
#include <vector>

#include "sql/chain.h"
#include "sql/printer_internal.h"
#include "sql/sql_keywords.h"

namespace {

const char *const kOperatorText[] = {"?", "+", "-", "||", "*", "/", "-",
                                     "<", ">", ">=", "<=", "=", "<>"};

const char *operator_text(int op) {
    if (op < 1 || op > OP_NE) return "?";
    return kOperatorText[op];
}

const char *const kAggregateDistinct[] = {"", " COUNT( DISTINCT ", " MAX( DISTINCT ",
                                          " MIN( DISTINCT ",  " SUM( DISTINCT ",
                                          " AVG( DISTINCT "};
// COUNT(col) is printed with ALL so it does not read back as COUNT(*).
const char *const kAggregatePlain[] = {"",          " COUNT( ALL ", " MAX( ALL ", " MIN( ALL ",
                                       " SUM( ALL ", " AVG( ALL ",  " COUNT(*) ", " FIRST( ",
                                       " LAST( "};

const char *const kDatetimeFieldWords[] = {" YEAR ", " MONTH ", " DAY ",
                                           " HOUR ", " MINUTE ", " SECOND "};

void print_select_core(Printer &p, const SelectCoreNode *c) {
    put(p, " SELECT ");
    if (c->set_quantifier == 1) put(p, "ALL ");
    if (c->set_quantifier == 2) put(p, "DISTINCT ");
    if (c->top > 0) putf(p, "TOP %d ", c->top);
    if (c->select_list)
        print_node(p, reinterpret_cast<const Node *>(c->select_list));
    else
        put(p, "* ");
    if (c->from) {
        put(p, " FROM ");
        print_node(p, reinterpret_cast<const Node *>(c->from));
    }
    if (c->where) {
        put(p, " WHERE ");
        print_node(p, c->where);
    }
}

void print_union(Printer &p, const UnionNode *u) {
    if (u->single) {
        print_query(p, u->single);
        return;
    }
    print_node(p, u->left);
    put(p, " UNION ");
    if (u->all) put(p, "ALL ");
    // Chains associate to the left, so a compound right side keeps its
    // parentheses to read back as the same tree.
    const auto *right = node_cast<UnionNode>(u->right);
    bool compound = right && right->kind == NODE_UNION && !right->single;
    if (compound) put(p, " ( ");
    print_node(p, u->right);
    if (compound) put(p, " ) ");
}

void print_table_ref(Printer &p, const TableRefNode *t) {
    if (t->table) print_table_name(p, t->table);
    if (t->join) print_node(p, t->join);
    if (t->derived) {
        put(p, "( ");
        print_query(p, t->derived);
        put(p, " )");
    }
    if (t->alias) {
        put(p, " ");
        print_identifier(p, t->alias);
    }
}

void print_join(Printer &p, const JoinNode *j) {
    put(p, " ");
    print_node(p, j->left);
    if (j->natural) put(p, " NATURAL");
    if (j->inner_code == 3) {
        put(p, j->outer_kind == 6 ? " RIGHT" : j->outer_kind == 8 ? " FULL" : " LEFT");
        put(p, " OUTER");
    } else {
        put(p, " INNER");
    }
    put(p, " JOIN ");
    // A join on the right keeps its parentheses: without them the chain
    // would read back nested the other way for some join types.
    const auto *right = node_cast<TableRefNode>(j->right);
    bool nested = right && right->kind == NODE_TABLE_REF && right->join && !right->alias;
    if (nested) put(p, "( ");
    print_node(p, j->right);
    if (nested) put(p, " )");
    if (j->using_columns) {
        put(p, " USING ( ");
        print_node(p, reinterpret_cast<const Node *>(j->using_columns));
        put(p, " )");
    } else if (!j->natural && j->on) {
        put(p, " ON ");
        print_node(p, j->on);
    }
    put(p, " ");
}

void print_operator(Printer &p, const OperatorNode *o) {
    if (o->op_class == OPCLASS_OPERATOR) {
        if (o->satisfied) {
            put(p, " (0=0) ");
            return;
        }
        if (!o->left) {
            put(p, "( ");
            put(p, operator_text(o->op));
            put(p, " ");
            print_node(p, o->right);
            put(p, " )");
            return;
        }
        // "a + b - c" (one precedence level, left-deep) prints flat, "( a + b
        // - c )", its left side walked in a loop like an AND / OR chain's.
        std::vector<const OperatorNode *> spine{o};
        for (const OperatorNode *s = o; continues_arithmetic(reinterpret_cast<const Node *>(s), s->left);) {
            s = node_cast<OperatorNode>(s->left);
            spine.push_back(s);
        }
        put(p, "( ");
        print_node(p, spine.back()->left);
        for (size_t i = spine.size(); i-- > 0;) {
            put(p, " ");
            put(p, operator_text(spine[i]->op));
            put(p, " ");
            print_node(p, spine[i]->right);
        }
        put(p, " )");
        return;
    }
    if (o->op_class == OPCLASS_NOT) {
        put(p, "( ");
        put(p, " NOT ");
        print_node(p, o->right);
        put(p, ")");
        return;
    }
    // The left-deep chain "( ( a OR b) OR c)" prints flat, "( a OR b OR c)",
    // which the left-recursive grammar reads back as the same tree, and its
    // left side is walked in a loop: an IN list of thousands of values
    // neither nests the text nor recurses here. A chain on the right side
    // (written in brackets) keeps its own brackets.
    std::vector<const OperatorNode *> spine;
    const Node *leaf = reinterpret_cast<const Node *>(o);
    while (is_chain(leaf, o->op_class)) {
        spine.push_back(node_cast<OperatorNode>(leaf));
        leaf = spine.back()->left;
    }
    put(p, "( ");
    print_node(p, leaf);
    const char *word = o->op_class == OPCLASS_AND ? " AND " : " OR ";
    for (size_t i = spine.size(); i-- > 0;) {
        put(p, word);
        print_node(p, spine[i]->right);
    }
    put(p, ")");
}

bool is_reserved(const char *name) { return name && lookup_keyword(name, std::strlen(name)) != 0; }

void print_function(Printer &p, const FunctionNode *f) {
    switch (f->code) {
    case FN_CHARACTER_LENGTH:
    case FN_OCTET_LENGTH:
    case FN_BIT_LENGTH:
    case FN_TRIM:
    case FN_LOWER:
    case FN_UPPER: {
        const char *name = f->code == FN_CHARACTER_LENGTH ? " CHARACTER_LENGTH( "
                           : f->code == FN_OCTET_LENGTH   ? " OCTET_LENGTH( "
                           : f->code == FN_BIT_LENGTH     ? " BIT_LENGTH( "
                           : f->code == FN_TRIM           ? " TRIM( "
                           : f->code == FN_LOWER          ? " LOWER( "
                                                          : " UPPER( ";
        put(p, name);
        print_node(p, f->operand1);
        put(p, " ) ");
        return;
    }
    case FN_POSITION:
        put(p, " POSITION( ");
        print_node(p, f->operand1);
        put(p, " IN ");
        print_node(p, f->operand2);
        put(p, " ) ");
        return;
    case FN_SUBSTRING:
        put(p, " SUBSTRING( ");
        print_node(p, f->operand1);
        put(p, " FROM ");
        print_node(p, f->operand2);
        if (f->operand3) {
            put(p, " FOR ");
            print_node(p, f->operand3);
        }
        put(p, " ) ");
        return;
    default:
        break;
    }
    ListCell *cell = ListFirst(f->arguments ? f->arguments->list : nullptr);
    if (f->code == FN_TABLE_EXTRACT) {
        put(p, " EXTRACT( ");
        const Value *field = node_cast<Value>(ListData(cell));
        if (field && field->kind == NODE_VALUE && field->type == VT_INTEGER &&
            field->data.i >= 0 && field->data.i <= 5)
            put(p, kDatetimeFieldWords[field->data.i]);
        else
            print_node(p, node_cast<Node>(ListData(cell)));
        put(p, " FROM ");
        print_node(p, node_cast<Node>(ListData(ListNext(cell))));
        put(p, " )");
        return;
    }
    const char *name = f->entry ? f->entry->name : nullptr;
    if (!name) name = scalar_function_name(f->code);
    if (!name) name = "?";
    // A name that is also a reserved word (POSITION, CURRENT_DATE, INT, ...)
    // is written in the escape form, where it is always read as a name.
    bool escape = is_reserved(name) || f->code == FN_TABLE_POSITION;
    if (escape) put(p, " {fn ");
    put(p, name);
    put(p, "( ");
    if (f->code == FN_TABLE_POSITION && ListCount(f->arguments ? f->arguments->list : nullptr) == 2) {
        print_node(p, node_cast<Node>(ListData(cell)));
        put(p, " IN ");
        print_node(p, node_cast<Node>(ListData(ListNext(cell))));
    } else if (f->arguments) {
        print_list(p, f->arguments, ", ");
    }
    put(p, " ) ");
    if (escape) put(p, "} ");
}

void print_trim_spec(Printer &p, const TrimSpecNode *t) {
    if (t->side == 1) put(p, "LEADING ");
    if (t->side == 2) put(p, "TRAILING ");
    if (t->side == 3) put(p, "BOTH ");
    if (t->character) print_node(p, t->character);
    put(p, " FROM ");
    print_node(p, t->source);
}

void print_aggregate(Printer &p, const AggregateNode *a) {
    if (a->code == AGG_COUNT_STAR) {
        put(p, " COUNT(*) ");
        return;
    }
    if (a->distinct && a->code >= AGG_COUNT && a->code <= AGG_AVG) {
        put(p, kAggregateDistinct[a->code]);
        print_node(p, a->distinct_column);
    } else {
        put(p, a->code >= AGG_COUNT && a->code <= AGG_LAST ? kAggregatePlain[a->code] : " FIRST( ");
        print_node(p, a->argument);
    }
    put(p, " ) ");
}

void print_in(Printer &p, const InSubqueryNode *in) {
    if (!in->subquery && !in->values) {
        put(p, in->negated ? " 1 = 1 " : " 1 = 0 ");
        return;
    }
    print_node(p, in->operand);
    if (in->negated) put(p, " NOT ");
    put(p, " IN ");
    put(p, " ( ");
    if (in->subquery)
        print_query(p, in->subquery);
    else
        print_list(p, in->values, ", ");
    put(p, ")");
}

void print_quantified(Printer &p, const QuantifiedNode *q) {
    // The grammar has no "x NOT = ALL (...)": a negated comparison is written
    // as NOT applied to the parenthesised predicate, which reads back negated.
    if (q->negated) put(p, " ( NOT ");
    print_node(p, q->operand);
    putf(p, " %s ", operator_text(q->op));
    put(p, q->quantifier == 1 ? " ALL " : q->quantifier == 2 ? " ANY " : " SOME ");
    put(p, " ( ");
    print_query(p, q->subquery);
    put(p, " ) ");
    if (q->negated) put(p, " ) ");
}

void print_case(Printer &p, const CaseNode *c) {
    put(p, " CASE ");
    if (c->operand) {
        print_node(p, c->operand);
        put(p, " ");
    }
    print_list(p, c->whens, "");
    if (c->else_result) {
        put(p, " ELSE ");
        print_node(p, c->else_result);
    }
    // A blank before END keeps it apart from a name or number before it.
    put(p, " END");
}

// Query and expression kinds; false for kinds handled elsewhere.
bool print_query_or_expression(Printer &p, const Node *node) {
    switch (node->kind) {
    case NODE_SELECT_CORE:
        print_select_core(p, node_cast<SelectCoreNode>(node));
        return true;
    case NODE_QUERY_SPEC: {
        const auto *q = node_cast<QuerySpecNode>(node);
        const bool scalar = !p.bare_query;
        p.bare_query = false;
        if (scalar) put(p, "( ");
        print_node(p, q->core);
        if (q->group_by) {
            put(p, " GROUP BY ");
            print_list(p, q->group_by, ", ");
        }
        if (q->having) {
            put(p, " HAVING ");
            print_node(p, q->having);
        }
        if (scalar) put(p, " )");
        return true;
    }
    case NODE_UNION:
        print_union(p, node_cast<UnionNode>(node));
        return true;
    case NODE_SELECT: {
        const auto *s = node_cast<SelectNode>(node);
        print_query(p, s->query);
        if (s->order_by) {
            put(p, " ORDER BY ");
            print_list(p, s->order_by, ", ");
        }
        return true;
    }
    case NODE_SELECT_FOR_UPDATE: {
        const auto *s = node_cast<SelectForUpdateNode>(node);
        print_node(p, s->query);
        put(p, " FOR UPDATE OF ");
        if (s->columns) print_list(p, s->columns, ", ");
        return true;
    }
    case NODE_LIST:
        print_list(p, node_cast<ListNode>(node), ", ");
        return true;
    case NODE_SELECT_ITEM: {
        const auto *s = node_cast<SelectItemNode>(node);
        if (s->wildcard) {
            print_table_name(p, s->wildcard);
            put(p, ".*");
            return true;
        }
        print_node(p, s->expression);
        if (s->alias) {
            put(p, " AS ");
            print_identifier(p, s->alias);
        }
        return true;
    }
    case NODE_TABLE_REF:
        print_table_ref(p, node_cast<TableRefNode>(node));
        return true;
    case NODE_JOIN:
        print_join(p, node_cast<JoinNode>(node));
        return true;
    case NODE_TABLE_NAME:
        print_table_name(p, node_cast<TableNameNode>(node));
        return true;
    case NODE_COLUMN_REF:
        print_column_ref(p, node_cast<ColumnRefNode>(node));
        return true;
    case NODE_IDENTIFIER:
        print_identifier(p, node_cast<IdentifierNode>(node));
        return true;
    case NODE_OPERATOR:
        print_operator(p, node_cast<OperatorNode>(node));
        return true;
    case NODE_SORT_SPEC: {
        const auto *s = node_cast<SortSpecNode>(node);
        print_node(p, s->expression);
        put(p, s->ordering == 2 ? " DESC " : " ASC ");
        return true;
    }
    case NODE_VALUE:
        print_value(p, node_cast<Value>(node));
        return true;
    case NODE_PARAMETER:
        put(p, " ? ");
        return true;
    case NODE_CAST: {
        const auto *c = node_cast<CastNode>(node);
        put(p, " CAST ( ");
        if (c->operand)
            print_node(p, c->operand);
        else
            put(p, "NULL");
        put(p, " AS ");
        print_data_type(p, c->target);
        put(p, ") ");
        return true;
    }
    case NODE_DATA_TYPE:
        print_data_type(p, node_cast<DataTypeNode>(node));
        return true;
    case NODE_PRECISION_SCALE:
        print_precision_scale(p, node_cast<PrecisionScaleNode>(node));
        return true;
    case NODE_INTERVAL_QUALIFIER: {
        const auto *q = node_cast<IntervalQualifierNode>(node);
        if (q->single) {
            print_interval_field(p, q->single);
        } else {
            print_interval_field(p, q->start);
            put(p, " TO ");
            print_interval_field(p, q->end);
        }
        return true;
    }
    case NODE_INTERVAL_FIELD:
        print_interval_field(p, node_cast<IntervalFieldNode>(node));
        return true;
    case NODE_FUNCTION:
        print_function(p, node_cast<FunctionNode>(node));
        return true;
    case NODE_TRIM_SPEC:
        print_trim_spec(p, node_cast<TrimSpecNode>(node));
        return true;
    case NODE_AGGREGATE:
        print_aggregate(p, node_cast<AggregateNode>(node));
        return true;
    case NODE_EXISTS: {
        const auto *e = node_cast<ExistsNode>(node);
        put(p, e->negated ? " NOT EXISTS ( " : " EXISTS ( ");
        print_query(p, e->subquery);
        put(p, " ) ");
        return true;
    }
    case NODE_LIKE: {
        const auto *l = node_cast<LikeNode>(node);
        print_node(p, l->operand);
        if (l->negated) put(p, " NOT ");
        put(p, " LIKE ");
        print_node(p, l->pattern);
        if (l->escape) {
            put(p, " ESCAPE ");
            print_node(p, l->escape);
        }
        return true;
    }
    case NODE_IS_NULL: {
        const auto *n = node_cast<IsNullNode>(node);
        print_node(p, n->operand);
        put(p, n->negated ? " IS NOT NULL" : " IS NULL");
        return true;
    }
    case NODE_IN_SUBQUERY:
        print_in(p, node_cast<InSubqueryNode>(node));
        return true;
    case NODE_QUANTIFIED:
        print_quantified(p, node_cast<QuantifiedNode>(node));
        return true;
    case NODE_CASE:
        print_case(p, node_cast<CaseNode>(node));
        return true;
    case NODE_WHEN: {
        const auto *w = node_cast<WhenNode>(node);
        put(p, " WHEN ");
        print_node(p, w->condition);
        put(p, " THEN ");
        print_node(p, w->result);
        return true;
    }
    case NODE_NULLIF: {
        const auto *n = node_cast<NullifNode>(node);
        put(p, "NULLIF( ");
        print_node(p, n->first);
        put(p, ", ");
        print_node(p, n->second);
        put(p, ")");
        return true;
    }
    case NODE_COALESCE:
        put(p, "COALESCE( ");
        print_list(p, node_cast<CoalesceNode>(node)->arguments, ", ");
        put(p, ")");
        return true;
    default:
        return false;
    }
}

void append_to_string(const char *text, void *out) { static_cast<std::string *>(out)->append(text); }

}  // namespace

void putf(Printer &p, const char *format, ...) {
    char buffer[128];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= 0) put(p, buffer);
}

void print_list(Printer &p, const ListNode *list, const char *separator) {
    if (!list) return;
    bool first = true;
    for (ListCell *c = ListFirst(list->list); c; c = ListNext(c)) {
        if (!first) put(p, separator);
        first = false;
        // Omitted call arguments are null items and print as nothing.
        if (ListData(c)) print_node(p, node_cast<Node>(ListData(c)));
    }
}

void print_node(Printer &p, const Node *node) {
    if (!node || p.failed) return;
    // Slack above the parser's bound: rewrites may add a level or two.
    if (p.depth > kMaxTreeDepth + 64) {
        p.failed = true;
        return;
    }
    p.depth++;
    if (!print_query_or_expression(p, node) && !print_ddl_node(p, node))
        putf(p, "<unexpected node type %p->%u>", static_cast<const void *>(node), node->kind);
    p.depth--;
}

void print_query(Printer &p, const Node *node) {
    if (node && node->kind == NODE_QUERY_SPEC) p.bare_query = true;
    print_node(p, node);
    p.bare_query = false;
}

int print_tree(const Node *node, SqlEmitFn emit, void *out) {
    Printer p{emit, out, 0, false, false};
    print_query(p, node);
    return p.failed ? -1 : 0;
}

int print_statements(const Node *root, SqlEmitFn emit, void *out) {
    if (!root || root->kind != NODE_LIST) return print_tree(root, emit, out);
    Printer p{emit, out, 0, false, false};
    print_list(p, node_cast<ListNode>(root), "; ");
    return p.failed ? -1 : 0;
}

int print_to_string(const Node *node, bool statements, std::string &text) {
    return statements ? print_statements(node, append_to_string, &text)
                      : print_tree(node, append_to_string, &text);
}
