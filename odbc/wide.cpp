// Wide-argument conversion.
#include "odbc/wide.h"

WideIn::WideIn(const SQLWCHAR *text, long long length) {
    if (!text) return;
    is_null_ = false;
    size_t count;
    if (length == SQL_NTS) {
        count = utf16_length(reinterpret_cast<const Utf16Unit *>(text));
    } else if (length < 0) {
        ok_ = false;
        return;
    } else {
        count = static_cast<size_t>(length);
    }
    utf16_to_utf8(reinterpret_cast<const Utf16Unit *>(text), count, text_);
}

bool wide_out(std::string_view utf8, SQLWCHAR *out, SQLLEN capacity, WideUnit unit, SQLLEN *length) {
    std::u16string wide;
    utf8_to_utf16(utf8, wide);
    const SQLLEN scale = unit == WideUnit::Bytes ? 2 : 1;
    if (length) *length = static_cast<SQLLEN>(wide.size()) * scale;
    if (capacity < 0) capacity = 0;
    size_t units = static_cast<size_t>(capacity / scale);
    return copy_wide_out(wide, reinterpret_cast<Utf16Unit *>(out), out ? units : 0);
}

void wide_sqlstate(const SQLCHAR *state, SQLWCHAR *out) {
    if (!out) return;
    for (int i = 0; i < 5; i++) out[i] = state[i];
    out[5] = 0;
}
