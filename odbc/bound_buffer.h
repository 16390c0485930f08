// Where one element of a bound column or parameter array lies in the
// application's memory: the bind offset, row-wise binding (the bind type is
// the row's size) or column-wise binding (each C type's element size).
// Bound columns (fetch and SQLSetPos) and bound parameters share it, so both
// step through an array the same way.
//
// Exports: BoundElement, bound_element_size, bound_element.
#pragma once

#include "odbc/attributes.h"

/// The addresses of one element; a pointer the record does not bind is null.
struct BoundElement {
    void *data;
    SQLLEN *octet_length;  // the length buffer (SQL_DESC_OCTET_LENGTH_PTR)
    SQLLEN *indicator;     // the indicator buffer (SQL_DESC_INDICATOR_PTR)
};

/// Bytes one element of a column-wise bound array of C type `c_type`
/// takes: the fixed size the conversions write for that type, else the
/// buffer length `octet_length` (text, binary, unknown types).
[[nodiscard]] SQLLEN bound_element_size(int c_type, SQLLEN octet_length);

/// Element `row` (from 0) of `record` under `header`'s binding. `c_type`
/// is the record's C type with SQL_C_DEFAULT already resolved.
[[nodiscard]] BoundElement bound_element(const DescHeader &header, const DescRecord &record, int c_type, SQLLEN row);
