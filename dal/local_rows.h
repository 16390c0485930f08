// Writing one column of a provider row into the caller's buffer, as the
// DAL's GetData slot asks: text as SQL_C_CHAR (cut to the buffer, with
// information), numbers as 2- or 4-byte integers or as their digits, NULL
// as SQL_NULL_DATA.
//
// Exports: put_row_text, put_row_number, put_row_null.
#pragma once

#include <cstdio>
#include <cstring>
#include <string_view>

#include "dal/provider.h"

/// Writes `text`; DAL_INFO when the buffer was too small (the full length
/// is still reported).
[[nodiscard]] inline int put_row_text(std::string_view text, void *buffer, SQLLEN capacity, SQLLEN *length) {
    if (length) *length = static_cast<SQLLEN>(text.size());
    if (!buffer || capacity <= 0) return text.empty() ? DAL_OK : DAL_INFO;
    const size_t cap = static_cast<size_t>(capacity);
    const size_t n = text.size() < cap ? text.size() : cap - 1;
    std::memcpy(buffer, text.data(), n);
    static_cast<char *>(buffer)[n] = '\0';
    return n < text.size() ? DAL_INFO : DAL_OK;
}

[[nodiscard]] inline int put_row_number(int32_t number, int c_type, void *buffer, SQLLEN capacity,
                                        SQLLEN *length) {
    if (c_type == SQL_C_CHAR) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%d", static_cast<int>(number));
        return put_row_text(digits, buffer, capacity, length);
    }
    if (c_type == SQL_C_SHORT || c_type == SQL_C_SSHORT || c_type == SQL_C_USHORT) {
        const auto small = static_cast<int16_t>(number);
        if (buffer) std::memcpy(buffer, &small, sizeof small);
        if (length) *length = sizeof small;
        return DAL_OK;
    }
    if (buffer) std::memcpy(buffer, &number, sizeof number);
    if (length) *length = sizeof number;
    return DAL_OK;
}

[[nodiscard]] inline int put_row_null(SQLLEN *length) {
    if (length) *length = SQL_NULL_DATA;
    return DAL_OK;
}
