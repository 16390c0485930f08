// Conversion helpers for the wide (W) entry points.
//
// Inbound: a UTF-16 argument with a length in characters (SQL_NTS for
// null-terminated) becomes a UTF-8 copy passed on null-terminated, so no byte
// count can overflow a 16-bit length. Surrogate pairs are combined.
// Outbound: the 8-bit operation writes into a scratch buffer (re-run with a
// larger one when its text was cut), and the UTF-8 result is decoded into
// the application's buffer, cut only at whole characters, with the full
// length reported in characters or bytes as the function requires.
//
// Exports: WideIn, WideUnit, wide_out, wide_sqlstate, read_full_text.
#pragma once

#include <sql.h>
#include <sqlucode.h>

#include <string>
#include <cstring>
#include <string_view>

#include "support/text.h"

static_assert(sizeof(SQLWCHAR) == 2, "unixODBC's SQLWCHAR is 16-bit UTF-16");

class WideIn {
public:
    /// `length` is in characters, or SQL_NTS. A negative length other than
    /// SQL_NTS converts nothing and sets ok() false.
    WideIn(const SQLWCHAR *text, long long length);
    /// The UTF-8 text, or null when the argument was null.
    [[nodiscard]] SQLCHAR *get() {
        return is_null_ ? nullptr : reinterpret_cast<SQLCHAR *>(text_.data());
    }
    [[nodiscard]] const std::string &str() const { return text_; }
    [[nodiscard]] bool is_null() const { return is_null_; }
    [[nodiscard]] bool ok() const { return ok_; }

private:
    std::string text_;
    bool is_null_ = true;
    bool ok_ = true;
};

enum class WideUnit { Chars, Bytes };

/// Writes `utf8` as UTF-16 into `out`, whose capacity is `capacity` in `unit`
/// (bytes are rounded down to whole units). `*length` (when non-null)
/// receives the full converted length in `unit`. Returns true when cut.
[[nodiscard]] bool wide_out(std::string_view utf8, SQLWCHAR *out, SQLLEN capacity, WideUnit unit,
                            SQLLEN *length);

/// Writes a five-character SQLSTATE as six UTF-16 units (terminator included).
void wide_sqlstate(const SQLCHAR *state, SQLWCHAR *out);

/// Runs an 8-bit getter `call(buffer, capacity, &length)` (length in bytes)
/// into `text`, growing the scratch buffer up to `limit` bytes until the text
/// fits. Returns the getter's last code.
template <typename Call>
[[nodiscard]] SQLRETURN read_full_text(Call &&call, std::string &text, size_t limit = 1 << 20) {
    size_t cap = 512;
    for (;;) {
        text.assign(cap, '\0');
        SQLLEN len = 0;
        SQLRETURN rc = call(reinterpret_cast<SQLCHAR *>(text.data()), static_cast<SQLLEN>(cap), &len);
        if (!SQL_SUCCEEDED(rc)) {
            text.clear();
            return rc;
        }
        if (len >= 0 && static_cast<size_t>(len) < cap) {
            text.resize(static_cast<size_t>(len));
            return rc;
        }
        if (cap >= limit || len < 0) {
            text.resize(strnlen(text.data(), cap));
            return rc;
        }
        cap = static_cast<size_t>(len) + 1 > limit ? limit : static_cast<size_t>(len) + 1;
    }
}
