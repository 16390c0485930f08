// Date and time texts of PayPal replies (see datetime_text.h).
//
// PayPal publishes three forms: `date_time` (RFC 3339, "2023-04-05T06:07:08.123Z"
// or with an offset), `date_no_time` ("2025-06-28": invoice dates, due dates,
// payment dates) and the transaction search's "2023-04-05T06:07:08+0000"
// (offset without a colon). Every field has a fixed width, so the reader
// walks the text once with a cursor and refuses anything left over.
#include "sqi/datetime_text.h"

#include "support/calendar.h"

namespace {

constexpr int64_t kMinutesPerDay = 24 * 60;
constexpr int kFractionDigits = 9;  // TIMESTAMP_STRUCT::fraction counts nanoseconds

struct Cursor {
    std::string_view text;
    size_t pos = 0;

    bool at_end() const { return pos >= text.size(); }
    char peek() const { return at_end() ? '\0' : text[pos]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++pos;
        return true;
    }
    // Exactly `width` decimal digits (the room for them checked once).
    bool digits(int width, int *out) {
        if (text.size() - pos < static_cast<size_t>(width)) return false;
        int n = 0;
        for (int i = 0; i < width; ++i) {
            const unsigned d = static_cast<unsigned char>(text[pos + static_cast<size_t>(i)]) - unsigned{'0'};
            if (d > 9) return false;
            n = n * 10 + static_cast<int>(d);
        }
        pos += static_cast<size_t>(width);
        *out = n;
        return true;
    }
};

bool read_date(Cursor &c, TIMESTAMP_STRUCT *ts) {
    int year, month, day;
    if (!c.digits(4, &year) || !c.take('-') || !c.digits(2, &month) || !c.take('-') || !c.digits(2, &day))
        return false;
    if (!valid_date(year, month, day)) return false;
    ts->year = static_cast<SQLSMALLINT>(year);
    ts->month = static_cast<SQLUSMALLINT>(month);
    ts->day = static_cast<SQLUSMALLINT>(day);
    return true;
}

// HH:MM:SS with an optional fraction of any length; the first nine digits
// are kept as nanoseconds.
bool read_time(Cursor &c, TIMESTAMP_STRUCT *ts) {
    int hour, minute, second;
    if (!c.digits(2, &hour) || !c.take(':') || !c.digits(2, &minute) || !c.take(':') || !c.digits(2, &second))
        return false;
    if (hour > 23 || !valid_time(hour, minute, second)) return false;
    uint32_t fraction = 0;
    if (c.take('.')) {
        int kept = 0;
        size_t start = c.pos;
        for (; c.peek() >= '0' && c.peek() <= '9'; ++c.pos) {
            if (kept < kFractionDigits) {
                fraction = fraction * 10 + static_cast<uint32_t>(c.peek() - '0');
                ++kept;
            }
        }
        if (c.pos == start) return false;
        for (; kept < kFractionDigits; ++kept) fraction *= 10;
    }
    ts->hour = static_cast<SQLUSMALLINT>(hour);
    ts->minute = static_cast<SQLUSMALLINT>(minute);
    ts->second = static_cast<SQLUSMALLINT>(second);
    ts->fraction = fraction;
    return true;
}

// The zone after the time, in minutes east of UTC (0 for "Z" or none).
bool read_zone(Cursor &c, int *offset_minutes) {
    *offset_minutes = 0;
    if (c.at_end() || c.take('Z') || c.take('z')) return true;
    char sign = c.peek();
    if (sign != '+' && sign != '-') return false;
    ++c.pos;
    int hours, minutes = 0;
    if (!c.digits(2, &hours)) return false;
    if (!c.at_end()) {
        c.take(':');  // "+05:30" and "+0530" alike
        if (!c.digits(2, &minutes)) return false;
    }
    if (hours > 23 || minutes > 59) return false;
    *offset_minutes = (hours * 60 + minutes) * (sign == '-' ? -1 : 1);
    return true;
}

// Moves a timestamp by whole minutes, carrying over midnight into the date;
// seconds and fraction stay as they are (a leap second stays one).
bool shift_minutes(TIMESTAMP_STRUCT *ts, int delta) {
    int64_t minutes = static_cast<int64_t>(ts->hour) * 60 + ts->minute + delta;
    if (minutes >= 0 && minutes < kMinutesPerDay) {  // the same day: the date stands
        ts->hour = static_cast<SQLUSMALLINT>(minutes / 60);
        ts->minute = static_cast<SQLUSMALLINT>(minutes % 60);
        return true;
    }
    int64_t jdn = ymd_to_jdnl(ts->year, ts->month, ts->day);
    while (minutes < 0) {
        minutes += kMinutesPerDay;
        --jdn;
    }
    while (minutes >= kMinutesPerDay) {
        minutes -= kMinutesPerDay;
        ++jdn;
    }
    int64_t year;
    int month, day;
    jdnl_to_ymd(jdn, &year, &month, &day);
    if (year < kMinYear || year > kMaxYear) return false;
    ts->year = static_cast<SQLSMALLINT>(year);
    ts->month = static_cast<SQLUSMALLINT>(month);
    ts->day = static_cast<SQLUSMALLINT>(day);
    ts->hour = static_cast<SQLUSMALLINT>(minutes / 60);
    ts->minute = static_cast<SQLUSMALLINT>(minutes % 60);
    return true;
}

}  // namespace

bool parse_datetime_text(std::string_view text, DatetimeText *out) {
    *out = DatetimeText{};
    Cursor c{text};
    // A time of day is "HH:" at the start; a date is "YYYY-".
    if (text.size() > 2 && text[2] == ':') {
        out->form = DatetimeForm::kTime;
        return read_time(c, &out->ts) && c.at_end();
    }
    if (!read_date(c, &out->ts)) return false;
    if (c.at_end()) {
        out->form = DatetimeForm::kDate;  // midnight of that day
        return true;
    }
    if (!c.take('T') && !c.take('t') && !c.take(' ')) return false;
    int offset = 0;
    if (!read_time(c, &out->ts) || !read_zone(c, &offset) || !c.at_end()) return false;
    out->form = DatetimeForm::kTimestamp;
    // Local time minus its offset is UTC.
    return offset == 0 || shift_minutes(&out->ts, -offset);
}
