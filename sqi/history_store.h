// The local history store: a SQLite file that keeps the settled windows of
// the transaction search once fetched, so a later query over the same time
// reads them from the file instead of asking PayPal again.
//
// What it holds, per record set (client id, base URL, balance-affecting
// setting: what decides which records PayPal returns), is a list of windows
// (first and last second, rows, when fetched) and the raw JSON text of every
// transaction detail fetched for them, with its initiation time and its
// place in the reply. A window and its details are written in one SQLite
// transaction, so a reader sees all of a window or none of it. No secret is
// written: the client id names the record set, the secret never does.
//
// Safety: the file is created 0600; an existing file that is not a regular
// file, is group- or other-readable or belongs to another user is refused
// (history_store_open fails with the reason). WAL journal and a busy
// time-out let two processes use one file at once.
//
// Lifetimes: a HistoryStore is one SQLite connection; HistoryLink (one per
// PayPal connection) opens it on first use under its mutex and keeps it
// until the last scan holding the link lets go. Every call below takes the
// store's own mutex: scans of one connection on several threads share it.
//
// Exports: HistoryStore, HistoryStorePtr, HistoryLink, HistorySetKey,
// HistoryWindow, HistoryDetail, HistoryListRow, history_store_open,
// history_store_set, history_store_windows, history_store_read,
// history_store_put, history_store_list, kHistoryBusyMs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HistoryStore;
struct HistoryStoreDeleter {
    void operator()(HistoryStore *store) const;
};
using HistoryStorePtr = std::unique_ptr<HistoryStore, HistoryStoreDeleter>;

// How long a write waits for another process's transaction to end.
inline constexpr int kHistoryBusyMs = 10000;

// One PayPal connection's way to its store: the path and settle time from
// the connection keywords, the store once opened, and whether its failure
// has been reported (once per connection).
struct HistoryLink {
    std::string path;             // history_store; empty: no store
    int64_t settle_seconds = 0;   // history_settle_hours in seconds
    std::mutex lock;              // guards the fields below
    bool tried = false;           // the open was attempted
    bool warned = false;          // a warning about the store was posted
    HistoryStorePtr store;        // null when not open (or refused)
};

// What decides which records PayPal returns for a window.
struct HistorySetKey {
    std::string client_id;
    std::string base_url;
    std::string balance_only;  // "Y" or "N"
};

struct HistoryWindow {
    int64_t start, end;  // Unix seconds, inclusive
    int64_t rows;        // details stored for it
    int64_t fetched_at;  // Unix seconds
};

// One transaction detail as fetched.
struct HistoryDetail {
    int64_t time;      // its initiation time, Unix seconds
    std::string body;  // the raw JSON object text of the reply
};

// One row of INFO_SCHEMA.PAYPAL_HISTORY.
struct HistoryListRow {
    HistorySetKey key;
    HistoryWindow window;
};

/// Opens (creating it 0600 when absent) the store at `path` and makes its
/// schema. Null with `error` set when the file is unsafe (a link, not a
/// regular file, group- or other-readable, another user's), damaged or
/// cannot be opened.
[[nodiscard]] HistoryStorePtr history_store_open(const std::string &path, std::string &error);

/// The id of record set `key`, made when `create` and absent (0 when absent
/// and not made). False with `error` on a SQLite failure.
[[nodiscard]] bool history_store_set(HistoryStore *store, const HistorySetKey &key, bool create, int64_t *id,
                                     std::string &error);

/// The stored windows of set `set_id`, oldest first. A window whose detail
/// count differs from its row count means a damaged file: false with `error`.
[[nodiscard]] bool history_store_windows(HistoryStore *store, int64_t set_id, std::vector<HistoryWindow> &out,
                                         std::string &error);

/// The details of set `set_id` with times from `start` to `end` (inclusive),
/// in reply order (time, then window, then place in the window's replies).
/// False with `error` on a SQLite failure.
[[nodiscard]] bool history_store_read(HistoryStore *store, int64_t set_id, int64_t start, int64_t end,
                                      std::vector<HistoryDetail> &out, std::string &error);

/// Stores window [start, end] of set `set_id` with `details` (in reply
/// order) in one transaction. A window another process stored meanwhile
/// (any overlap) is left as it is. False with `error` when nothing was
/// written (locked past the busy time-out, full, damaged).
[[nodiscard]] bool history_store_put(HistoryStore *store, int64_t set_id, int64_t start, int64_t end,
                                     int64_t fetched_at, const std::vector<HistoryDetail> &details,
                                     std::string &error);

/// Every stored window with its record set, by set and start.
[[nodiscard]] bool history_store_list(HistoryStore *store, std::vector<HistoryListRow> &out, std::string &error);
