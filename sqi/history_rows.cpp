// Transaction details of the history store (see history_rows.h): splitting
// a reply into its details, reading the members the search filters compare,
// and applying those filters as the search does.
//
// Exports: history_split_details, history_detail_fields, history_filter_add,
// history_filter_match, history_minor_units, history_page_text.
#include "sqi/json_parse.h"  // first: simdjson without exceptions
#include "sqi/history_rows.h"

#include <memory>
#include <new>
#include <string>

#include "sqi/datetime_text.h"
#include "sqi/windows.h"

namespace {

// Currencies PayPal handles without decimal places (as amount_range.cpp).
constexpr std::string_view kZeroDecimalCurrencies[] = {"HUF", "JPY", "TWD"};

// Splits the raw text of an array (already checked by the parser) into its
// elements' texts; each must be an object.
bool split_array(std::string_view raw, std::vector<std::string> &out) {
    size_t i = 0;
    auto blank = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\n' || raw[i] == '\r' || raw[i] == '\t')) ++i;
    };
    blank();
    if (i >= raw.size() || raw[i] != '[') return false;
    ++i;
    blank();
    if (i < raw.size() && raw[i] == ']') return true;
    while (i < raw.size()) {
        blank();
        if (i >= raw.size() || raw[i] != '{') return false;
        const size_t start = i;
        int depth = 0;
        bool in_string = false;
        for (; i < raw.size(); ++i) {
            const char c = raw[i];
            if (in_string) {
                if (c == '\\') ++i;
                else if (c == '"') in_string = false;
            } else if (c == '"') {
                in_string = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) break;
            }
        }
        if (i >= raw.size()) return false;
        out.emplace_back(raw.substr(start, i + 1 - start));
        ++i;
        blank();
        if (i < raw.size() && raw[i] == ',') {
            ++i;
            continue;
        }
        return i < raw.size() && raw[i] == ']';
    }
    return false;
}

}  // namespace

bool history_split_details(std::string &text, std::vector<std::string> &out, std::string &error) {
    out.clear();
    json_od::parser *parser = thread_json_parser();
    if (!parser) {
        error = "Memory allocation error";
        return false;
    }
    const size_t size = text.size();
    json_od::document doc;
    json_od::object root;
    json_od::value member;
    json_od::array details;
    std::string_view raw;
    simdjson::error_code e = parser->iterate(json_padded(text)).get(doc);
    if (!e) e = doc.get_object().get(root);
    if (!e) {
        e = root.find_field_unordered("transaction_details").get(member);
        if (e == simdjson::NO_SUCH_FIELD) {
            thread_json_parser_done(size);
            return true;
        }
    }
    if (!e) e = member.get_array().get(details);
    if (!e) e = details.raw_json().get(raw);
    bool ok = !e && split_array(raw, out);
    thread_json_parser_done(size);
    if (!ok) {
        out.clear();
        error = e ? std::string("transaction search reply is not valid JSON: ") + simdjson::error_message(e)
                  : "transaction search reply: transaction_details is not a list of objects";
    }
    return ok;
}

bool history_detail_fields(std::string_view body, HistoryFields *out) {
    *out = HistoryFields{};
    // The DOM parser checks every token of the detail (On-Demand would only
    // check the brackets of members it skips): a stored detail that reads
    // here is whole JSON, and splits and joins back exactly.
    thread_local std::unique_ptr<simdjson::dom::parser> parser;
    if (!parser) parser.reset(new (std::nothrow) simdjson::dom::parser());
    if (!parser) return false;
    simdjson::dom::element root;
    if (parser->parse(body.data(), body.size()).get(root) || !root.is_object()) return false;
    auto text_at = [](simdjson::dom::element e, const char *name, std::string *to) {
        std::string_view v;
        if (!e[name].get_string().get(v)) to->assign(v);
    };
    simdjson::dom::element info;
    if (root["transaction_info"].get(info) || !info.is_object()) return true;
    text_at(info, "transaction_id", &out->id);
    text_at(info, "transaction_event_code", &out->event_code);
    text_at(info, "transaction_status", &out->status);
    std::string date, value;
    text_at(info, "transaction_initiation_date", &date);
    simdjson::dom::element amount;
    if (!info["transaction_amount"].get(amount) && amount.is_object()) {
        text_at(amount, "currency_code", &out->currency);
        std::string_view v;
        if (!amount["value"].get_string().get(v))
            out->has_amount = history_minor_units(v, out->currency, &out->amount_minor);
    }
    DatetimeText when{};
    if (!date.empty() && parse_datetime_text(date, &when) && when.form == DatetimeForm::kTimestamp) {
        char stamp[96];
        snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02dZ", when.ts.year, when.ts.month, when.ts.day,
                 when.ts.hour, when.ts.minute, when.ts.second);
        out->has_time = windows_parse_time(stamp, &out->time);
    }
    return true;
}

bool history_minor_units(std::string_view value, std::string_view currency, int64_t *out) {
    size_t i = 0;
    const bool negative = !value.empty() && value[0] == '-';
    if (negative) ++i;
    int64_t whole = 0;
    size_t digits = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i, ++digits) {
        if (whole > 100000000000000LL) return false;
        whole = whole * 10 + (value[i] - '0');
    }
    if (digits == 0) return false;
    int64_t cents = 0;
    if (i < value.size()) {
        if (value[i] != '.') return false;
        ++i;
        size_t fraction = 0;
        for (; i < value.size(); ++i, ++fraction) {
            if (value[i] < '0' || value[i] > '9') return false;
            if (fraction < 2) cents += (value[i] - '0') * (fraction == 0 ? 10 : 1);
        }
        if (fraction == 0) return false;
    }
    bool zero_decimal = false;
    for (std::string_view c : kZeroDecimalCurrencies) zero_decimal = zero_decimal || c == currency;
    const int64_t minor = zero_decimal ? whole : whole * 100 + cents;
    *out = negative ? -minor : minor;
    return true;
}

bool history_filter_add(HistoryFilter &filter, std::string_view name, std::string_view value) {
    static constexpr std::pair<std::string_view, HistoryMember> kEqual[] = {
        {"transaction_id", HistoryMember::kId},
        {"transaction_type", HistoryMember::kEventCode},
        {"transaction_status", HistoryMember::kStatus},
        {"transaction_currency", HistoryMember::kCurrency},
    };
    for (const auto &[parameter, member] : kEqual) {
        if (name == parameter) {
            filter.equal.emplace_back(member, std::string(value));
            return true;
        }
    }
    if (name != "transaction_amount") return false;
    // "<low> TO <high>" in minor units, brackets optional.
    std::string text(value);
    long long low, high;
    int used = -1;
    const int length = static_cast<int>(text.size());
    if (!(sscanf(text.c_str(), " [ %lld TO %lld ] %n", &low, &high, &used) == 2 && used == length)) {
        used = -1;
        if (!(sscanf(text.c_str(), " %lld TO %lld %n", &low, &high, &used) == 2 && used == length)) return false;
    }
    filter.has_amount = true;
    filter.amount_low = low;
    filter.amount_high = high;
    return true;
}

bool history_filter_match(const HistoryFilter &filter, const HistoryFields &fields) {
    for (const auto &[member, want] : filter.equal) {
        const std::string *have = nullptr;
        switch (member) {
            case HistoryMember::kId: have = &fields.id; break;
            case HistoryMember::kEventCode: have = &fields.event_code; break;
            case HistoryMember::kStatus: have = &fields.status; break;
            case HistoryMember::kCurrency: have = &fields.currency; break;
        }
        if (!have || *have != want) return false;
    }
    if (filter.has_amount &&
        !(fields.has_amount && filter.amount_low <= fields.amount_minor && fields.amount_minor <= filter.amount_high))
        return false;
    return true;
}

std::string history_page_text(const std::vector<std::string> &bodies, size_t first, size_t count) {
    std::string text = "{\"transaction_details\":[";
    for (size_t i = first; i < first + count && i < bodies.size(); ++i) {
        if (i > first) text += ',';
        text += bodies[i];
    }
    text += "]}";
    return text;
}
