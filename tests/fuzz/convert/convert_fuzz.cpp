// Fuzz target: text from a provider converted into every C type, whole and
// in pieces. The first byte picks the C type and the capacity, the rest is
// the value's text; every target buffer carries guard bytes that must stay
// untouched, and piecewise reads must move forward and end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "odbc/convert.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

const int kCTypes[] = {
    SQL_C_CHAR, SQL_C_WCHAR, SQL_C_BINARY, SQL_C_SLONG, SQL_C_ULONG, SQL_C_SSHORT, SQL_C_UTINYINT,
    SQL_C_SBIGINT, SQL_C_UBIGINT, SQL_C_DOUBLE, SQL_C_FLOAT, SQL_C_BIT, SQL_C_NUMERIC, SQL_C_TYPE_DATE,
    SQL_C_TYPE_TIME, SQL_C_TYPE_TIMESTAMP, SQL_C_INTERVAL_YEAR_TO_MONTH, SQL_C_INTERVAL_DAY_TO_SECOND,
    SQL_C_INTERVAL_HOUR_TO_MINUTE, SQL_C_INTERVAL_SECOND,
};
constexpr unsigned char kGuard = 0xA5;
constexpr size_t kGuardBytes = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    const int c_type = kCTypes[data[0] % (sizeof kCTypes / sizeof kCTypes[0])];
    const SQLLEN capacity = 1 + (data[0] >> 3);  // 1 to 32 bytes
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ErrorHeader *diag = CreateErrorHeader(pool, nullptr);
    Value *v = NewValue(pool, static_cast<int32_t>(size - 1));
    if (!v || !diag || set_value_text(v, reinterpret_cast<const char *>(data + 1), size - 1) != 0) {
        cv_mem_release_handle(pool);
        return 0;
    }
    ConvertColumn column{SQL_VARCHAR, 10, 2, 0};
    std::vector<unsigned char> buf(static_cast<size_t>(capacity) + 32 + kGuardBytes, kGuard);
    // Fixed-size targets take their own size, whatever the capacity says.
    const SQLLEN room = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY ? capacity : 32;
    // Every piece that makes progress moves the read position; a call that
    // cannot (a capacity too small for the next character) leaves it, and
    // the loop stops there. A fixed-size target reads the value once: its
    // warning ends the value and the next call answers SQL_NO_DATA. More
    // pieces than bytes would mean the position moved backwards or not at all.
    for (size_t piece = 0;; ++piece) {
        SQLLEN length = 0;
        SetupErrorHeader(diag, 0);
        const int32_t before = v->piece_offset;
        SQLRETURN rc = convert_value(v, column, {c_type, buf.data(), room, &length, &length}, diag);
        for (size_t i = static_cast<size_t>(room); i < buf.size(); ++i)
            if (buf[i] != kGuard) std::abort();
        if (rc != SQL_SUCCESS_WITH_INFO || v->piece_offset == before) break;
        if (v->piece_offset < before || piece > size + 2) std::abort();
    }
    cv_mem_release_handle(pool);
    return 0;
}
