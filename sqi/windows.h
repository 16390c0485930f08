// Date windows: scans of tables whose API answers at most a few weeks per
// request (the transaction search: 31 days, three years of history) read the
// range of their lower and upper filters as consecutive windows, each paged
// to its end before the next is asked for.
//
// A window is [start, start + days - 1 second]; the next starts one second
// after the previous ends, so a transaction exactly on a window edge belongs
// to one window only (the API's bounds are inclusive and its times whole
// seconds). Rows come back in window order.
//
// Exports: ScanWindows, windows_begin, windows_next, windows_time_text,
// windows_parse_time.
#pragma once

#include <cstdint>
#include <string>

struct PaypalIterator;
struct WebRequest;

// The window state of one scan (PaypalIterator::windows); all zero when the
// scan reads its range in one request.
struct ScanWindows {
    int32_t active;         // the scan reads its range window by window
    int32_t windows_read;   // windows requested so far
    int64_t range_end;      // last second of the whole range (inclusive), Unix time
    int64_t window_start;   // the current window, inclusive bounds, Unix time
    int64_t window_end;
    const char *lower_param;  // query parameters of the range (catalogue texts)
    const char *upper_param;
};

/// Unix time of "YYYY-MM-DD[T ]HH:MM:SS[Z]" or "YYYY-MM-DD" (midnight), UTC.
/// False for any other text.
[[nodiscard]] bool windows_parse_time(const std::string &text, int64_t *out);

/// "YYYY-MM-DDTHH:MM:SSZ" of a Unix time.
[[nodiscard]] std::string windows_time_text(int64_t seconds);

/// Called once the filters are on `req`: for a table with windows, reads the
/// range from the remembered lower and upper filter values, refuses a range
/// older than the table's history, and puts the first window's bounds on
/// `req`. `now` is the current Unix time. DAL_OK (windows active, or a table
/// without them), DAL_NO_DATA (an empty range: nothing need be sent) or
/// DAL_ERROR (posted).
[[nodiscard]] int windows_begin(PaypalIterator *it, WebRequest *req, int64_t now);

/// Moves a windowed scan to the first page of the next window that has rows,
/// reading it through the scan's request. DAL_OK (rows are ready),
/// DAL_NO_DATA (no window left, or a scan without windows) or DAL_ERROR
/// (posted; the scan's request is dropped).
[[nodiscard]] int windows_next(PaypalIterator *it);
