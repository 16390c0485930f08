// SQIGetData for query rows: converts the JSON value of one column of the
// current row into the buffer type the engine asks for, delivering character
// data in pieces. Catalogue listings (other modes) are answered by
// catalog_get_data.
//
// The piece offset belongs to one column of one row: reading another column
// or the same column of a later row starts at the beginning again, and so
// does reading a column again after its value was delivered whole.
//
// Every conversion follows the rules of value_rules.h. A value that cannot
// become its column's value is an error naming the table, the column and
// the value (22018, 22007, 22003), never a NULL, zero or wrapped number:
// NULL is an absent member, JSON null or an empty array read as text.
//
// Exports: SQIGetData.
#include <sqlext.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "sqi/json_text.h"
#include "sqi/row_mapping.h"
#include "sqi/scan.h"
#include "sqi/value_rules.h"

namespace {

int set_null(SQLLEN *length) {
    if (length) *length = SQL_NULL_DATA;
    return DAL_OK;
}

int deliver_text(PaypalIterator *it, const char *text, size_t size, char *buffer, SQLLEN capacity,
                 SQLLEN *length) {
    size_t offset = static_cast<size_t>(it->piece_offset);
    if (offset > size) offset = size;
    size_t rest = size - offset;
    if (capacity <= 0 || !buffer) {
        // Nowhere to copy: report what remains, deliver nothing.
        if (length) *length = static_cast<SQLLEN>(rest);
        return rest > 0 ? DAL_INFO : DAL_OK;
    }
    size_t room = static_cast<size_t>(capacity) - 1;
    if (rest > room) {
        memcpy(buffer, text + offset, room);
        buffer[room] = 0;
        if (length) *length = static_cast<SQLLEN>(room);
        it->piece_offset += static_cast<int32_t>(room);
        return DAL_INFO;
    }
    memcpy(buffer, text + offset, rest);
    buffer[rest] = 0;
    if (length) *length = static_cast<SQLLEN>(rest);
    it->piece_offset = 0;  // delivered whole: a later read starts again
    return DAL_OK;
}

// The name of a column's SQL type in messages.
const char *type_name(int sql_type) {
    switch (sql_type) {
        case SQL_NUMERIC: return "NUMERIC";
        case SQL_INTEGER: return "INTEGER";
        case SQL_TINYINT: return "TINYINT";
        case SQL_SMALLINT: return "SMALLINT";
        case SQL_BIGINT: return "BIGINT";
        case SQL_DOUBLE: return "DOUBLE";
        case SQL_BIT: return "BIT";
        case SQL_DATE: case SQL_TYPE_DATE: return "DATE";
        case SQL_TIME: case SQL_TYPE_TIME: return "TIME";
        case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return "TIMESTAMP";
        case SQL_LONGVARCHAR: return "LONGNVARCHAR";
        default: return "NVARCHAR";
    }
}

const char *kind_name(const ReplyValue &v) {
    switch (v.kind) {
        case JsonKind::kString: return "string";
        case JsonKind::kInteger: case JsonKind::kReal: return "number";
        case JsonKind::kObject: return "object";
        case JsonKind::kArray: return "array";
        default: return "boolean";
    }
}

// A value that cannot become its column's value: the SQLSTATE of the
// outcome, naming the table, the column and the value as the reply wrote it
// (cut after 64 characters).
int post_bad_value(PaypalIterator *it, const PaypalColumn *c, const ReplyValue &v, ValueOutcome outcome) {
    std::string text;
    append_reply_value_json(v, text);
    char message[512];
    snprintf(message, sizeof message, "%s: %s.%s (%s) cannot hold the JSON %s %.64s%s", value_outcome_text(outcome),
             it->table->name, c->name, type_name(c->sql_type), kind_name(v), text.c_str(),
             text.size() > 64 ? "..." : "");
    scan_post_state(it, value_outcome_sqlstate(outcome), message);
    return DAL_ERROR;
}

}  // namespace

int SQIGetData(void *handle, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *it = static_cast<PaypalIterator *>(handle);
    if (it->mode == kTextRows) return text_rows_get_data(it, column, c_type, buffer, capacity, length);
    if (it->mode != kQueryRows) return catalog_get_data(it, column, c_type, buffer, capacity, length);
    if (column != it->piece_column || it->row_serial != it->piece_serial) {
        it->piece_offset = 0;
        it->piece_column = column;
        it->piece_serial = it->row_serial;
        it->piece_text_ready = 0;
    }
    const ReplyValue v = scan_column_value(it, column - 1);
    if (v.kind == JsonKind::kNull) return set_null(length);
    const PaypalColumn *c = &it->table->columns[column - 1];
    ValueTarget target;
    if (!value_target(c_type, c->sql_type, &target)) {
        // A buffer type rows are never read as: an error, so the caller
        // never takes an unwritten buffer for a value.
        paypal_post(it->env, "07006", "restricted data type attribute violation");
        return DAL_ERROR;
    }
    auto *out = static_cast<char *>(buffer);
    const bool text = target == ValueTarget::kText || target == ValueTarget::kNumberText;
    // A value's text is converted once; every later piece of the same row
    // and column comes from it (in the page, or built in piece_text).
    if (text && it->piece_text_ready)
        return deliver_text(it, it->piece_view.data(), it->piece_view.size(), out, capacity, length);
    ConvertedValue value;
    ValueOutcome outcome = convert_json_value(v, target, c, it->piece_text, &value);
    if (outcome == ValueOutcome::kNull) return set_null(length);
    if (outcome != ValueOutcome::kValue) return post_bad_value(it, c, v, outcome);
    if (text) {
        it->piece_view = value.text;
        it->piece_text_ready = 1;
        return deliver_text(it, value.text.data(), value.text.size(), out, capacity, length);
    }
    if (buffer) memcpy(buffer, &value.fixed, static_cast<size_t>(value.fixed_size));
    if (length) *length = value.fixed_size;
    return DAL_OK;
}
