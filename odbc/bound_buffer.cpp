// Element addresses of bound arrays (see bound_buffer.h).
#include "odbc/bound_buffer.h"

#include <cstdint>
#include <cstring>

namespace {

// Addresses are computed in unsigned arithmetic: offsets and strides are the
// application's numbers, and an absurd pair must not be a signed overflow
// inside the driver (the address it gives is the application's to answer for).
template <typename T>
T *shifted(T *base, SQLULEN bytes) {
    return base ? reinterpret_cast<T *>(reinterpret_cast<uintptr_t>(base) + bytes) : nullptr;
}

}  // namespace

SQLLEN bound_element_size(int c_type, SQLLEN octet_length) {
    switch (c_type) {
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT: return 1;
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return 2;
    // SQL_FLOAT and SQL_BIGINT are taken as C types by the column
    // conversion (a float and a 64-bit integer), so their elements have
    // those sizes too.
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_FLOAT: case SQL_FLOAT: return 4;
    case SQL_C_DOUBLE: case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_BIGINT: return 8;
    case SQL_C_DATE: case SQL_C_TYPE_DATE: case SQL_C_TIME: case SQL_C_TYPE_TIME: return 6;
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: return 16;
    case SQL_C_NUMERIC: return 19;
    default:
        if (c_type >= SQL_C_INTERVAL_YEAR && c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND) return 28;
        return octet_length;
    }
}

BoundElement bound_element(const DescHeader &header, const DescRecord &record, int c_type, SQLLEN row) {
    // The offset is the application's variable, which it may keep anywhere.
    SQLLEN offset = 0;
    if (header.bind_offset) std::memcpy(&offset, header.bind_offset, sizeof offset);
    SQLLEN data_step = header.bind_type > 0 ? header.bind_type : bound_element_size(c_type, record.octet_length);
    SQLLEN length_step = header.bind_type > 0 ? header.bind_type : static_cast<SQLLEN>(sizeof(SQLLEN));
    const auto o = static_cast<SQLULEN>(offset), r = static_cast<SQLULEN>(row);
    return {shifted(record.data_ptr, o + r * static_cast<SQLULEN>(data_step)),
            shifted(record.octet_length_ptr, o + r * static_cast<SQLULEN>(length_step)),
            shifted(record.indicator_ptr, o + r * static_cast<SQLULEN>(length_step))};
}
