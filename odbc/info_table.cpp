// The SQLGetInfo answer table: one entry per information type, sorted by
// type. Generated once from the driver's published answer list; edit the
// entries, not their order.
#include <algorithm>
#include <iterator>

#include "odbc/info.h"

namespace {

// SQL_KEYWORDS: the words the SQL front end reserves beyond the ODBC list
// (963 characters; the blank after "AUTHORIZATION," is part of the answer).
constexpr const char *kKeywords =
    "ADD,ALL,ALTER,AND,ANY,AS,ASC,AUTHORIZATION, AUTO_INCREMENT,AVG,BETWEEN,BIGINT,BINARY,"
    "BIT,BIT_LENGTH,BOTH,BY,CASCADE,CASE,CAST,CHAR,CHARACTER,CHARACTER_LENGTH,CHAR_LENGTH,"
    "CHECK,COALESCE,COLUMN,COMMIT,COUNT,CREATE,CURRENT,CURRENT_DATE,CURRENT_TIME,"
    "CURRENT_TIMESTAMP,CURRENT_USER,DATETIME,DAY,DEC,DECIMAL,DEFAULT,DELETE,DESC,DISTINCT,"
    "DOUBLE,DROP,ELSE,END,ESCAPE,EXISTS,FIRST,FLOAT,FOR,FOREIGN,FROM,FULL,GRANT,GROUP,HAVING,"
    "HOUR,IDENTITY,IN,INDEX,INNER,INSERT,INT,INTEGER,INTERVAL,INTO,IS,JOIN,KEY,LEADING,LEFT,"
    "LIKE,LONG,LONGBLOB,MAX,MEDIUMBLOB,MIDDLEINT,MIN,MINUTE,MONTH,NATURAL,NO,NOT,NULL,NULLIF,"
    "NUMERIC,OCTET_LENGTH,OF,ON,OPTION,OR,ORDER,OUTER,OVERLAPS,POSITION,PRECISION,PRIMARY,"
    "PRIVILEGES,PUBLIC,REAL,REFERENCES,REVOKE,RIGHT,ROLLBACK,SECOND,SELECT,SET,SMALLINT,"
    "SIGNED,SUBSTRING,SUM,TABLE,TEXT,THEN,TIME,TIMESTAMP,TINYBLOB,TINYINT,TO,TRAILING,TRIM,"
    "UNSIGNED,UNION,UNIQUE,UPDATE,UPPER,USER,USING,VALUE,VALUES,VARBINARY,VARCHAR,VARYING,"
    "VIEW,WHEN,WHERE,WITH,WORK,YEAR";

constexpr InfoEntry kInfo[] = {
    {0, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_DRIVER_CONNECTIONS
    {1, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_CONCURRENT_ACTIVITIES
    {2, InfoKind::ConnAttr, 0, "DSN"},  // SQL_DATA_SOURCE_NAME
    {5, InfoKind::Echo, 0, nullptr},  // SQL_DRIVER_HSTMT
    {6, InfoKind::Text, 0, "libcvconnect.so"},  // SQL_DRIVER_NAME
    {7, InfoKind::Text, 0, "01.00.0017"},  // SQL_DRIVER_VER
    {8, InfoKind::Int32, 191u, nullptr},  // SQL_FETCH_DIRECTION
    {9, InfoKind::Int16, 1u, nullptr},  // SQL_ODBC_API_CONFORMANCE
    {10, InfoKind::Text, 0, "01.00.0017"},  // SQL_ODBC_VER
    {11, InfoKind::Text, 0, "N"},  // SQL_ROW_UPDATES
    {12, InfoKind::Int16, 0u, nullptr},  // SQL_ODBC_SAG_CLI_CONFORMANCE
    {13, InfoKind::Text, 0, "PAYPAL"},  // SQL_SERVER_NAME
    {14, InfoKind::Text, 0, "\\"},  // SQL_SEARCH_PATTERN_ESCAPE
    {15, InfoKind::Int16, 2u, nullptr},  // SQL_ODBC_SQL_CONFORMANCE
    {16, InfoKind::Text, 0, "SF"},  // SQL_DATABASE_NAME
    {17, InfoKind::Text, 0, "Corvane PAYPAL ODBC Driver"},  // SQL_DBMS_NAME
    {18, InfoKind::Text, 0, "01.00.0017"},  // SQL_DBMS_VER
    {19, InfoKind::Text, 0, "Y"},  // SQL_ACCESSIBLE_TABLES
    {20, InfoKind::Text, 0, "Y"},  // SQL_ACCESSIBLE_PROCEDURES
    {21, InfoKind::Text, 0, "Y"},  // SQL_PROCEDURES
    {22, InfoKind::Int16, 0u, nullptr},  // SQL_CONCAT_NULL_BEHAVIOR
    {23, InfoKind::Int16, 2u, nullptr},  // SQL_CURSOR_COMMIT_BEHAVIOR
    {24, InfoKind::Int16, 2u, nullptr},  // SQL_CURSOR_ROLLBACK_BEHAVIOR
    {25, InfoKind::Text, 0, "N"},  // SQL_DATA_SOURCE_READ_ONLY
    {26, InfoKind::Int32, 1u, nullptr},  // SQL_DEFAULT_TXN_ISOLATION
    {27, InfoKind::Text, 0, "Y"},  // SQL_EXPRESSIONS_IN_ORDERBY
    {28, InfoKind::Int16, 4u, nullptr},  // SQL_IDENTIFIER_CASE
    {29, InfoKind::Text, 0, "\""},  // SQL_IDENTIFIER_QUOTE_CHAR
    {30, InfoKind::Int16, 64u, nullptr},  // SQL_MAX_COLUMN_NAME_LEN
    {31, InfoKind::Int16, 64u, nullptr},  // SQL_MAX_CURSOR_NAME_LEN
    {32, InfoKind::Int16, 25u, nullptr},  // SQL_MAX_SCHEMA_NAME_LEN
    {33, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_PROCEDURE_NAME_LEN
    {34, InfoKind::Int16, 16u, nullptr},  // SQL_MAX_CATALOG_NAME_LEN
    {35, InfoKind::Int16, 64u, nullptr},  // SQL_MAX_TABLE_NAME_LEN
    {36, InfoKind::Text, 0, "Y"},  // SQL_MULT_RESULT_SETS
    {37, InfoKind::Text, 0, "N"},  // SQL_MULTIPLE_ACTIVE_TXN
    {38, InfoKind::Text, 0, "Y"},  // SQL_OUTER_JOINS
    {39, InfoKind::Text, 0, "SCHEMA"},  // SQL_SCHEMA_TERM
    {40, InfoKind::Text, 0, "QUERY"},  // SQL_PROCEDURE_TERM
    {41, InfoKind::Text, 0, "."},  // SQL_CATALOG_NAME_SEPARATOR
    {42, InfoKind::Text, 0, "DATABASE"},  // SQL_CATALOG_TERM
    {43, InfoKind::Int32, 10u, nullptr},  // SQL_SCROLL_CONCURRENCY
    {44, InfoKind::Int32, 19u, nullptr},  // SQL_SCROLL_OPTIONS
    {45, InfoKind::Text, 0, "table"},  // SQL_TABLE_TERM
    {46, InfoKind::Int16, 3u, nullptr},  // SQL_TXN_CAPABLE
    {47, InfoKind::ConnAttr, 0, "UID"},  // SQL_USER_NAME
    {48, InfoKind::Int32, 3u, nullptr},  // SQL_CONVERT_FUNCTIONS
    {49, InfoKind::Int32, 16777215u, nullptr},  // SQL_NUMERIC_FUNCTIONS
    {50, InfoKind::Int32, 16777215u, nullptr},  // SQL_STRING_FUNCTIONS
    {51, InfoKind::Int32, 7u, nullptr},  // SQL_SYSTEM_FUNCTIONS
    {52, InfoKind::Int32, 2097151u, nullptr},  // SQL_TIMEDATE_FUNCTIONS
    {53, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_BIGINT
    {54, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_BINARY
    {55, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_BIT
    {56, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_CHAR
    {57, InfoKind::Int32, 15109889u, nullptr},  // SQL_CONVERT_DATE
    {58, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_DECIMAL
    {59, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_DOUBLE
    {60, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_FLOAT
    {61, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_INTEGER
    {62, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_LONGVARCHAR
    {63, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_NUMERIC
    {64, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_REAL
    {65, InfoKind::Int32, 16547839u, nullptr},  // SQL_CONVERT_SMALLINT
    {66, InfoKind::Int32, 15142657u, nullptr},  // SQL_CONVERT_TIME
    {67, InfoKind::Int32, 15175425u, nullptr},  // SQL_CONVERT_TIMESTAMP
    {68, InfoKind::Int32, 14970367u, nullptr},  // SQL_CONVERT_TINYINT
    {69, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_VARBINARY
    {70, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_VARCHAR
    {71, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_LONGVARBINARY
    {72, InfoKind::Int32, 3u, nullptr},  // SQL_TXN_ISOLATION_OPTION
    {73, InfoKind::Text, 0, "Y"},  // SQL_INTEGRITY
    {74, InfoKind::Int16, 2u, nullptr},  // SQL_CORRELATION_NAME
    {75, InfoKind::Int16, 1u, nullptr},  // SQL_NON_NULLABLE_COLUMNS
    {76, InfoKind::Int32, 0u, nullptr},  // SQL_DRIVER_HLIB
    {77, InfoKind::Text, 0, "03.51"},  // SQL_DRIVER_ODBC_VER
    {78, InfoKind::Int32, 7u, nullptr},  // SQL_LOCK_TYPES
    {79, InfoKind::Int32, 31u, nullptr},  // SQL_POS_OPERATIONS
    {80, InfoKind::Int32, 0u, nullptr},  // SQL_POSITIONED_STATEMENTS
    {81, InfoKind::Int32, 11u, nullptr},  // SQL_GETDATA_EXTENSIONS
    {82, InfoKind::Int32, 18u, nullptr},  // SQL_BOOKMARK_PERSISTENCE
    {83, InfoKind::Int32, 0u, nullptr},  // SQL_STATIC_SENSITIVITY
    {84, InfoKind::Int16, 0u, nullptr},  // SQL_FILE_USAGE
    {85, InfoKind::Int16, 0u, nullptr},  // SQL_NULL_COLLATION
    {86, InfoKind::Int32, 0u, nullptr},  // SQL_ALTER_TABLE
    {87, InfoKind::Text, 0, "Y"},  // SQL_COLUMN_ALIAS
    {88, InfoKind::Int16, 3u, nullptr},  // SQL_GROUP_BY
    {89, InfoKind::Text, 0, kKeywords},  // SQL_KEYWORDS
    {90, InfoKind::Text, 0, "N"},  // SQL_ORDER_BY_COLUMNS_IN_SELECT
    {91, InfoKind::Int32, 1u, nullptr},  // SQL_SCHEMA_USAGE
    {92, InfoKind::Int32, 1u, nullptr},  // SQL_CATALOG_USAGE
    {93, InfoKind::Int16, 4u, nullptr},  // SQL_QUOTED_IDENTIFIER_CASE
    {94, InfoKind::Text, 0, " $"},  // SQL_SPECIAL_CHARACTERS
    {95, InfoKind::Int32, 31u, nullptr},  // SQL_SUBQUERIES
    {96, InfoKind::Int32, 3u, nullptr},  // SQL_UNION
    {97, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_COLUMNS_IN_GROUP_BY
    {98, InfoKind::Int16, 10u, nullptr},  // SQL_MAX_COLUMNS_IN_INDEX
    {99, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_COLUMNS_IN_ORDER_BY
    {100, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_COLUMNS_IN_SELECT
    {101, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_COLUMNS_IN_TABLE
    {102, InfoKind::Int32, 83u, nullptr},  // SQL_MAX_INDEX_SIZE
    {103, InfoKind::Text, 0, "N"},  // SQL_MAX_ROW_SIZE_INCLUDES_LONG
    {104, InfoKind::Int32, 0u, nullptr},  // SQL_MAX_ROW_SIZE
    {105, InfoKind::Int32, 65000u, nullptr},  // SQL_MAX_STATEMENT_LEN
    {106, InfoKind::Int16, 0u, nullptr},  // SQL_MAX_TABLES_IN_SELECT
    {107, InfoKind::Int16, 64u, nullptr},  // SQL_MAX_USER_NAME_LEN
    {108, InfoKind::Int32, 255u, nullptr},  // SQL_MAX_CHAR_LITERAL_LEN
    {109, InfoKind::Int32, 511u, nullptr},  // SQL_TIMEDATE_ADD_INTERVALS
    {110, InfoKind::Int32, 511u, nullptr},  // SQL_TIMEDATE_DIFF_INTERVALS
    {111, InfoKind::Text, 0, "N"},  // SQL_NEED_LONG_DATA_LEN
    {112, InfoKind::Int32, 255u, nullptr},  // SQL_MAX_BINARY_LITERAL_LEN
    {113, InfoKind::Text, 0, "Y"},  // SQL_LIKE_ESCAPE_CLAUSE
    {114, InfoKind::Int16, 1u, nullptr},  // SQL_CATALOG_LOCATION
    {115, InfoKind::Int32, 127u, nullptr},  // SQL_OJ_CAPABILITIES
    {116, InfoKind::Int16, 1u, nullptr},  // SQL_ACTIVE_ENVIRONMENTS
    {117, InfoKind::Int32, 0u, nullptr},  // SQL_ALTER_DOMAIN
    {118, InfoKind::Int32, 1u, nullptr},  // SQL_SQL_CONFORMANCE
    {119, InfoKind::Int32, 65535u, nullptr},  // SQL_DATETIME_LITERALS
    {120, InfoKind::Int32, 0u, nullptr},  // SQL_BATCH_ROW_COUNT
    {121, InfoKind::Int32, 0u, nullptr},  // SQL_BATCH_SUPPORT
    {122, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_WCHAR
    {123, InfoKind::Int32, 15494937u, nullptr},  // SQL_CONVERT_INTERVAL_DAY_TIME
    {124, InfoKind::Int32, 15494937u, nullptr},  // SQL_CONVERT_INTERVAL_YEAR_MONTH
    {125, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_WLONGVARCHAR
    {126, InfoKind::Int32, 16777215u, nullptr},  // SQL_CONVERT_WVARCHAR
    {127, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_ASSERTION
    {128, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_CHARACTER_SET
    {129, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_COLLATION
    {130, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_DOMAIN
    {131, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_SCHEMA
    {132, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_TABLE
    {133, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_TRANSLATION
    {134, InfoKind::Int32, 0u, nullptr},  // SQL_CREATE_VIEW
    {136, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_ASSERTION
    {137, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_CHARACTER_SET
    {138, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_COLLATION
    {139, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_DOMAIN
    {140, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_SCHEMA
    {141, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_TABLE
    {142, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_TRANSLATION
    {143, InfoKind::Int32, 0u, nullptr},  // SQL_DROP_VIEW
    {144, InfoKind::Int32, 65473u, nullptr},  // SQL_DYNAMIC_CURSOR_ATTRIBUTES1
    {145, InfoKind::Int32, 16427u, nullptr},  // SQL_DYNAMIC_CURSOR_ATTRIBUTES2
    {146, InfoKind::Int32, 64961u, nullptr},  // SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1
    {147, InfoKind::Int32, 3u, nullptr},  // SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2
    {148, InfoKind::Int32, 0u, nullptr},  // SQL_INDEX_KEYWORDS
    {149, InfoKind::Int32, 4939878u, nullptr},  // SQL_INFO_SCHEMA_VIEWS
    {150, InfoKind::Int32, 65473u, nullptr},  // SQL_KEYSET_CURSOR_ATTRIBUTES1
    {151, InfoKind::Int32, 16427u, nullptr},  // SQL_KEYSET_CURSOR_ATTRIBUTES2
    {152, InfoKind::Int32, 2u, nullptr},  // SQL_ODBC_INTERFACE_CONFORMANCE
    {153, InfoKind::Int32, 2u, nullptr},  // SQL_PARAM_ARRAY_ROW_COUNTS
    {154, InfoKind::Int32, 2u, nullptr},  // SQL_PARAM_ARRAY_SELECTS
    {155, InfoKind::Int32, 7u, nullptr},  // SQL_SQL92_DATETIME_FUNCTIONS
    {156, InfoKind::Int32, 15u, nullptr},  // SQL_SQL92_FOREIGN_KEY_DELETE_RULE
    {157, InfoKind::Int32, 15u, nullptr},  // SQL_SQL92_FOREIGN_KEY_UPDATE_RULE
    {158, InfoKind::Int32, 8176u, nullptr},  // SQL_SQL92_GRANT
    {159, InfoKind::Int32, 63u, nullptr},  // SQL_SQL92_NUMERIC_VALUE_FUNCTIONS
    {160, InfoKind::Int32, 16007u, nullptr},  // SQL_SQL92_PREDICATES
    {161, InfoKind::Int32, 984u, nullptr},  // SQL_SQL92_RELATIONAL_JOIN_OPERATORS
    {162, InfoKind::Int32, 32160u, nullptr},  // SQL_SQL92_REVOKE
    {163, InfoKind::Int32, 15u, nullptr},  // SQL_SQL92_ROW_VALUE_CONSTRUCTOR
    {164, InfoKind::Int32, 239u, nullptr},  // SQL_SQL92_STRING_FUNCTIONS
    {165, InfoKind::Int32, 15u, nullptr},  // SQL_SQL92_VALUE_EXPRESSIONS
    {166, InfoKind::Int32, 0u, nullptr},  // SQL_STANDARD_CLI_CONFORMANCE
    {167, InfoKind::Int32, 4687u, nullptr},  // SQL_STATIC_CURSOR_ATTRIBUTES1
    {168, InfoKind::Int32, 65537u, nullptr},  // SQL_STATIC_CURSOR_ATTRIBUTES2
    {169, InfoKind::Int32, 127u, nullptr},  // SQL_AGGREGATE_FUNCTIONS
    {170, InfoKind::Int32, 0u, nullptr},  // SQL_DDL_INDEX
    {172, InfoKind::Int32, 7u, nullptr},  // SQL_INSERT_STATEMENT
    {10000, InfoKind::Text, 0, "1994"},  // SQL_XOPEN_CLI_YEAR
    {10001, InfoKind::Int32, 0u, nullptr},  // SQL_CURSOR_SENSITIVITY
    {10002, InfoKind::Text, 0, "Y"},  // SQL_DESCRIBE_PARAMETER
    {10003, InfoKind::Text, 0, "Y"},  // SQL_CATALOG_NAME
    {10004, InfoKind::Text, 0, "ISO 8859-1"},  // SQL_COLLATION_SEQ
    {10005, InfoKind::Int16, 64u, nullptr},  // SQL_MAX_IDENTIFIER_LEN
    {10021, InfoKind::Int32, 0u, nullptr},  // SQL_ASYNC_MODE
    {10022, InfoKind::Int32, 0u, nullptr},  // SQL_MAX_ASYNC_CONCURRENT_STATEMENTS
    {65003, InfoKind::Int32, 127u, nullptr},  // SQL_OJ_CAPABILITIES (ODBC 2 number)
};

constexpr bool sorted_by_type() {
    for (size_t i = 1; i < std::size(kInfo); i++)
        if (kInfo[i - 1].type >= kInfo[i].type) return false;
    return true;
}
static_assert(sorted_by_type(), "info entries are sorted by type, each type once");

}  // namespace

const InfoEntry *info_lookup(uint16_t type) {
    const InfoEntry *end = std::end(kInfo);
    const InfoEntry *e = std::lower_bound(std::begin(kInfo), end, type,
                                          [](const InfoEntry &x, uint16_t t) { return x.type < t; });
    return e != end && e->type == type ? e : nullptr;
}

uint32_t info_number(uint16_t type) {
    const InfoEntry *e = info_lookup(type);
    return e && (e->kind == InfoKind::Int16 || e->kind == InfoKind::Int32) ? e->number : 0;
}

const InfoEntry *info_entries(size_t *count) {
    *count = std::size(kInfo);
    return kInfo;
}
