// Amount ranges (see amount_range.h): the bounds of restrictions on an
// amount column, sent as one "<low> TO <high>" parameter in minor units.
//
// Amounts are read as exact decimals (millionths), never as doubles, so that
// 10.05 becomes 1005 and not 1004.
//
// Exports: amount_range_text, amount_range_filter.
#include "sqi/amount_range.h"

#include <cctype>
#include <cstring>
#include <string>

#include "sqi/scan.h"

namespace {

constexpr int kFractionDigits = 6;           // amounts are compared in millionths
constexpr int64_t kMicro = 1000000;
constexpr int kMaxIntegerDigits = 12;        // keeps millionths × 100 inside 64 bits

// Currencies PayPal handles without decimal places; every other one has two.
constexpr const char *kZeroDecimalCurrencies[] = {"HUF", "JPY", "TWD"};

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t ceil_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

// "[+-]digits[.digits]" (blanks around allowed) in millionths, rounded down
// (`up` false) or up beyond six places. False for any other text.
bool parse_micros(const std::string &text, bool up, int64_t *out) {
    size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t whole = 0, fraction = 0;
    int whole_digits = 0, significant = 0, fraction_digits = 0;
    bool rest = false;  // non-zero digits beyond the sixth place
    for (; i < n && isdigit(static_cast<unsigned char>(text[i])); ++i, ++whole_digits) {
        if (whole == 0 && text[i] == '0') continue;  // leading zeros
        if (++significant > kMaxIntegerDigits) return false;
        whole = whole * 10 + (text[i] - '0');
    }
    int seen_fraction = 0;
    if (i < n && text[i] == '.') {
        for (++i; i < n && isdigit(static_cast<unsigned char>(text[i])); ++i, ++seen_fraction) {
            if (fraction_digits < kFractionDigits) {
                fraction = fraction * 10 + (text[i] - '0');
                ++fraction_digits;
            } else if (text[i] != '0') {
                rest = true;
            }
        }
    }
    if (i != n || (whole_digits == 0 && seen_fraction == 0)) return false;
    for (; fraction_digits < kFractionDigits; ++fraction_digits) fraction *= 10;
    int64_t value = whole * kMicro + fraction;
    // Digits beyond the sixth place: the true value lies beyond the cut
    // one, away from zero; round it the way asked.
    if (rest && up != negative) ++value;
    *out = negative ? -value : value;
    return true;
}

int64_t pow10(int e) {
    int64_t p = 1;
    while (e-- > 0) p *= 10;
    return p;
}

int currency_decimals(const std::string &code) {
    for (const char *c : kZeroDecimalCurrencies)
        if (strcasecmp(code.c_str(), c) == 0) return 0;
    return 2;
}

const PaypalColumn *column_of(const PaypalTable *table, const Restriction *r) {
    if (!r || !r->column || !r->value) return nullptr;
    int index = paypal_find_column(table, r->column->column);
    return index < 0 ? nullptr : &table->columns[index];
}

// The currency column beside an amount: the same path ending in
// "currency_code" instead of "value".
const PaypalColumn *currency_column(const PaypalTable *table, const PaypalColumn *amount) {
    std::string path = amount->json_path;
    size_t comma = path.rfind(',');
    path = (comma == std::string::npos ? std::string() : path.substr(0, comma + 1)) + "currency_code";
    for (const PaypalColumn *c = table->columns; c->name; ++c)
        if (path == c->json_path) return c;
    return nullptr;
}

}  // namespace

bool amount_range_text(const std::string &low, const std::string &high, int decimals, std::string &out) {
    int64_t lo, hi;
    if (!parse_micros(low, false, &lo) || !parse_micros(high, true, &hi)) return false;
    int64_t lo_minor, hi_minor;
    if (decimals >= 0 && decimals <= kFractionDigits) {
        lo_minor = floor_div(lo, pow10(kFractionDigits - decimals));
        hi_minor = ceil_div(hi, pow10(kFractionDigits - decimals));
    } else {
        // Unknown currency: the widest reading of each bound among the
        // minor units of 0 and 2 places.
        int64_t a = floor_div(lo, kMicro), b = floor_div(lo, pow10(kFractionDigits - 2));
        int64_t c = ceil_div(hi, kMicro), d = ceil_div(hi, pow10(kFractionDigits - 2));
        lo_minor = a < b ? a : b;
        hi_minor = c > d ? c : d;
    }
    out = std::to_string(lo_minor) + " TO " + std::to_string(hi_minor);
    return true;
}

void amount_range_filter(WebRequest *req, int count, Restriction **restrictions, const PaypalTable *table) {
    for (const PaypalColumn *amount = table->columns; amount->name; ++amount) {
        if (!(amount->flags & kColumnAmountRange) || !amount->parameter) continue;
        const PaypalColumn *currency = currency_column(table, amount);
        int decimals = -1;
        bool have_low = false, have_high = false;
        int64_t best_low = 0, best_high = 0;
        std::string low_text, high_text;
        for (int i = 0; i < count; ++i) {
            Restriction *r = restrictions[i];
            const PaypalColumn *c = column_of(table, r);
            if (!c) continue;
            std::string text;
            if (c == currency && r->op == RESTRICT_EQ) {
                if (restriction_value_text(r->value, text) && text.size() == 3) decimals = currency_decimals(text);
                continue;
            }
            if (c != amount || !restriction_value_text(r->value, text)) continue;
            bool lower = r->op == RESTRICT_GT || r->op == RESTRICT_GE || r->op == RESTRICT_EQ;
            bool upper = r->op == RESTRICT_LT || r->op == RESTRICT_LE || r->op == RESTRICT_EQ;
            int64_t v;
            if (lower && parse_micros(text, false, &v) && (!have_low || v > best_low)) {
                best_low = v;
                low_text = text;
                have_low = true;
            }
            if (upper && parse_micros(text, true, &v) && (!have_high || v < best_high)) {
                best_high = v;
                high_text = text;
                have_high = true;
            }
        }
        std::string value;
        if (have_low && have_high && amount_range_text(low_text, high_text, decimals, value))
            AddParameter(req, amount->parameter, value, 0);
    }
}
