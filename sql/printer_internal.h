// Shared state and helpers of the printer's files (printer.cpp for queries
// and expressions, print_ddl.cpp for data changes and definitions,
// print_value.cpp for values, names and data types). Not for other modules.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "sql/parse_tree.h"
#include "sql/printer.h"

struct Printer {
    SqlEmitFn emit;  // caller's sink
    void *out;       // caller's argument
    int depth;       // current nesting of print_node
    bool failed;     // the depth bound was hit
    bool bare_query; // the next query specification is printed without its parentheses
};

inline void put(Printer &p, const char *text) { p.emit(text, p.out); }

/// printf-style piece through a bounded buffer (pieces built here are short:
/// numbers and fixed words).
void putf(Printer &p, const char *format, ...) __attribute__((format(printf, 2, 3)));

void print_node(Printer &p, const Node *node);
/// A query where the grammar already brackets it (EXISTS, IN, a derived
/// table, a SET value, a statement): a query specification anywhere else is
/// a scalar sub-query and prints inside "( ... )".
void print_query(Printer &p, const Node *node);
void print_list(Printer &p, const ListNode *list, const char *separator);
void print_identifier(Printer &p, const IdentifierNode *id);
void print_table_name(Printer &p, const TableNameNode *name);
void print_column_ref(Printer &p, const ColumnRefNode *ref);
void print_value(Printer &p, const Value *value);
void print_data_type(Printer &p, const DataTypeNode *type);
void print_precision_scale(Printer &p, const PrecisionScaleNode *ps);
void print_interval_field(Printer &p, const IntervalFieldNode *field);
/// Statement and definition kinds; returns false for a kind it does not print.
bool print_ddl_node(Printer &p, const Node *node);
