// The PayPal backend's own trace log (separate from the ODBC call trace).
//
// A trace call names a record: a PaypalContext (magic 27216) or a WebRequest
// (magic 27217, which refers to its context). The line is written when its
// level passes the context's mask, to the context's log file (opened for
// each line, created with mode 0600) or to standard error, or, in ring mode
// (mask bit 0x40), kept in a process-wide ring of 100000 lines that is
// written out when an ERROR line arrives.
//
// Secrets never reach the log: every line and every packet dump passes
// through PaypalTraceScrub, which replaces the values of Authorization and
// Proxy-Authorization headers and every text registered with
// PaypalTraceAddSecret (client secret, tokens, proxy password, Basic
// credentials) by "****".
//
// Lifetimes: a PaypalTraceHead lives inside its PaypalContext; the ring lives
// for the process.
//
// Exports: PaypalTraceHead, PaypalTraceRef, PaypalTrace, PaypalTraceDump,
// PaypalTraceFormat, PaypalTraceEnabled, PaypalTraceSetup,
// PaypalTraceParseLogging, PaypalTraceAddSecret, PaypalTraceScrub,
// PP_TRACE, PP_TRACE_DUMP, TraceCountedText.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

constexpr int32_t kPaypalContextMagic = 27216;  // 0x6A50
constexpr int32_t kWebRequestMagic = 27217;     // 0x6A51
constexpr int32_t kWebResponseMagic = 27218;    // 0x6A52
static_assert(kPaypalContextMagic == 0x6A50 && kWebRequestMagic == 0x6A51);

// Levels and mode bits of the trace mask.
constexpr uint32_t kPpTraceEntry = 0x1;
constexpr uint32_t kPpTraceExit = 0x2;
constexpr uint32_t kPpTraceDetail = 0x4;
constexpr uint32_t kPpTraceError = 0x8;
constexpr uint32_t kPpTracePktDump = 0x10;
constexpr uint32_t kPpTracePerThread = 0x20;   // one file per process and thread
constexpr uint32_t kPpTraceRing = 0x40;        // keep lines until an ERROR line
constexpr uint32_t kPpTraceContinue = 0x1000;  // continuation of the previous line

constexpr size_t kPpTraceLineSize = 2048;
constexpr size_t kPpTraceFileNameMax = 1023;
constexpr size_t kPpTraceRingSlots = 100000;

// The trace state at the head of every PaypalContext.
struct PaypalTraceHead {
    int32_t magic;                           // kPaypalContextMagic
    uint32_t mask;                           // 0 = off
    std::mutex lock;                         // held while a line is formatted and written
    char log_file[kPpTraceFileNameMax + 1];  // empty: standard error
    std::vector<std::string> secrets;        // texts masked in every line (under lock)
};

// The head of a record that refers to a context (a WebRequest).
struct PaypalTraceRef {
    int32_t magic;             // kWebRequestMagic
    PaypalTraceHead *context;  // the context's trace head
};

// A counted text for the %S directive.
struct TraceCountedText {
    int length;  // bytes, or -3 for null-terminated
    const char *text;
};

/// True when a line of `level` on `record` would be written (a cheap check
/// before building expensive arguments).
[[nodiscard]] bool PaypalTraceEnabled(const void *record, uint32_t level);

/// Writes one line when `level` passes the mask of the record's context. The
/// message uses the directives of PaypalTraceFormat; call sites use only the
/// printf-compatible ones (%s %d %x %p %c), which the compiler checks.
void PaypalTrace(const void *record, const char *module, int line, uint32_t level,
                 const char *format, ...) __attribute__((format(printf, 5, 6)));

/// Writes a line and a hex dump of `length` bytes of `data`; does nothing
/// unless the mask has PKTDUMP. The bytes are scrubbed of secrets first.
void PaypalTraceDump(const void *record, const char *module, int line, uint32_t level,
                     const void *data, size_t length, const char *format, ...)
    __attribute__((format(printf, 7, 8)));

/// Formats `format` with `args` into `buffer` of `capacity` bytes (always
/// terminated when capacity > 0). Directives: %d %u %l %c %x %X %p %s %S %q
/// %Q %T %r; any other pair of characters is skipped. When 20 or fewer bytes
/// remain before a directive, "..." is written and formatting stops.
/// Returns the length written.
size_t PaypalTraceFormat(char *buffer, size_t capacity, const char *format, va_list args);

/// Sets the mask and log file name (null or empty: standard error) of a
/// context; returns the previous mask. Called once at connect.
uint32_t PaypalTraceSetup(PaypalTraceHead *head, uint32_t mask, const char *log_file);

/// The mask for a `logging` value: "yes"/"true"/"on" 31, "onerror"/"error"
/// 95, "process" 63, "no"/"off" 0 (any case), else an integer (0x.. hex, 0..
/// octal, decimal); empty or null gives 0.
[[nodiscard]] uint32_t PaypalTraceParseLogging(const char *value);

/// Registers a secret to be masked in every line of this context (texts
/// shorter than 4 bytes are ignored: masking them would garble lines).
void PaypalTraceAddSecret(PaypalTraceHead *head, std::string_view secret);

/// Replaces header values of Authorization / Proxy-Authorization lines and
/// every registered secret in `text` with "****". The caller holds
/// head->lock (or owns the head exclusively).
void PaypalTraceScrub(const PaypalTraceHead *head, std::string &text);

#define PP_TRACE(record, level, ...) \
    PaypalTrace((record), __FILE_NAME__, __LINE__, (level), __VA_ARGS__)
#define PP_TRACE_DUMP(record, level, data, length, ...) \
    PaypalTraceDump((record), __FILE_NAME__, __LINE__, (level), (data), (length), __VA_ARGS__)
