// The PayPal provider's environment, session and iterator records.
//
// One PaypalEnv per DAL (the provider handle): it owns the TLS context and
// the reply cache for the connection's life. SQIConnect makes the
// PaypalSession with its transport context and obtains the access token;
// SQIDisconnect closes the socket, and those of the extra connections the
// parallel page requests keep (sqi/prefetch.h), and frees the session.
//
// Diagnostics go to the owner handle through the DAL's service callback with
// the component "Corvane Paypal ODBC Driver".
//
// Exports: PaypalEnv, PaypalSession, PaypalIterator, PaypalSettings,
// SQIAllocEnv, SQIFreeEnv, SQIConnect, SQIDisconnect, SQIGetInfo,
// SQISetAttr, SQIOpenIterator, SQIResetIterator, SQICloseIterator,
// paypal_post, paypal_time_limit, paypal_cancel_flag, read_paypal_settings, paypal_base_url, kLiveBaseUrl,
// kSandboxBaseUrl, kPaypalComponent.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dal/provider.h"
#include "sqi/catalog.h"
#include "sqi/catalog_cursor.h"
#include "sqi/history_scan.h"
#include "sqi/prefetch.h"
#include "sqi/reply_page.h"
#include "sqi/text_rows.h"
#include "sqi/windows.h"
#include "transport/transport.h"

inline constexpr const char *kPaypalComponent = "Corvane Paypal ODBC Driver";
inline constexpr const char *kSqlEngineComponent = "Corvane ODBC-SQI SQL Engine";
inline constexpr const char *kLiveBaseUrl = "https://api-m.paypal.com";
inline constexpr const char *kSandboxBaseUrl = "https://api-m.sandbox.paypal.com";
constexpr int kMaxPageSize = 20;

struct PaypalTable;

struct PaypalSession {
    std::string base_url;           // where requests go
    ParsedUrl api;                  // host, port, secure, base path of base_url
    std::string proxy, proxy_user, proxy_password;
    std::string client_id, client_secret;
    PaypalContextPtr context;
    // The extra connections of parallel page requests while no scan uses
    // them, kept open for the next scan; shared with the scans that hold
    // some (a scan may end after its session).
    std::shared_ptr<ClonePool> page_connections = std::make_shared<ClonePool>();
    // The history store of settled transactions (sqi/history_store.h),
    // opened on first use; shared with the scans that read it.
    std::shared_ptr<HistoryLink> history = std::make_shared<HistoryLink>();
};

struct PaypalEnv {
    std::unique_ptr<PaypalSession> session;
    int32_t odbc_version;           // set through SQISetAttr
    DalLink link;                   // the connection and the DAL's services
    int32_t cache_lifetime;         // seconds, from query_timeout
    int32_t accept_compression;     // 1: ask for gzip replies
    int32_t flush_on_update;
    std::string dsn;                // empty when connecting without a DSN
    int32_t disguise_long;
    int32_t page_size;              // at most kMaxPageSize
    void *owner;                    // the connection: diagnostics go there (a scan's go to its statement)
    TlsContextPtr tls;
    ResponseCache cache;
    int32_t filter_local;
    int32_t tz_hours, tz_minutes;   // local time = UTC - bias
    int32_t parallel_requests;      // pages a scan may fetch at once (1: one after the other)
};

struct PaypalIterator {
    void *owner;                    // handle for diagnostics
    CatalogCursor listing;          // catalogue listings (modes other than 3)
    PaypalEnv *env;
    int32_t at_end;
    SqiIteratorMode mode;           // listing kind, or a scan (sqi/catalog.h)
    int32_t table_index, column_index;
    int32_t page_rows;              // rows of the current page (child rows, for a child table)
    int32_t list_rows;              // elements of its row list (what paging goes by)
    int32_t current_row;            // 1-based row of the page; 0 before the first
    int32_t next_page;
    int32_t single_object;
    int32_t piece_offset, piece_column;
    WebRequestPtr request;          // the current scan's request
    // Query rows (mode 3); released by scan_release (sqi/scan.h).
    const PaypalTable *table;       // the scanned table
    ReplyPage page;                 // the current page's rows (sqi/reply_page.h)
    EchoValue filters[7];           // remembered filter values and the path key
    int32_t keyed;                  // the request's path carried a key
    int32_t fresh;                  // SQIFetch: ask PayPal, never the reply cache
    int32_t pages_read;             // pages of this scan so far
    int32_t requested_page;         // page number the latest request asked for
    std::string page_cursor;        // next_page_token / start_id the latest request sent
    std::string next_cursor;        // the token / id of the next page (empty: none)
    uint64_t row_serial;            // counts delivered rows: a new row restarts the piece offset
    uint64_t piece_serial;          // the row the piece state belongs to
    ScanWindows windows;            // date windows of the range (sqi/windows.h)
    // The text of the column being read, converted once per row and column
    // and then delivered piece by piece (piece_text_ready: piece_view is
    // valid for piece_column of row piece_serial); piece_text holds a text
    // the conversion built (a number's), the page any other.
    std::string piece_text;
    std::string_view piece_view;
    int32_t piece_text_ready;
    PagePrefetchPtr prefetch;       // pages fetched ahead in parallel (sqi/prefetch.h), or null
    // Rows of texts (mode kTextRows: a procedure's result, the procedure
    // listings; sqi/text_rows.h) and the 1-based current one (0: before the first).
    std::vector<TextRow> text_rows;
    size_t text_row = 0;
    HistoryScanPtr history;         // the scan's windows through the history store (sqi/history_scan.h), or null
};

// The settings SQIConnect reads, from the attributes or the DSN's profile.
struct PaypalSettings {
    std::string logging, logfile, entropy, cert, proxy, proxy_user, proxy_pass;
    std::string client_id, client_secret, base_url;
    int32_t flush_on_update;
    int32_t disguise_long;
    int32_t filter_local;
    int32_t page_size;
    int32_t sandbox;
    int32_t query_timeout;
    int32_t retries;                // `retries`: tries after the first of one request
    int32_t retry_wait;             // `retry_wait`: seconds a statement may spend waiting to retry
    int32_t parallel_requests;      // `parallel_requests`: connections a paged scan reads over
    std::string history_store;      // `history_store`: the SQLite file of settled transactions (empty: none)
    int32_t history_settle_hours;   // `history_settle_hours`: age after which a window is kept
};

/// Reads the settings: each keyword from `attributes`, else from the data
/// source `dsn`'s profile entry (when `dsn` is not empty), else its default.
void read_paypal_settings(const ConnAttrList *attributes, const std::string &dsn, PaypalSettings *out);

/// The base URL: `base_url` when set, else the sandbox or live one.
[[nodiscard]] std::string paypal_base_url(const PaypalSettings &s);

/// Posts an error through the environment's callback on its owner.
void paypal_post(const PaypalEnv *env, const char *sqlstate, const char *message);

/// The flag SQLCancel sets on statement `handle`, from the DAL; null when
/// there is none. Retry waits end when it is set.
[[nodiscard]] const std::atomic<int32_t> *paypal_cancel_flag(const PaypalEnv *env, void *handle);

/// The time limit the DAL gives for `handle`: a statement's query time-out
/// or a connection's login time-out, in seconds (0: none).
[[nodiscard]] int paypal_time_limit(const PaypalEnv *env, void *handle);

/// The diagnostic records on `handle` so far (what a failed exchange
/// posted, since the ODBC call began).
[[nodiscard]] int paypal_diag_count(const PaypalEnv *env, void *handle);

int SQIAllocEnv(const DalLink *link, void **out, const char *dsn);
int SQIFreeEnv(void *env, DalProvider *provider);
int SQIConnect(void *env, ConnAttrList *attributes, void *window, char *out, int capacity);
int SQIDisconnect(void *env);
int SQIGetInfo(void *env, SqiInfoCode code, SqiInfo *out);
int SQISetAttr(void *env, int attribute, long value);
void *SQIOpenIterator(void *owner, void *env, DalProvider *provider, const Node *ddl);
int SQIResetIterator(void *it);
int SQICloseIterator(void *it);
