// Descriptor record type setting: concise type, verbose type, subcode and
// the length defaults of the type.
#include "odbc/desc_type.h"

#include <sqlext.h>

namespace {

// Octet length of the fixed-size C and SQL types (0 for variable ones).
SQLLEN fixed_octet_length(int16_t concise) {
    switch (concise) {
        case SQL_C_BIT:
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
        case SQL_C_UTINYINT: return 1;
        case SQL_SMALLINT:
        case SQL_C_SSHORT:
        case SQL_C_USHORT: return 2;
        case SQL_INTEGER:
        case SQL_C_SLONG:
        case SQL_C_ULONG:
        case SQL_REAL: return 4;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_BIGINT:
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT: return 8;
        case SQL_TYPE_DATE:
        case SQL_DATE:
        case SQL_TYPE_TIME:
        case SQL_TIME: return 6;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP: return 16;
        case SQL_C_NUMERIC: return static_cast<SQLLEN>(sizeof(SQL_NUMERIC_STRUCT));
        case SQL_GUID: return 16;
        default:
            if (concise >= SQL_INTERVAL_YEAR && concise <= SQL_INTERVAL_MINUTE_TO_SECOND)
                return static_cast<SQLLEN>(sizeof(SQL_INTERVAL_STRUCT));
            return 0;
    }
}

// Concise code of a datetime subcode (1 date, 2 time, 3 timestamp).
int16_t datetime_concise(int16_t code, int odbc_version) {
    if (code < SQL_CODE_DATE || code > SQL_CODE_TIMESTAMP) code = SQL_CODE_TIMESTAMP;
    return static_cast<int16_t>(odbc_version == 2 ? SQL_DATE + code - 1 : SQL_TYPE_DATE + code - 1);
}

void apply_defaults(DescRecord *r) {
    const int16_t c = r->concise_type;
    r->octet_length = fixed_octet_length(c);
    switch (c) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            r->length = 1;
            r->precision = 0;
            break;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            r->scale = 0;
            r->precision = 38;
            break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
            r->precision = 53;
            break;
        case SQL_REAL: r->precision = 24; break;
        case SQL_TYPE_TIME:
        case SQL_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP: r->precision = 0; break;
        default:
            if (r->type == SQL_INTERVAL) {
                r->datetime_interval_precision = 2;
                r->precision = 6;
            }
            break;
    }
}

}  // namespace

void desc_set_concise_type(DescRecord *r, int16_t concise, int odbc_version) {
    if (concise >= SQL_TYPE_DATE && concise <= SQL_TYPE_TIMESTAMP) {
        r->type = SQL_DATETIME;
        r->datetime_interval_code = static_cast<int16_t>(concise - SQL_TYPE_DATE + 1);
        r->concise_type = datetime_concise(r->datetime_interval_code, odbc_version);
    } else if (concise >= SQL_DATE && concise <= SQL_TIMESTAMP) {
        // ODBC 2 date, time and timestamp (9 is also SQL_DATETIME's number,
        // but as a concise type it can only mean a date).
        r->type = SQL_DATETIME;
        r->datetime_interval_code = static_cast<int16_t>(concise - SQL_DATE + 1);
        r->concise_type = datetime_concise(r->datetime_interval_code, odbc_version);
    } else if (concise >= SQL_INTERVAL_YEAR && concise <= SQL_INTERVAL_MINUTE_TO_SECOND) {
        r->type = SQL_INTERVAL;
        r->datetime_interval_code = static_cast<int16_t>(concise - 100);
        r->concise_type = concise;
    } else {
        r->type = concise;
        r->concise_type = concise;
        r->datetime_interval_code = 0;
    }
    apply_defaults(r);
}

void desc_set_verbose_type(DescRecord *r, int16_t verbose, int odbc_version) {
    if (verbose == SQL_DATETIME) {
        r->type = SQL_DATETIME;
        r->concise_type = datetime_concise(r->datetime_interval_code, odbc_version);
    } else if (verbose == SQL_INTERVAL) {
        int16_t code = r->datetime_interval_code;
        if (code < SQL_CODE_YEAR || code > SQL_CODE_MINUTE_TO_SECOND) code = SQL_CODE_YEAR;
        r->type = SQL_INTERVAL;
        r->datetime_interval_code = code;
        r->concise_type = static_cast<int16_t>(100 + code);
    } else {
        r->type = verbose;
        r->concise_type = verbose;
        r->datetime_interval_code = 0;
    }
    apply_defaults(r);
}
