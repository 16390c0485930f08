// Bounded text copies (see str_buffer.h).
#include "support/str_buffer.h"

#include <cstring>
#include <string_view>

#include "support/text.h"

namespace {

int copy_any(char *out, long long capacity, long long *full, const char *text) {
    std::string_view t = text ? std::string_view(text) : std::string_view();
    *full = static_cast<long long>(t.size());
    if (!out || capacity <= 0) return t.empty() ? 0 : 1;
    return copy_text_out(t, out, static_cast<size_t>(capacity)) ? 1 : 0;
}

}  // namespace

int copy_str_buffer(char *out, SQLSMALLINT capacity, SQLSMALLINT *length, const char *text) {
    long long full;
    int rc = copy_any(out, capacity, &full, text);
    if (length) *length = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
    return rc;
}

int copy_str_bufferl(char *out, SQLLEN capacity, SQLLEN *length, const char *text) {
    long long full;
    int rc = copy_any(out, capacity, &full, text);
    if (length) *length = static_cast<SQLLEN>(full);
    return rc;
}

int copy_str_bufferi(char *out, SQLINTEGER capacity, SQLINTEGER *length, const char *text) {
    long long full;
    int rc = copy_any(out, capacity, &full, text);
    if (length) *length = static_cast<SQLINTEGER>(full > 2147483647LL ? 2147483647LL : full);
    return rc;
}
