// Fuzz target: random text into every entry point of the literal parser.
// The first byte picks the interval type; the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sql/literal/interval_literal.h"
#include "sql/literal/literal.h"
#include "support/calendar.h"
#include "support/diag.h"
#include "support/pool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > 4096) return 0;
    static CvPool *pool = cv_mem_alloc_handle(nullptr);
    static ErrorHeader *diag = CreateErrorHeader(pool, nullptr);
    SetupErrorHeader(diag, 0);
    int code = data[0] % 13 + 1;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    text = text.c_str();  // stop at an embedded zero, as C callers would
    DATE_STRUCT d;
    TIME_STRUCT t;
    TIMESTAMP_STRUCT ts;
    SQL_INTERVAL_STRUCT iv;
    if (parse_date_text(diag, text.c_str(), &d) == 0 && !valid_date(d.year, d.month, d.day)) std::abort();
    if (parse_time_text(diag, text.c_str(), &t) == 0 && !valid_time(t.hour, t.minute, t.second)) std::abort();
    if (parse_timestamp_text(diag, text.c_str(), &ts) == 0 && !valid_timestamp(&ts)) std::abort();
    if (parse_interval_text(diag, text.c_str(), &iv, code) == 0 && static_cast<int>(iv.interval_type) != code)
        std::abort();
    (void)build_interval_literal(data[0] & 1, text.data(), text.size(), code, data[0] % 10, -1, &iv);
    SetupErrorHeader(diag, 0);
    return 0;
}
