// The printer's data change, definition, privilege and transaction
// statements.
#include "sql/printer_internal.h"

namespace {

void print_drop_behaviour(Printer &p, int32_t code) {
    if (code == 1) put(p, " CASCADE ");
    if (code == 2) put(p, " RESTRICT ");
}

void print_insert(Printer &p, const InsertNode *ins) {
    put(p, "INSERT INTO ");
    print_table_name(p, ins->table);
    const auto *src = node_cast<InsertSourceNode>(ins->source);
    if (!src) return;
    if (src->columns) {
        put(p, " ( ");
        print_list(p, src->columns, ", ");
        put(p, " ) ");
    }
    if (src->default_values) {
        put(p, " DEFAULT VALUES ");
    } else if (src->query) {
        print_query(p, src->query);
    } else {
        put(p, " VALUES ( ");
        print_list(p, src->values, ", ");
        put(p, " ) ");
    }
}

void print_set_clause(Printer &p, const SetClauseNode *s) {
    print_identifier(p, s->column);
    put(p, " = ");
    if (s->set_null) {
        put(p, "NULL ");
    } else if (s->set_default) {
        put(p, "DEFAULT VALUE ");
    } else if (s->subquery) {
        put(p, "( ");
        print_query(p, s->subquery);
        put(p, " )");
    } else {
        print_node(p, s->value);
    }
}

void print_column_attr(Printer &p, const ColumnAttrNode *a) {
    switch (a->code) {
    case 1: put(p, "UNIQUE "); break;
    case 2: put(p, "PRIMARY KEY "); break;
    case 3:
        // The condition is parenthesised as the grammar requires.
        put(p, "CHECK ( ");
        print_node(p, a->check);
        put(p, " ) ");
        break;
    case 5: put(p, "NOT NULL "); break;
    case 6:
        put(p, "REFERENCES ");
        print_table_name(p, a->ref_table);
        if (a->ref_column) {
            put(p, " ( ");
            print_identifier(p, a->ref_column);
            put(p, " ) ");
        } else {
            put(p, " ");
        }
        break;
    case 7:
        put(p, "DEFAULT ");
        print_node(p, a->default_value);
        put(p, " ");
        break;
    default: break;
    }
}

void print_table_constraint(Printer &p, const TableConstraintNode *c) {
    switch (c->code) {
    case 1:
        put(p, " UNIQUE ( ");
        print_list(p, c->columns, ", ");
        put(p, " ) ");
        break;
    case 2:
        put(p, " PRIMARY KEY ( ");
        print_list(p, c->columns, ", ");
        put(p, " ) ");
        break;
    case 3:
        put(p, " CHECK ( ");
        print_node(p, c->check);
        put(p, " ) ");
        break;
    default: {
        put(p, " FOREIGN KEY ( ");
        print_list(p, c->columns, ", ");
        put(p, " ) REFERENCES ");
        print_table_name(p, c->ref_table);
        if (c->ref_columns) {
            put(p, " ( ");
            print_list(p, c->ref_columns, ", ");
            put(p, " ) ");
        }
        static const char *const kOnDelete[] = {" ON DELETE NO ACTION ", " ON DELETE CASCADE ",
                                                " ON DELETE SET NULL ",
                                                " ON DELETE SET DEFAULT "};
        put(p, kOnDelete[c->on_delete >= 0 && c->on_delete <= 3 ? c->on_delete : 0]);
        break;
    }
    }
}

void print_privileges(Printer &p, const ListNode *privileges, const char *all) {
    if (!privileges) {
        put(p, all);
        return;
    }
    print_list(p, privileges, ", ");
}

}  // namespace

bool print_ddl_node(Printer &p, const Node *node) {
    switch (node->kind) {
    case NODE_INSERT: print_insert(p, node_cast<InsertNode>(node)); return true;
    case NODE_INSERT_KEYWORD:
        put(p, node_cast<InsertKeywordNode>(node)->which == 1 ? " NULL " : " DEFAULT ");
        return true;
    case NODE_UPDATE: {
        const auto *u = node_cast<UpdateNode>(node);
        put(p, "UPDATE ");
        print_table_name(p, u->table);
        put(p, " SET ");
        print_list(p, u->set_clauses, ", ");
        if (u->where) {
            put(p, " WHERE ");
            print_node(p, u->where);
        }
        return true;
    }
    case NODE_UPDATE_POSITIONED: {
        const auto *u = node_cast<UpdatePositionedNode>(node);
        put(p, "UPDATE ");
        print_table_name(p, u->table);
        put(p, " SET ");
        print_list(p, u->set_clauses, ", ");
        put(p, " WHERE CURRENT OF ");
        print_identifier(p, u->cursor);
        return true;
    }
    case NODE_SET_CLAUSE: print_set_clause(p, node_cast<SetClauseNode>(node)); return true;
    case NODE_DELETE: {
        const auto *d = node_cast<DeleteNode>(node);
        put(p, "DELETE FROM ");
        print_table_name(p, d->table);
        if (d->where) {
            put(p, " WHERE ");
            print_node(p, d->where);
        }
        return true;
    }
    case NODE_DELETE_POSITIONED: {
        const auto *d = node_cast<DeletePositionedNode>(node);
        put(p, "DELETE FROM ");
        print_table_name(p, d->table);
        put(p, " WHERE CURRENT OF ");
        print_identifier(p, d->cursor);
        return true;
    }
    case NODE_CREATE_TABLE: {
        const auto *c = node_cast<CreateTableNode>(node);
        put(p, "CREATE TABLE ");
        print_table_name(p, c->table);
        if (c->on_name) {
            put(p, " ON ");
            print_identifier(p, c->on_name);
        } else if (c->on_text) {
            put(p, " ON ");
            print_value(p, c->on_text);
        } else if (c->as_name) {
            put(p, " AS ");
            print_identifier(p, c->as_name);
        }
        put(p, " ( ");
        print_list(p, c->elements, ", ");
        put(p, " ) ");
        return true;
    }
    case NODE_TABLE_ELEMENT: {
        const auto *e = node_cast<TableElementNode>(node);
        print_node(p, e->column_def);
        print_node(p, e->constraint);
        return true;
    }
    case NODE_COLUMN_DEF: {
        const auto *d = node_cast<ColumnDefNode>(node);
        print_identifier(p, d->column);
        print_data_type(p, d->type);
        print_list(p, d->attributes, "");
        return true;
    }
    case NODE_COLUMN_ATTR: print_column_attr(p, node_cast<ColumnAttrNode>(node)); return true;
    case NODE_TABLE_CONSTRAINT:
        print_table_constraint(p, node_cast<TableConstraintNode>(node));
        return true;
    case NODE_INDEX_COLUMN: {
        const auto *c = node_cast<IndexColumnNode>(node);
        print_identifier(p, c->column);
        put(p, c->ordering == 2 ? " DESC" : " ASC ");
        return true;
    }
    case NODE_CREATE_INDEX: {
        const auto *c = node_cast<CreateIndexNode>(node);
        put(p, "CREATE ");
        if (c->unique) put(p, "UNIQUE ");
        put(p, "INDEX ");
        print_table_name(p, c->index);
        put(p, " ON ");
        print_table_name(p, c->table);
        put(p, " ( ");
        print_list(p, c->columns, ", ");
        put(p, " ) ");
        return true;
    }
    case NODE_CREATE_VIEW: {
        const auto *v = node_cast<CreateViewNode>(node);
        put(p, "CREATE VIEW ");
        print_table_name(p, v->view);
        if (v->columns) {
            put(p, " ( ");
            print_list(p, v->columns, ", ");
            put(p, " ) ");
        }
        put(p, " AS ");
        print_node(p, v->query);
        if (v->check_option) put(p, " WITH CHECK OPTION ");
        return true;
    }
    case NODE_ALTER_ADD: {
        const auto *a = node_cast<AlterAddNode>(node);
        put(p, "ALTER TABLE ");
        print_table_name(p, a->table);
        put(p, " ADD COLUMN ");
        if (ListCount(a->elements ? a->elements->list : nullptr) >= 2) {
            put(p, " ( ");
            print_list(p, a->elements, ", ");
            put(p, " ) ");
        } else {
            print_list(p, a->elements, ", ");
        }
        return true;
    }
    case NODE_ALTER_DROP: {
        const auto *a = node_cast<AlterDropNode>(node);
        put(p, "ALTER TABLE ");
        print_table_name(p, a->table);
        put(p, " DROP COLUMN ");
        print_identifier(p, a->column);
        print_drop_behaviour(p, a->drop_behaviour);
        return true;
    }
    case NODE_DROP_TABLE:
    case NODE_DROP_VIEW: {
        const auto *d = node_cast<DropTableNode>(node);
        put(p, node->kind == NODE_DROP_TABLE ? "DROP TABLE " : "DROP VIEW ");
        print_table_name(p, d->table);
        print_drop_behaviour(p, d->drop_behaviour);
        return true;
    }
    case NODE_DROP_INDEX: {
        // The table is printed too: the grammar needs it to read the text back.
        const auto *d = node_cast<DropIndexNode>(node);
        put(p, "DROP INDEX ");
        print_table_name(p, d->index);
        put(p, " ON ");
        print_table_name(p, d->table);
        return true;
    }
    case NODE_GRANT: {
        const auto *g = node_cast<GrantNode>(node);
        put(p, "GRANT ");
        print_privileges(p, g->privileges, "ALL PRIVILEGES");
        put(p, " ON TABLE ");
        print_table_name(p, g->table);
        put(p, " TO ");
        if (g->grantees)
            print_list(p, g->grantees, ", ");
        else
            put(p, "PUBLIC ");
        if (g->grant_option) put(p, " WITH GRANT OPTION");
        return true;
    }
    case NODE_REVOKE: {
        const auto *r = node_cast<RevokeNode>(node);
        put(p, "REVOKE ");
        print_privileges(p, r->privileges, "ALL PRIVILEGES ");
        put(p, " ON ");
        print_table_name(p, r->table);
        put(p, " FROM ");
        if (r->grantees)
            print_list(p, r->grantees, ", ");
        else
            put(p, " PUBLIC ");
        print_drop_behaviour(p, r->drop_behaviour);
        return true;
    }
    case NODE_PRIVILEGE: {
        const auto *v = node_cast<PrivilegeNode>(node);
        static const char *const kNames[] = {"?", "DELETE", "INSERT", "SELECT", "UPDATE",
                                             "REFERENCES"};
        put(p, kNames[v->privilege >= 1 && v->privilege <= 5 ? v->privilege : 0]);
        if (v->columns && (v->privilege == 4 || v->privilege == 5)) {
            put(p, " ( ");
            print_list(p, v->columns, ", ");
            put(p, " ) ");
        }
        return true;
    }
    case NODE_CALL: {
        const auto *c = node_cast<CallNode>(node);
        put(p, "{ ");
        if (!c->no_return) put(p, "?= ");
        put(p, "call ");
        print_table_name(p, c->procedure);
        if (c->arguments) {
            put(p, "(");
            print_list(p, c->arguments, ", ");
            put(p, ")");
        }
        put(p, "}");
        return true;
    }
    case NODE_COMMIT: put(p, "COMMIT WORK "); return true;
    case NODE_ROLLBACK: put(p, "ROLLBACK WORK "); return true;
    case NODE_CREATE_USER: {
        const auto *u = node_cast<CreateUserNode>(node);
        put(p, "CREATE USER ");
        print_identifier(p, u->user);
        if (u->authorization) {
            put(p, " AUTHORIZATION ");
            print_identifier(p, u->authorization);
        }
        if (u->in_name) {
            put(p, " IN ");
            print_identifier(p, u->in_name);
        }
        return true;
    }
    case NODE_DROP_USER: {
        const auto *u = node_cast<DropUserNode>(node);
        put(p, "DROP USER ");
        print_identifier(p, u->user);
        if (u->in_name) {
            put(p, " IN ");
            print_identifier(p, u->in_name);
        }
        return true;
    }
    default: return false;
    }
}
