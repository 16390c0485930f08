// Parse tree node records.
//
// Every statement is held as a tree of pool nodes made with newNode; the first
// field of every record is its kind. Nodes are never freed one by one: the
// tree goes when the parse context's node pool is released. Nodes may be
// shared (several parents pointing at one expression); nothing here copies a
// tree. Fields the parser does not set are zero or null.
//
// Every consumer switches on the kind codes below, so their numbers are fixed.
// The parser guarantees that no finished tree is deeper than kMaxTreeDepth
// nodes along any path, an AND / OR chain counting as one level however
// long: recursive consumers have a known bound as long as they take the
// operands of a chain in a loop (chain.h).
//
// Exports: the NODE_* kind codes, the node records, node_cast, kMaxTreeDepth,
// kMaxNesting.
#pragma once

#include <cstdint>

#include "sql/function_signatures.h"
#include "support/value.h"
#include "support/list.h"
#include "support/node.h"

struct ExtendedType;

// Statement nodes.
constexpr uint32_t NODE_ALTER_ADD = 100;
constexpr uint32_t NODE_ALTER_DROP = 101;
constexpr uint32_t NODE_CREATE_INDEX = 102;
constexpr uint32_t NODE_CREATE_TABLE = 103;
constexpr uint32_t NODE_CREATE_VIEW = 104;
constexpr uint32_t NODE_DELETE_POSITIONED = 105;
constexpr uint32_t NODE_DELETE = 106;
constexpr uint32_t NODE_DROP_INDEX = 107;
constexpr uint32_t NODE_DROP_TABLE = 108;
constexpr uint32_t NODE_DROP_VIEW = 109;
constexpr uint32_t NODE_GRANT = 110;
constexpr uint32_t NODE_INSERT = 111;
constexpr uint32_t NODE_REVOKE = 112;
constexpr uint32_t NODE_SELECT = 113;
constexpr uint32_t NODE_SELECT_FOR_UPDATE = 114;
constexpr uint32_t NODE_UPDATE_POSITIONED = 116;
constexpr uint32_t NODE_UPDATE = 117;
constexpr uint32_t NODE_CALL = 118;
constexpr uint32_t NODE_COMMIT = 161;
constexpr uint32_t NODE_ROLLBACK = 162;
constexpr uint32_t NODE_CREATE_USER = 164;
constexpr uint32_t NODE_DROP_USER = 165;
// Query nodes.
constexpr uint32_t NODE_SELECT_CORE = 115;
constexpr uint32_t NODE_QUERY_SPEC = 122;
constexpr uint32_t NODE_UNION = 123;
constexpr uint32_t NODE_INSERT_SOURCE = 124;
constexpr uint32_t NODE_TABLE_REF = 125;
constexpr uint32_t NODE_SET_CLAUSE = 126;
constexpr uint32_t NODE_INDEX_COLUMN = 127;
constexpr uint32_t NODE_TABLE_ELEMENT = 128;
constexpr uint32_t NODE_PRIVILEGE = 129;
constexpr uint32_t NODE_SELECT_ITEM = 130;
constexpr uint32_t NODE_SORT_SPEC = 133;
constexpr uint32_t NODE_INSERT_KEYWORD = 137;
constexpr uint32_t NODE_JOIN = 138;
// Names and definitions.
constexpr uint32_t NODE_TABLE_NAME = 119;
constexpr uint32_t NODE_COLUMN_DEF = 120;
constexpr uint32_t NODE_IDENTIFIER = 121;
constexpr uint32_t NODE_COLUMN_REF = 132;
constexpr uint32_t NODE_DATA_TYPE = 134;
constexpr uint32_t NODE_COLUMN_ATTR = 135;
constexpr uint32_t NODE_TABLE_CONSTRAINT = 136;
constexpr uint32_t NODE_PRECISION_SCALE = 139;
constexpr uint32_t NODE_INTERVAL_QUALIFIER = 140;
constexpr uint32_t NODE_INTERVAL_FIELD = 141;
// Expression nodes.
constexpr uint32_t NODE_CAST = 142;
constexpr uint32_t NODE_FUNCTION = 143;
constexpr uint32_t NODE_AGGREGATE = 144;
constexpr uint32_t NODE_TRIM_SPEC = 145;
constexpr uint32_t NODE_EXISTS = 146;
constexpr uint32_t NODE_LIKE = 147;
constexpr uint32_t NODE_IS_NULL = 148;
constexpr uint32_t NODE_IN_SUBQUERY = 150;
constexpr uint32_t NODE_QUANTIFIED = 151;
constexpr uint32_t NODE_OPERATOR = 152;
constexpr uint32_t NODE_LIST = 153;
constexpr uint32_t NODE_VALUE = kValueNodeKind;
static_assert(NODE_VALUE == 154, "value nodes are tree nodes of kind 154");
constexpr uint32_t NODE_PARAMETER = 155;
constexpr uint32_t NODE_CASE = 157;
constexpr uint32_t NODE_NULLIF = 158;
constexpr uint32_t NODE_COALESCE = 159;
constexpr uint32_t NODE_WHEN = 160;

/// No finished tree is deeper than this many nodes along any path, where an
/// AND / OR chain counts as one level however long it is (an IN list of
/// 50,000 values is one level): consumers walk chains in a loop (chain.h).
constexpr int kMaxTreeDepth = 10000;
/// At most this many brackets, CASE expressions and escapes open at once.
constexpr int kMaxNesting = 1000;

// Operator node classes.
constexpr int32_t OPCLASS_NOT = 1;
constexpr int32_t OPCLASS_AND = 2;
constexpr int32_t OPCLASS_OR = 3;
constexpr int32_t OPCLASS_OPERATOR = 4;

// Built-in function codes of NODE_FUNCTION (table functions are 0 and above).
constexpr int32_t FN_CHARACTER_LENGTH = -1;
constexpr int32_t FN_OCTET_LENGTH = -2;
constexpr int32_t FN_POSITION = -3;
constexpr int32_t FN_SUBSTRING = -4;
constexpr int32_t FN_TRIM = -5;
constexpr int32_t FN_BIT_LENGTH = -6;
constexpr int32_t FN_LOWER = -7;
constexpr int32_t FN_UPPER = -8;
// Table codes the front end treats specially.
constexpr int32_t FN_TABLE_CONVERT = 11;
constexpr int32_t FN_TABLE_EXTRACT = 25;
constexpr int32_t FN_TABLE_POSITION = 44;

// Aggregate codes.
constexpr int32_t AGG_COUNT = 1;
constexpr int32_t AGG_MAX = 2;
constexpr int32_t AGG_MIN = 3;
constexpr int32_t AGG_SUM = 4;
constexpr int32_t AGG_AVG = 5;
constexpr int32_t AGG_COUNT_STAR = 6;
constexpr int32_t AGG_FIRST = 7;
constexpr int32_t AGG_LAST = 8;

/// Any node: only the kind is known.
struct Node {
    uint32_t kind;
};

/// Reinterprets a node pointer as the record of its kind (the caller has
/// checked the kind). Every record starts with its kind, so this is safe.
template <typename T>
[[nodiscard]] inline T *node_cast(void *node) {
    return reinterpret_cast<T *>(node);
}
template <typename T>
[[nodiscard]] inline const T *node_cast(const void *node) {
    return reinterpret_cast<const T *>(node);
}

struct ListNode {
    uint32_t kind;  // NODE_LIST
    List *list;     // cvbase list of node pointers, in text order (null when empty)
};

struct IdentifierNode {
    uint32_t kind;   // NODE_IDENTIFIER
    char *text;      // zero-terminated, in the node pool
    int32_t quoted;  // 1 when written in double quotes (case kept, printed quoted)
};

struct TableNameNode {
    uint32_t kind;            // NODE_TABLE_NAME
    IdentifierNode *link;     // link part or null
    IdentifierNode *schema;   // schema or null
    IdentifierNode *catalog;  // catalog or null
    IdentifierNode *table;    // the table (or view, index, procedure) name
};

struct ColumnRefNode {
    uint32_t kind;            // NODE_COLUMN_REF
    IdentifierNode *link;     // link part or null
    IdentifierNode *schema;   // schema or null
    IdentifierNode *catalog;  // catalog or null
    IdentifierNode *table;    // table (or alias) or null
    IdentifierNode *column;   // column; null for "*"
    // Resolution, filled by the validator.
    void *scope;               // query scope the column was found in
    void *table_slot;          // the table slot
    int32_t column_position;   // position in the slot, from 1
    void *column_info;         // the column's ColumnInfo
    int32_t slot_position;     // position of the slot in the FROM list
    int32_t outer_reference;   // 1 when found in an enclosing query
    // Set by the validator for columns of views and derived tables (and
    // wherever it has the description at hand): the column's type
    // description. Null: describe_expression uses column_info.
    const ExtendedType *description;
};

// ---- statements ----

struct AlterAddNode {
    uint32_t kind;          // NODE_ALTER_ADD
    TableNameNode *table;   // the table altered
    ListNode *elements;     // NODE_TABLE_ELEMENT, or NODE_COLUMN_DEF for "( ... )"
};

struct AlterDropNode {
    uint32_t kind;             // NODE_ALTER_DROP
    TableNameNode *table;      // the table altered
    IdentifierNode *column;    // the column dropped
    int32_t drop_behaviour;    // 0 none, 1 CASCADE, 2 RESTRICT
};

struct CreateIndexNode {
    uint32_t kind;          // NODE_CREATE_INDEX
    int32_t unique;         // 1 for CREATE UNIQUE INDEX
    TableNameNode *index;   // index name
    TableNameNode *table;   // the table indexed
    ListNode *columns;      // NODE_INDEX_COLUMN
    int32_t key_number;     // ON KEY (n), else 0
};

struct CreateTableNode {
    uint32_t kind;             // NODE_CREATE_TABLE
    TableNameNode *table;      // the new table
    ListNode *elements;        // NODE_TABLE_ELEMENT
    IdentifierNode *as_name;   // AS name form, or null
    IdentifierNode *on_name;   // ON name form, or null
    Value *on_text;            // ON 'text' form, or null
};

struct CreateViewNode {
    uint32_t kind;          // NODE_CREATE_VIEW
    TableNameNode *view;    // the view name
    ListNode *columns;      // NODE_IDENTIFIER, or null
    Node *query;            // NODE_UNION
    int32_t check_option;   // 1 for WITH CHECK OPTION
};

struct DeletePositionedNode {
    uint32_t kind;            // NODE_DELETE_POSITIONED
    TableNameNode *table;     // target table
    IdentifierNode *cursor;   // cursor name
};

struct DeleteNode {
    uint32_t kind;          // NODE_DELETE
    TableNameNode *table;   // target table
    Node *where;            // condition or null
};

struct DropIndexNode {
    uint32_t kind;          // NODE_DROP_INDEX
    TableNameNode *index;   // index name
    TableNameNode *table;   // the table it belongs to
};

struct DropTableNode {
    uint32_t kind;            // NODE_DROP_TABLE or NODE_DROP_VIEW
    TableNameNode *table;     // table or view name
    int32_t drop_behaviour;   // 0 none, 1 CASCADE, 2 RESTRICT
};

struct GrantNode {
    uint32_t kind;          // NODE_GRANT
    ListNode *privileges;   // NODE_PRIVILEGE, null for ALL
    TableNameNode *table;   // the table
    ListNode *grantees;     // NODE_IDENTIFIER, null for PUBLIC
    int32_t grant_option;   // 1 for WITH GRANT OPTION
};

struct InsertNode {
    uint32_t kind;          // NODE_INSERT
    TableNameNode *table;   // target table
    Node *source;           // NODE_INSERT_SOURCE
};

struct RevokeNode {
    uint32_t kind;            // NODE_REVOKE
    TableNameNode *table;     // the table
    ListNode *grantees;       // null for PUBLIC
    int32_t drop_behaviour;   // 0 none, 1 CASCADE, 2 RESTRICT
    ListNode *privileges;     // null for ALL
};

struct SelectNode {
    uint32_t kind;        // NODE_SELECT
    Node *query;          // NODE_UNION
    ListNode *order_by;   // NODE_SORT_SPEC, or null
};

struct SelectForUpdateNode {
    uint32_t kind;        // NODE_SELECT_FOR_UPDATE
    Node *query;          // NODE_SELECT_CORE
    ListNode *columns;    // NODE_COLUMN_REF, or null
};

struct UpdatePositionedNode {
    uint32_t kind;            // NODE_UPDATE_POSITIONED
    TableNameNode *table;     // target table
    ListNode *set_clauses;    // NODE_SET_CLAUSE
    IdentifierNode *cursor;   // cursor name
};

struct UpdateNode {
    uint32_t kind;           // NODE_UPDATE
    TableNameNode *table;    // target table
    ListNode *set_clauses;   // NODE_SET_CLAUSE
    Node *where;             // condition or null
};

struct CallNode {
    uint32_t kind;              // NODE_CALL
    TableNameNode *procedure;   // procedure name
    ListNode *arguments;        // items may be null (omitted arguments); null without "( )"
    int32_t no_return;          // 1 for {call}, 0 for {?=call}
    Node *return_marker;        // NODE_PARAMETER of {?=call}, else null
};

struct CreateUserNode {
    uint32_t kind;                   // NODE_CREATE_USER
    IdentifierNode *user;            // the user
    IdentifierNode *authorization;   // AUTHORIZATION name, or null
    IdentifierNode *in_name;         // IN name, or null
};

struct DropUserNode {
    uint32_t kind;              // NODE_DROP_USER
    IdentifierNode *user;       // the user
    IdentifierNode *in_name;    // IN name, or null
};

struct EmptyStatementNode {
    uint32_t kind;  // NODE_COMMIT or NODE_ROLLBACK
};

// ---- queries ----

struct SelectCoreNode {
    uint32_t kind;             // NODE_SELECT_CORE
    int32_t set_quantifier;    // 0 none, 1 ALL, 2 DISTINCT
    int32_t top;               // TOP count, 0 none
    ListNode *select_list;     // NODE_SELECT_ITEM, null for "*"
    ListNode *from;            // NODE_TABLE_REF, or null
    Node *where;               // condition or null
};

struct QuerySpecNode {
    uint32_t kind;          // NODE_QUERY_SPEC
    Node *core;             // NODE_SELECT_CORE
    ListNode *group_by;     // expressions, or null
    Node *having;           // condition or null
    void *scope;            // query scope, set by the validator
    void *validator_data;   // kept for the validator
    // Set by the validator when the query is used as an expression: the
    // description of its single result column, or null.
    const ExtendedType *result_description;
};

struct UnionNode {
    uint32_t kind;     // NODE_UNION
    Node *left;        // NODE_UNION (compound form)
    Node *right;       // NODE_UNION (compound form)
    int32_t all;       // 1 for UNION ALL
    Node *single;      // NODE_QUERY_SPEC: set for the one-query form
};

struct InsertSourceNode {
    uint32_t kind;             // NODE_INSERT_SOURCE
    int32_t default_values;    // 1 for DEFAULT VALUES
    ListNode *columns;         // NODE_IDENTIFIER, or null
    Node *query;               // NODE_QUERY_SPEC, or null
    ListNode *values;          // expressions and NODE_INSERT_KEYWORD, or null
};

struct TableRefNode {
    uint32_t kind;           // NODE_TABLE_REF
    TableNameNode *table;    // a named table, or null
    IdentifierNode *alias;   // alias or null
    Node *join;              // NODE_JOIN, or null
    Node *derived;           // NODE_UNION of "( query expression )", or null
};

struct SetClauseNode {
    uint32_t kind;            // NODE_SET_CLAUSE
    IdentifierNode *column;   // the column set
    int32_t set_null;         // 1 for "= NULL"
    int32_t set_default;      // 1 for "= DEFAULT VALUE"
    Node *value;              // expression or null
    Node *subquery;           // NODE_QUERY_SPEC of "= ( subquery )", or null
};

struct IndexColumnNode {
    uint32_t kind;            // NODE_INDEX_COLUMN
    IdentifierNode *column;   // the column
    int32_t ordering;         // 1 ASC, 2 DESC
};

struct TableElementNode {
    uint32_t kind;         // NODE_TABLE_ELEMENT
    Node *column_def;      // NODE_COLUMN_DEF or null
    Node *constraint;      // NODE_TABLE_CONSTRAINT or null
};

struct PrivilegeNode {
    uint32_t kind;        // NODE_PRIVILEGE
    int32_t privilege;    // 1 DELETE, 2 INSERT, 3 SELECT, 4 UPDATE, 5 REFERENCES
    ListNode *columns;    // NODE_IDENTIFIER, or null
};

struct SelectItemNode {
    uint32_t kind;              // NODE_SELECT_ITEM
    Node *expression;           // the expression, null for "t.*"
    IdentifierNode *alias;      // alias or null
    TableNameNode *wildcard;    // the t of "t.*", else null
};

struct SortSpecNode {
    uint32_t kind;             // NODE_SORT_SPEC
    Node *expression;          // sort key
    int32_t validator_data;    // kept for the validator
    int32_t ordering;          // 1 ASC, 2 DESC
};

struct InsertKeywordNode {
    uint32_t kind;    // NODE_INSERT_KEYWORD
    int32_t which;    // 1 NULL, 2 DEFAULT
};

struct JoinNode {
    uint32_t kind;          // NODE_JOIN
    Node *left;             // NODE_TABLE_REF
    int32_t natural;        // 1 for NATURAL
    int32_t outer_kind;     // 4 LEFT, 6 RIGHT, 8 FULL (4 for inner joins)
    int32_t inner_code;     // 2 inner join, 3 outer join
    Node *right;            // NODE_TABLE_REF
    Node *on;               // ON condition or null
    ListNode *using_columns;// NODE_IDENTIFIER, or null
    void *validator_data;   // kept for the validator
};

// ---- names and definitions ----

struct DataTypeNode;

struct ColumnDefNode {
    uint32_t kind;             // NODE_COLUMN_DEF
    IdentifierNode *column;    // column name
    DataTypeNode *type;        // its type
    ListNode *attributes;      // NODE_COLUMN_ATTR, or null
};

struct PrecisionScaleNode {
    uint32_t kind;        // NODE_PRECISION_SCALE
    int32_t precision;    // precision
    int32_t scale;        // scale (0 when not given)
};

struct DataTypeNode {
    uint32_t kind;                   // NODE_DATA_TYPE
    int32_t sql_type;                // ODBC SQL type code
    int32_t length;                  // length or (leading) precision
    int32_t seconds_precision;       // interval TO SECOND forms
    int32_t is_signed;               // integer types: 1 signed, 0 UNSIGNED
    int32_t reserved;                // kept 0
    int32_t auto_increment;          // AUTOINCREMENT and COUNTER
    PrecisionScaleNode *precision_scale;  // NUMERIC, DECIMAL, INTERVAL SECOND, or null
};

struct ColumnAttrNode {
    uint32_t kind;                // NODE_COLUMN_ATTR
    int32_t code;                 // 1 UNIQUE, 2 PRIMARY KEY, 3 CHECK, 5 NOT NULL, 6 REFERENCES,
                                  // 7 DEFAULT, 8 auto-number, 9 NULL, 10 AS
    TableNameNode *ref_table;     // REFERENCES table
    IdentifierNode *ref_column;   // REFERENCES column or null
    Node *check;                  // CHECK condition
    Node *default_value;          // DEFAULT value (value node or unary minus)
    IdentifierNode *as_name;      // AS name
    ListNode *as_arguments;       // AS name( ... ) arguments
    int32_t seed;                 // auto-number seed, 0 when absent
    int32_t increment;            // auto-number increment, 1 when absent
    Value *as_text;               // AS 'text'
    int32_t key_number;           // PRIMARY KEY ON KEY (n)
};

struct TableConstraintNode {
    uint32_t kind;                // NODE_TABLE_CONSTRAINT
    int32_t code;                 // 1 UNIQUE, 2 PRIMARY KEY, 3 CHECK, 4 FOREIGN KEY
    ListNode *columns;            // NODE_IDENTIFIER
    Node *check;                  // CHECK condition
    TableNameNode *ref_table;     // FOREIGN KEY ... REFERENCES table
    ListNode *ref_columns;        // referenced columns, or null
    int32_t on_delete;            // 0 no action, 1 CASCADE, 2 SET NULL, 3 SET DEFAULT
    int32_t key_number;           // ON KEY (n)
};

struct IntervalFieldNode {
    uint32_t kind;                        // NODE_INTERVAL_FIELD
    int32_t field;                        // 1 YEAR .. 6 SECOND, 7 SECOND (p, s)
    int32_t precision;                    // leading precision, 0 when absent
    PrecisionScaleNode *precision_scale;  // code 7 only
};

struct IntervalQualifierNode {
    uint32_t kind;              // NODE_INTERVAL_QUALIFIER
    IntervalFieldNode *start;   // start field of "start TO end"
    IntervalFieldNode *end;     // end field
    IntervalFieldNode *single;  // set instead of start and end
};

// ---- expressions ----

struct CastNode {
    uint32_t kind;           // NODE_CAST
    Node *operand;           // null for CAST(NULL AS ...)
    DataTypeNode *target;    // target type
};

struct FunctionNode {
    uint32_t kind;                  // NODE_FUNCTION
    int32_t code;                   // built-in (< 0) or table code
    ListNode *arguments;            // table functions, or null
    Node *operand1;                 // built-in forms
    Node *operand2;
    Node *operand3;
    const ScalarFunction *entry;    // the table entry (table functions)
};

struct AggregateNode {
    uint32_t kind;               // NODE_AGGREGATE
    int32_t code;                // AGG_*
    int32_t distinct;            // 1 for the DISTINCT form
    Node *distinct_column;       // NODE_COLUMN_REF of the DISTINCT form
    Node *argument;              // argument of the plain form
    int32_t accumulator_slot;    // set by the validator
    int32_t result_sql_type;     // set by the validator
};

struct TrimSpecNode {
    uint32_t kind;         // NODE_TRIM_SPEC
    int32_t side;          // 0 none, 1 LEADING, 2 TRAILING, 3 BOTH
    Node *character;       // trim character (value, parameter) or null
    Node *source;          // the trimmed expression
};

struct ExistsNode {
    uint32_t kind;        // NODE_EXISTS
    Node *subquery;       // NODE_QUERY_SPEC
    int32_t negated;      // 1 for NOT EXISTS
};

struct LikeNode {
    uint32_t kind;        // NODE_LIKE
    Node *operand;        // matched expression
    int32_t negated;      // 1 for NOT LIKE
    Node *pattern;        // value, parameter or USER value
    Node *escape;         // escape character or null
    void *engine_data;    // kept for the engine
};

struct IsNullNode {
    uint32_t kind;        // NODE_IS_NULL
    Node *operand;        // tested expression
    int32_t negated;      // 1 for IS NOT NULL
};

struct InSubqueryNode {
    uint32_t kind;        // NODE_IN_SUBQUERY
    Node *operand;        // tested expression
    int32_t negated;      // 1 for NOT IN
    Node *subquery;       // NODE_QUERY_SPEC, or null once replaced
    void *engine_data1;   // kept for the engine
    void *engine_data2;
    ListNode *values;     // set by the engine when it replaces the subquery
};

struct QuantifiedNode {
    uint32_t kind;        // NODE_QUANTIFIED
    Node *operand;        // left operand
    int32_t op;           // comparison operator code
    int32_t quantifier;   // 1 ALL, 2 ANY, 3 SOME
    int32_t negated;      // set when NOT was pushed onto it
    Node *subquery;       // NODE_QUERY_SPEC
};

struct OperatorNode {
    uint32_t kind;        // NODE_OPERATOR
    int32_t op_class;     // OPCLASS_*
    int32_t op;           // OP_* of class 4
    Node *left;           // null for unary minus and NOT
    Node *right;          // right operand
    int32_t satisfied;    // set by the engine when a provider applied it
};

struct ParameterNode {
    uint32_t kind;        // NODE_PARAMETER
    int32_t number;       // 1-based, in text order
    void *binding;        // filled at execution
    void *value;          // filled at execution
};

struct CaseNode {
    uint32_t kind;        // NODE_CASE
    Node *operand;        // simple CASE operand, or null
    ListNode *whens;      // NODE_WHEN
    Node *else_result;    // ELSE expression or null
};

struct NullifNode {
    uint32_t kind;        // NODE_NULLIF
    Node *first;
    Node *second;
};

struct CoalesceNode {
    uint32_t kind;         // NODE_COALESCE
    ListNode *arguments;   // the arguments
};

struct WhenNode {
    uint32_t kind;        // NODE_WHEN
    Node *condition;      // condition (searched) or comparison value (simple)
    Node *result;         // THEN expression
};
