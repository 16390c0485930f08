// Rows of texts on a provider iterator (text_rows.h).
#include "sqi/text_rows.h"

#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "sqi/session.h"

void text_rows_set(PaypalIterator *it, std::vector<TextRow> rows) {
    it->text_rows = std::move(rows);
    it->text_row = 0;
    it->mode = kTextRows;
    it->at_end = 0;
}

int text_rows_next(PaypalIterator *it) {
    if (it->at_end || it->text_row >= it->text_rows.size()) {
        it->at_end = 1;
        return DAL_NO_DATA;
    }
    it->text_row++;
    return DAL_OK;
}

int text_rows_get_data(PaypalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    if (it->text_row == 0 || it->text_row > it->text_rows.size()) return DAL_NO_DATA;
    const TextRow &row = it->text_rows[it->text_row - 1];
    if (column < 1 || static_cast<size_t>(column) > row.size()) return DAL_NO_DATA;
    const TextCell &cell = row[static_cast<size_t>(column) - 1];
    if (!cell) {
        if (length) *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    const std::string &t = *cell;
    if (c_type == SQL_C_CHAR) {
        if (length) *length = static_cast<SQLLEN>(t.size());
        if (!buffer || capacity <= 0) return t.empty() ? DAL_OK : DAL_INFO;
        const size_t room = static_cast<size_t>(capacity) - 1;
        const size_t n = t.size() < room ? t.size() : room;
        std::memcpy(buffer, t.data(), n);
        static_cast<char *>(buffer)[n] = '\0';
        return n < t.size() ? DAL_INFO : DAL_OK;
    }
    char *end = nullptr;
    const long n = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || !end || *end) return DAL_ERROR;
    if (c_type == SQL_C_SHORT || c_type == SQL_C_SSHORT || c_type == SQL_C_USHORT) {
        const auto small = static_cast<int16_t>(n);
        if (buffer) std::memcpy(buffer, &small, sizeof small);
        if (length) *length = sizeof small;
        return DAL_OK;
    }
    const auto wide = static_cast<int32_t>(n);
    if (buffer) std::memcpy(buffer, &wide, sizeof wide);
    if (length) *length = sizeof wide;
    return DAL_OK;
}
