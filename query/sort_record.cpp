// Order-preserving key forms and whole-value payloads (sort_record.h).
#include "query/sort_record.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

// A key part begins with kPresent (or, for integers, their own header byte,
// see put_integer) or with kNull, which is above every byte a value's part
// can begin with.
constexpr uint8_t kPresent = 0x01;
constexpr uint8_t kNull = 0xFF;

void put_be64(ByteBuffer &out, uint64_t v) {
    for (int i = 7; i >= 0; i--) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Integers in as few bytes as they need, so that keys stay short and the
// sort's 8-byte key prefixes tell most keys apart: a header byte, then n
// bytes big-endian. A value >= 0 of n significant bytes has the header
// 0x18 + n and its n low bytes; a value < 0 whose complement (-v - 1) has m
// significant bytes has 0x17 - m and its m low bytes (two's complement).
// Headers grow with the value, and within one header the bytes do, so memcmp
// orders them; 0 and -1 are the header alone.
constexpr uint8_t kIntegerZero = 0x18;

void put_integer(ByteBuffer &out, int64_t v) {
    const uint64_t magnitude = v < 0 ? ~static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const int n = magnitude == 0 ? 0 : (64 - __builtin_clzll(magnitude) + 7) / 8;
    out.push_back(static_cast<uint8_t>(v < 0 ? kIntegerZero - 1 - n : kIntegerZero + n));
    const auto bits = static_cast<uint64_t>(v);
    for (int i = n - 1; i >= 0; i--) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void put_double(ByteBuffer &out, double d) {
    if (d == 0) d = 0;  // -0 equals 0
    // Every NaN is one value, after every number (as value_order has it).
    if (std::isnan(d)) d = std::numeric_limits<double>::quiet_NaN();
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits ^ (uint64_t{1} << 63);
    put_be64(out, bits);
}

// Escaped bytes: 0x00 becomes 0x00 0xFF; the end is 0x00 0x01, so a prefix
// sorts first and no part is a prefix of another.
void put_bytes(ByteBuffer &out, const char *s, size_t n) {
    for (size_t i = 0; i < n; i++) {
        auto b = static_cast<uint8_t>(s[i]);
        out.push_back(b);
        if (b == 0) out.push_back(0xFF);
    }
    out.push_back(0);
    out.push_back(1);
}

// A decimal value: sign byte (0x01 negative, 0x02 zero, 0x03 positive),
// then for non-zero values the exponent and the digits 1..10 ended by 0 as
// for 0.d1d2... x 10^e; negative values invert those bytes.
void put_decimal(ByteBuffer &out, bool negative, unsigned __int128 magnitude, int scale) {
    char digits[48];
    int n = 0;
    while (magnitude > 0 && n < 48) {
        digits[n++] = static_cast<char>(magnitude % 10);
        magnitude /= 10;
    }
    if (n == 0) {
        out.push_back(0x02);
        return;
    }
    // digits[] holds the least significant first
    int low = 0;
    while (low < n && digits[low] == 0) low++;
    int exponent = n - scale;
    out.push_back(negative ? 0x01 : 0x03);
    const uint8_t flip = negative ? 0xFF : 0x00;
    auto e = static_cast<uint16_t>(exponent + 0x8000);
    out.push_back(static_cast<uint8_t>((e >> 8) ^ flip));
    out.push_back(static_cast<uint8_t>((e & 0xFF) ^ flip));
    for (int i = n - 1; i >= low; i--) out.push_back(static_cast<uint8_t>((digits[i] + 1) ^ flip));
    out.push_back(flip);
}

unsigned __int128 numeric_magnitude(const SQL_NUMERIC_STRUCT &n) {
    unsigned __int128 m = 0;
    for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; i--) m = (m << 8) | n.val[i];
    return m;
}

void put_datetime(ByteBuffer &out, const Value *v) {
    const TIMESTAMP_STRUCT t = value_as_timestamp(v);
    auto y = static_cast<uint16_t>(static_cast<int32_t>(t.year) + 0x8000);
    out.push_back(static_cast<uint8_t>(y >> 8));
    out.push_back(static_cast<uint8_t>(y));
    const unsigned parts[] = {t.month, t.day, t.hour, t.minute, t.second};
    for (unsigned p : parts) out.push_back(static_cast<uint8_t>(p));
    for (int i = 3; i >= 0; i--) out.push_back(static_cast<uint8_t>(t.fraction >> (8 * i)));
}

void put_interval(ByteBuffer &out, const SQL_INTERVAL_STRUCT &iv) {
    __int128 total;
    if (iv.interval_type == SQL_IS_YEAR || iv.interval_type == SQL_IS_MONTH ||
        iv.interval_type == SQL_IS_YEAR_TO_MONTH) {
        total = static_cast<__int128>(iv.intval.year_month.year) * 12 + iv.intval.year_month.month;
    } else {
        const auto &d = iv.intval.day_second;
        __int128 seconds = ((static_cast<__int128>(d.day) * 24 + d.hour) * 60 + d.minute) * 60 + d.second;
        total = seconds * 1000000000 + d.fraction;
    }
    if (iv.interval_sign == SQL_TRUE) total = -total;
    auto u = static_cast<unsigned __int128>(total) ^ (static_cast<unsigned __int128>(1) << 127);
    put_be64(out, static_cast<uint64_t>(u >> 64));
    put_be64(out, static_cast<uint64_t>(u));
}

void text_of(const Value *v, const char **s, size_t *n) {
    if (v->type == VT_CHAR) {
        *s = v->data.s ? v->data.s : "";
        *n = v->data.s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
    } else if (v->type == VT_BINARY) {
        *s = reinterpret_cast<const char *>(v->data.bytes);
        *n = v->data.bytes && v->length > 0 ? static_cast<size_t>(v->length) : 0;
    } else if (v->type == VT_LONG_CHAR || v->type == VT_LONG_BINARY) {
        *s = v->long_buffer ? long_buffer_data(v->long_buffer) : "";
        *n = v->long_buffer ? long_buffer_length(v->long_buffer) : 0;
        if (!*s) *n = 0;
    } else {
        *s = "";
        *n = 0;
    }
}

bool is_number_type(uint32_t t) {
    return t == VT_INTEGER || t == VT_BIT || t == VT_BIGINT || t == VT_DOUBLE || t == VT_NUMERIC;
}

void put_value(ByteBuffer &out, const Value *v, KeyForm form) {
    switch (form) {
    case KeyForm::kInteger:
        if (v->type == VT_DOUBLE) put_integer(out, static_cast<int64_t>(v->data.d));
        else {
            int64_t i = 0;
            (void)get_bigint_from_value(v, &i);
            put_integer(out, i);
        }
        return;
    case KeyForm::kDouble: {
        double d = 0;
        if (v->type == VT_NUMERIC) d = numeric_to_double(&v->data.num);
        else (void)get_double_from_value(v, &d);
        put_double(out, d);
        return;
    }
    case KeyForm::kDecimal:
        if (v->type == VT_NUMERIC) {
            put_decimal(out, v->data.num.sign == 0, numeric_magnitude(v->data.num), v->data.num.scale);
        } else if (v->type == VT_DOUBLE) {
            SQL_NUMERIC_STRUCT n{};
            if (double_to_numeric(v->data.d, &n, 0, -1) == kNumOk)
                put_decimal(out, n.sign == 0, numeric_magnitude(n), n.scale);
            else
                put_decimal(out, v->data.d < 0, 0, 0);
        } else {
            int64_t i = 0;
            (void)get_bigint_from_value(v, &i);
            unsigned __int128 m = i < 0 ? static_cast<unsigned __int128>(-static_cast<__int128>(i))
                                        : static_cast<unsigned __int128>(i);
            put_decimal(out, i < 0, m, 0);
        }
        return;
    case KeyForm::kText: {
        const char *s;
        size_t n;
        text_of(v, &s, &n);
        while (n > 0 && s[n - 1] == ' ') n--;
        put_bytes(out, s, n);
        return;
    }
    case KeyForm::kBinary: {
        const char *s;
        size_t n;
        text_of(v, &s, &n);
        put_bytes(out, s, n);
        return;
    }
    case KeyForm::kDateTime: put_datetime(out, v); return;
    case KeyForm::kInterval: put_interval(out, v->data.iv); return;
    case KeyForm::kOther: {
        char text[256];
        size_t n = 0;
        if (v->type == VT_CHAR || v->type == VT_LONG_CHAR) {
            const char *s;
            text_of(v, &s, &n);
            while (n > 0 && s[n - 1] == ' ') n--;
            put_bytes(out, s, n);
            return;
        }
        (void)value_as_text(v, text, sizeof text, &n);
        put_bytes(out, text, std::strlen(text));
        return;
    }
    }
}

size_t fixed_size(uint32_t type) {
    switch (type) {
    case VT_INTEGER:
    case VT_BIT: return sizeof(int32_t);
    case VT_BIGINT: return sizeof(int64_t);
    case VT_DOUBLE: return sizeof(double);
    case VT_DATE: return sizeof(DATE_STRUCT);
    case VT_TIME: return sizeof(TIME_STRUCT);
    case VT_TIMESTAMP: return sizeof(TIMESTAMP_STRUCT);
    case VT_NUMERIC: return sizeof(SQL_NUMERIC_STRUCT);
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return sizeof(SQL_INTERVAL_STRUCT);
    default: return sizeof(ValueData);
    }
}

bool is_bytes_type(uint32_t t) {
    return t == VT_CHAR || t == VT_BINARY || t == VT_LONG_CHAR || t == VT_LONG_BINARY;
}

// A value's header in a payload: its type, flags, and only the descriptive
// fields it has (most have none or a small precision and scale), so rows
// stay short in sorts and work files.
struct PayloadHeader {
    uint32_t type;
    int32_t is_null;
    int32_t precision;
    int32_t scale;
    int32_t leading_precision;
    int32_t seconds_precision;
    int32_t reported_length;
};

constexpr uint8_t kHeaderNull = 1;
constexpr uint8_t kHeaderSmall = 2;   // precision and scale as 16 bits
constexpr uint8_t kHeaderFull = 4;    // all five fields as 32 bits

template <typename T>
void put_raw(ByteBuffer &out, const T &x) {
    const auto *p = reinterpret_cast<const uint8_t *>(&x);
    out.insert(out.end(), p, p + sizeof x);
}

template <typename T>
bool get_raw(const uint8_t *data, size_t length, size_t *at, T *x) {
    if (*at + sizeof *x > length) return false;
    std::memcpy(x, data + *at, sizeof *x);
    *at += sizeof *x;
    return true;
}

bool fits16(int32_t v) { return v >= INT16_MIN && v <= INT16_MAX; }

void put_header(ByteBuffer &out, const PayloadHeader &h) {
    uint8_t flags = h.is_null ? kHeaderNull : 0;
    const bool others = h.leading_precision || h.seconds_precision || h.reported_length;
    if (!h.is_null) {
        if (others || !fits16(h.precision) || !fits16(h.scale)) flags |= kHeaderFull;
        else if (h.precision || h.scale) flags |= kHeaderSmall;
    }
    out.push_back(static_cast<uint8_t>(h.type));
    out.push_back(flags);
    if (flags & kHeaderSmall) {
        put_raw(out, static_cast<int16_t>(h.precision));
        put_raw(out, static_cast<int16_t>(h.scale));
    } else if (flags & kHeaderFull) {
        for (int32_t x : {h.precision, h.scale, h.leading_precision, h.seconds_precision, h.reported_length})
            put_raw(out, x);
    }
}

bool get_header(const uint8_t *data, size_t length, size_t *at, PayloadHeader *h) {
    uint8_t type, flags;
    if (!get_raw(data, length, at, &type) || !get_raw(data, length, at, &flags)) return false;
    *h = PayloadHeader{};
    h->type = type;
    h->is_null = (flags & kHeaderNull) ? -1 : 0;
    if (flags & kHeaderSmall) {
        int16_t p, sc;
        if (!get_raw(data, length, at, &p) || !get_raw(data, length, at, &sc)) return false;
        h->precision = p;
        h->scale = sc;
    } else if (flags & kHeaderFull) {
        for (int32_t *x : {&h->precision, &h->scale, &h->leading_precision, &h->seconds_precision,
                           &h->reported_length})
            if (!get_raw(data, length, at, x)) return false;
    }
    return true;
}

// Byte counts: 32 bits for text and binary (at most kMaxCharValue), 64 for
// long values.
void put_count(ByteBuffer &out, uint32_t type, uint64_t n) {
    if (type == VT_LONG_CHAR || type == VT_LONG_BINARY) put_raw(out, n);
    else put_raw(out, static_cast<uint32_t>(n));
}

bool get_count(const uint8_t *data, size_t length, size_t *at, uint32_t type, uint64_t *n) {
    if (type == VT_LONG_CHAR || type == VT_LONG_BINARY) return get_raw(data, length, at, n);
    uint32_t small;
    if (!get_raw(data, length, at, &small)) return false;
    *n = small;
    return true;
}

}  // namespace

KeyForm key_form_of_type(uint32_t t) {
    switch (t) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT: return KeyForm::kInteger;
    case VT_DOUBLE: return KeyForm::kDouble;
    case VT_NUMERIC: return KeyForm::kDecimal;
    case VT_CHAR:
    case VT_LONG_CHAR: return KeyForm::kText;
    case VT_BINARY:
    case VT_LONG_BINARY: return KeyForm::kBinary;
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP: return KeyForm::kDateTime;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return KeyForm::kInterval;
    default: return KeyForm::kOther;
    }
}

KeyForm key_form_join(KeyForm a, KeyForm b) {
    if (a == b) return a;
    auto numeric = [](KeyForm f) { return f == KeyForm::kInteger || f == KeyForm::kDouble || f == KeyForm::kDecimal; };
    if (numeric(a) && numeric(b)) {
        if (a == KeyForm::kDouble || b == KeyForm::kDouble) return KeyForm::kDouble;
        return KeyForm::kDecimal;
    }
    return KeyForm::kOther;
}

void key_append(ByteBuffer &out, const Value *v, KeyForm form, bool descending) {
    size_t start = out.size();
    if (!v || v->is_null) {
        out.push_back(kNull);
    } else {
        KeyForm f = form;
        // A value whose kind does not suit the column's form (a text in a
        // number column cannot happen after validation; be total anyway).
        if ((f == KeyForm::kInteger || f == KeyForm::kDouble || f == KeyForm::kDecimal) && !is_number_type(v->type))
            f = KeyForm::kOther;
        if (f != KeyForm::kInteger) out.push_back(kPresent);  // integers' header byte says it
        put_value(out, v, f);
    }
    if (descending)
        for (size_t i = start; i < out.size(); i++) out[i] = static_cast<uint8_t>(~out[i]);
}

void payload_append(ByteBuffer &out, const Value *v) {
    PayloadHeader h{};
    h.type = v ? v->type : VT_CHAR;
    h.is_null = !v || v->is_null ? -1 : 0;
    if (h.is_null) {
        put_header(out, h);
        return;
    }
    h.precision = v->precision;
    h.scale = v->scale;
    h.leading_precision = v->interval_leading_precision;
    h.seconds_precision = v->interval_seconds_precision;
    h.reported_length = v->reported_length;
    put_header(out, h);
    if (is_bytes_type(v->type)) {
        const char *s;
        size_t n;
        text_of(v, &s, &n);
        put_count(out, v->type, n);
        out.insert(out.end(), reinterpret_cast<const uint8_t *>(s), reinterpret_cast<const uint8_t *>(s) + n);
        return;
    }
    const auto *p = reinterpret_cast<const uint8_t *>(&v->data);
    out.insert(out.end(), p, p + fixed_size(v->type));
}

int payload_read(const uint8_t *data, size_t length, size_t *at, CvPool *pool, Value **out) {
    PayloadHeader h;
    if (!get_header(data, length, at, &h)) return -1;
    Value *v;
    if (h.is_null) {
        v = new_value_of_type(pool, h.type);
        if (!v) return -2;
        set_value_null(v, h.type);
        *out = v;
        return 0;
    }
    if (is_bytes_type(h.type)) {
        uint64_t n;
        if (!get_count(data, length, at, h.type, &n)) return -1;
        if (n > length - *at) return -1;
        const char *bytes = reinterpret_cast<const char *>(data + *at);
        *at += n;
        if (h.type == VT_LONG_CHAR || h.type == VT_LONG_BINARY) {
            v = new_value_of_type(pool, h.type);
            if (!v) return -2;
            v->long_buffer = allocate_long_buffer(pool, 0, h.type == VT_LONG_CHAR ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
            if (!v->long_buffer || (n && append_to_long_buffer(v->long_buffer, bytes, n) != 0)) return -2;
        } else {
            if (n > static_cast<uint64_t>(kMaxCharValue)) return -1;
            v = NewValue(pool, static_cast<int32_t>(n > 0 ? n : 1));  // a buffer even for an empty text
            if (!v) return -2;
            if (n) std::memcpy(v->data.s, bytes, n);
            v->data.s[n] = '\0';
            v->type = h.type;
            v->length = static_cast<int32_t>(n);
            if (h.type == VT_BINARY) v->data.bytes = reinterpret_cast<uint8_t *>(v->data.s);
        }
    } else {
        size_t n = fixed_size(h.type);
        if (*at + n > length) return -1;
        v = new_value_of_type(pool, h.type);
        if (!v) return -2;
        std::memcpy(&v->data, data + *at, n);
        *at += n;
    }
    v->is_null = 0;
    v->precision = h.precision;
    v->scale = h.scale;
    v->interval_leading_precision = h.leading_precision;
    v->interval_seconds_precision = h.seconds_precision;
    v->reported_length = h.reported_length;
    *out = v;
    return 0;
}

int payload_restore(const uint8_t *data, size_t length, size_t *at, Value *dst, int32_t capacity, CvPool *pool) {
    PayloadHeader h;
    if (!get_header(data, length, at, &h)) return -1;
    dst->deferred = 0;
    if (h.is_null) {
        dst->is_null = -1;
        return 0;
    }
    dst->is_null = 0;
    dst->precision = h.precision;
    dst->scale = h.scale;
    dst->interval_leading_precision = h.leading_precision;
    dst->interval_seconds_precision = h.seconds_precision;
    dst->reported_length = h.reported_length;
    if (!is_bytes_type(h.type)) {
        size_t n = fixed_size(h.type);
        if (*at + n > length) return -1;
        std::memcpy(&dst->data, data + *at, n);
        *at += n;
        dst->type = h.type;
        return 0;
    }
    uint64_t n;
    if (!get_count(data, length, at, h.type, &n)) return -1;
    if (n > length - *at) return -1;
    const uint8_t *bytes = data + *at;
    *at += n;
    if (h.type == VT_LONG_CHAR || h.type == VT_LONG_BINARY) {
        if (!dst->long_buffer) {
            dst->long_buffer = allocate_long_buffer(pool, 0, h.type == VT_LONG_CHAR ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
            if (!dst->long_buffer) return -2;
        }
        clear_long_buffer(dst->long_buffer);
        if (n && append_to_long_buffer(dst->long_buffer, bytes, n) != 0) return -2;
        rewind_long_buffer(dst->long_buffer);
        dst->type = h.type;
        return 0;
    }
    // The value came from this column's own buffer, so it fits; be safe anyway.
    size_t keep = n < static_cast<uint64_t>(capacity > 0 ? capacity : 0) ? n : static_cast<size_t>(capacity > 0 ? capacity : 0);
    char *buffer = dst->type == VT_BINARY ? reinterpret_cast<char *>(dst->data.bytes) : dst->data.s;
    if (!buffer) return -1;
    if (keep) std::memcpy(buffer, bytes, keep);
    buffer[keep] = '\0';
    dst->length = static_cast<int32_t>(keep);
    return 0;
}

int payload_read_into(const uint8_t *data, size_t length, size_t *at, CvPool *pool, Value **slot,
                      int32_t *capacity) {
    const size_t start = *at;
    PayloadHeader h;
    if (!get_header(data, length, at, &h)) return -1;
    Value *v = *slot;
    bool reuse = v && v->type == h.type && h.type != VT_LONG_CHAR && h.type != VT_LONG_BINARY;
    if (reuse && !h.is_null && is_bytes_type(h.type)) {
        uint64_t n;
        if (!get_count(data, length, at, h.type, &n)) return -1;
        reuse = *capacity >= 0 && n <= static_cast<uint64_t>(*capacity);
    }
    *at = start;
    if (!reuse) {
        int r = payload_read(data, length, at, pool, slot);
        if (r != 0) return r;
        v = *slot;
        const bool buffer = v->type == VT_CHAR ? v->data.s != nullptr : v->type == VT_BINARY && v->data.bytes;
        *capacity = !v->is_null && buffer ? v->length : -1;
        return 0;
    }
    // As a new value would be: nothing delivered yet, no copy marks.
    v->piece_offset = 0;
    v->copy_mark = 0;
    return payload_restore(data, length, at, v, *capacity, pool);
}
