// The history store's SQLite file (see history_store.h): opening it safely,
// its schema, and reading and writing windows of transaction details.
//
// Exports: HistoryStoreDeleter, history_store_open, history_store_set,
// history_store_windows, history_store_read, history_store_put,
// history_store_list.
#include "sqi/history_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The schema's version (PRAGMA user_version): a file with another one is
// not read.
constexpr int kSchemaVersion = 1;

constexpr const char *kSchema =
    "CREATE TABLE IF NOT EXISTS record_sets("
    " id INTEGER PRIMARY KEY, client_id TEXT NOT NULL, base_url TEXT NOT NULL,"
    " balance_only TEXT NOT NULL, UNIQUE(client_id, base_url, balance_only));"
    "CREATE TABLE IF NOT EXISTS windows("
    " set_id INTEGER NOT NULL, start INTEGER NOT NULL, end INTEGER NOT NULL,"
    " rows INTEGER NOT NULL, fetched_at INTEGER NOT NULL, PRIMARY KEY(set_id, start));"
    "CREATE TABLE IF NOT EXISTS details("
    " set_id INTEGER NOT NULL, window_start INTEGER NOT NULL, ord INTEGER NOT NULL,"
    " time INTEGER NOT NULL, body TEXT NOT NULL, PRIMARY KEY(set_id, window_start, ord)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS details_time ON details(set_id, time);";

struct StmtDeleter {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

}  // namespace

struct HistoryStore {
    sqlite3 *db = nullptr;
    std::mutex lock;  // one call at a time on the connection
};

void HistoryStoreDeleter::operator()(HistoryStore *store) const {
    if (!store) return;
    sqlite3_close_v2(store->db);
    delete store;
}

namespace {

bool fail(HistoryStore *store, const char *what, std::string &error) {
    error = std::string(what) + ": " + sqlite3_errmsg(store->db);
    return false;
}

bool prepare(HistoryStore *store, const char *sql, StmtPtr &out, std::string &error) {
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(store->db, sql, -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return fail(store, "history store", error);
    }
    out.reset(s);
    return true;
}

bool exec(HistoryStore *store, const char *sql, std::string &error) {
    char *message = nullptr;
    if (sqlite3_exec(store->db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = std::string("history store: ") + (message ? message : sqlite3_errmsg(store->db));
    sqlite3_free(message);
    return false;
}

void bind_text(sqlite3_stmt *s, int index, const std::string &text) {
    sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string column_text(sqlite3_stmt *s, int index) {
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, index));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, index))) : std::string();
}

// The file at `path` may hold financial data only for us: a regular file of
// ours that nobody else can read or write. Made 0600 (with O_EXCL, so a
// file or link put there meanwhile is not followed) when absent.
bool safe_file(const std::string &path, std::string &error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = "history store " + path + ": " + strerror(errno);
            return false;
        }
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) return safe_file(path, error);
        if (fd < 0) {
            error = "history store " + path + " cannot be created: " + strerror(errno);
            return false;
        }
        close(fd);
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "history store " + path + " is not a regular file; it is not used";
        return false;
    }
    if (st.st_uid != geteuid()) {
        error = "history store " + path + " belongs to another user; it is not used";
        return false;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        char mode[16];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = "history store " + path + " has mode " + mode +
                " (readable or writable by others); it is not used until it is 0600";
        return false;
    }
    return true;
}

}  // namespace

HistoryStorePtr history_store_open(const std::string &path, std::string &error) {
    if (path.empty()) {
        error = "history store: no path";
        return nullptr;
    }
    if (!safe_file(path, error)) return nullptr;
    HistoryStorePtr store(new HistoryStore());
    // The WAL and shared-memory files SQLite makes beside the file take its
    // mode; nothing else of ours is readable by others either.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path.c_str(), &store->db, flags, nullptr) != SQLITE_OK) {
        error = "history store " + path + ": " + (store->db ? sqlite3_errmsg(store->db) : "cannot be opened");
        return nullptr;
    }
    sqlite3_extended_result_codes(store->db, 1);
    sqlite3_busy_timeout(store->db, kHistoryBusyMs);
    StmtPtr version;
    if (!exec(store.get(), "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error) ||
        !prepare(store.get(), "PRAGMA user_version", version, error))
        return nullptr;
    int have = sqlite3_step(version.get()) == SQLITE_ROW ? sqlite3_column_int(version.get(), 0) : -1;
    version.reset();
    if (have != 0 && have != kSchemaVersion) {
        error = "history store " + path + " has schema version " + std::to_string(have) + "; it is not used";
        return nullptr;
    }
    if (have == 0) {
        std::string sql = std::string("BEGIN IMMEDIATE;") + kSchema + "PRAGMA user_version=" +
                          std::to_string(kSchemaVersion) + ";COMMIT;";
        if (!exec(store.get(), sql.c_str(), error)) {
            (void)sqlite3_exec(store->db, "ROLLBACK", nullptr, nullptr, nullptr);
            return nullptr;
        }
    }
    return store;
}

bool history_store_set(HistoryStore *store, const HistorySetKey &key, bool create, int64_t *id,
                       std::string &error) {
    std::lock_guard<std::mutex> guard(store->lock);
    *id = 0;
    for (int pass = 0; pass < 2; ++pass) {
        StmtPtr find;
        if (!prepare(store, "SELECT id FROM record_sets WHERE client_id=?1 AND base_url=?2 AND balance_only=?3",
                     find, error))
            return false;
        bind_text(find.get(), 1, key.client_id);
        bind_text(find.get(), 2, key.base_url);
        bind_text(find.get(), 3, key.balance_only);
        int rc = sqlite3_step(find.get());
        if (rc == SQLITE_ROW) {
            *id = sqlite3_column_int64(find.get(), 0);
            return true;
        }
        if (rc != SQLITE_DONE) return fail(store, "history store", error);
        if (!create || pass == 1) return true;
        StmtPtr add;
        if (!prepare(store,
                     "INSERT OR IGNORE INTO record_sets(client_id, base_url, balance_only) VALUES(?1, ?2, ?3)",
                     add, error))
            return false;
        bind_text(add.get(), 1, key.client_id);
        bind_text(add.get(), 2, key.base_url);
        bind_text(add.get(), 3, key.balance_only);
        if (sqlite3_step(add.get()) != SQLITE_DONE) return fail(store, "history store", error);
    }
    return true;
}

bool history_store_windows(HistoryStore *store, int64_t set_id, std::vector<HistoryWindow> &out,
                           std::string &error) {
    std::lock_guard<std::mutex> guard(store->lock);
    out.clear();
    // One read transaction: the windows and their counts agree.
    StmtPtr s;
    if (!prepare(store,
                 "SELECT w.start, w.end, w.rows, w.fetched_at,"
                 " (SELECT count(*) FROM details d WHERE d.set_id = w.set_id AND d.window_start = w.start)"
                 " FROM windows w WHERE w.set_id = ?1 ORDER BY w.start",
                 s, error))
        return false;
    sqlite3_bind_int64(s.get(), 1, set_id);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        HistoryWindow w{sqlite3_column_int64(s.get(), 0), sqlite3_column_int64(s.get(), 1),
                        sqlite3_column_int64(s.get(), 2), sqlite3_column_int64(s.get(), 3)};
        const int64_t counted = sqlite3_column_int64(s.get(), 4);
        if (counted != w.rows || w.end < w.start) {
            error = "history store is damaged: a window of " + std::to_string(w.rows) + " rows holds " +
                    std::to_string(counted);
            out.clear();
            return false;
        }
        out.push_back(w);
    }
    if (rc != SQLITE_DONE) {
        out.clear();
        return fail(store, "history store", error);
    }
    return true;
}

bool history_store_read(HistoryStore *store, int64_t set_id, int64_t start, int64_t end,
                        std::vector<HistoryDetail> &out, std::string &error) {
    std::lock_guard<std::mutex> guard(store->lock);
    out.clear();
    StmtPtr s;
    if (!prepare(store,
                 "SELECT time, body FROM details WHERE set_id = ?1 AND time BETWEEN ?2 AND ?3"
                 " ORDER BY time, window_start, ord",
                 s, error))
        return false;
    sqlite3_bind_int64(s.get(), 1, set_id);
    sqlite3_bind_int64(s.get(), 2, start);
    sqlite3_bind_int64(s.get(), 3, end);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        out.push_back(HistoryDetail{sqlite3_column_int64(s.get(), 0), column_text(s.get(), 1)});
    if (rc != SQLITE_DONE) {
        out.clear();
        return fail(store, "history store", error);
    }
    return true;
}

bool history_store_put(HistoryStore *store, int64_t set_id, int64_t start, int64_t end, int64_t fetched_at,
                       const std::vector<HistoryDetail> &details, std::string &error) {
    std::lock_guard<std::mutex> guard(store->lock);
    // IMMEDIATE: the overlap check and the writes see one state of the file.
    if (!exec(store, "BEGIN IMMEDIATE", error)) return false;
    auto rollback = [&](bool ok) {
        if (!ok) (void)sqlite3_exec(store->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ok;
    };
    StmtPtr overlap, window, detail;
    if (!prepare(store, "SELECT 1 FROM windows WHERE set_id = ?1 AND start <= ?3 AND end >= ?2", overlap, error))
        return rollback(false);
    sqlite3_bind_int64(overlap.get(), 1, set_id);
    sqlite3_bind_int64(overlap.get(), 2, start);
    sqlite3_bind_int64(overlap.get(), 3, end);
    int rc = sqlite3_step(overlap.get());
    if (rc == SQLITE_ROW) return rollback(exec(store, "COMMIT", error));  // stored meanwhile
    if (rc != SQLITE_DONE) return rollback(fail(store, "history store", error));
    if (!prepare(store, "INSERT INTO details(set_id, window_start, ord, time, body) VALUES(?1, ?2, ?3, ?4, ?5)",
                 detail, error) ||
        !prepare(store, "INSERT INTO windows(set_id, start, end, rows, fetched_at) VALUES(?1, ?2, ?3, ?4, ?5)",
                 window, error))
        return rollback(false);
    int64_t ord = 0;
    for (const HistoryDetail &d : details) {
        sqlite3_reset(detail.get());
        sqlite3_bind_int64(detail.get(), 1, set_id);
        sqlite3_bind_int64(detail.get(), 2, start);
        sqlite3_bind_int64(detail.get(), 3, ord++);
        sqlite3_bind_int64(detail.get(), 4, d.time);
        bind_text(detail.get(), 5, d.body);
        if (sqlite3_step(detail.get()) != SQLITE_DONE) return rollback(fail(store, "history store", error));
    }
    sqlite3_bind_int64(window.get(), 1, set_id);
    sqlite3_bind_int64(window.get(), 2, start);
    sqlite3_bind_int64(window.get(), 3, end);
    sqlite3_bind_int64(window.get(), 4, static_cast<int64_t>(details.size()));
    sqlite3_bind_int64(window.get(), 5, fetched_at);
    if (sqlite3_step(window.get()) != SQLITE_DONE) return rollback(fail(store, "history store", error));
    return rollback(exec(store, "COMMIT", error));
}

bool history_store_list(HistoryStore *store, std::vector<HistoryListRow> &out, std::string &error) {
    std::lock_guard<std::mutex> guard(store->lock);
    out.clear();
    StmtPtr s;
    if (!prepare(store,
                 "SELECT r.client_id, r.base_url, r.balance_only, w.start, w.end, w.rows, w.fetched_at"
                 " FROM windows w JOIN record_sets r ON r.id = w.set_id ORDER BY r.id, w.start",
                 s, error))
        return false;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        out.push_back(HistoryListRow{
            HistorySetKey{column_text(s.get(), 0), column_text(s.get(), 1), column_text(s.get(), 2)},
            HistoryWindow{sqlite3_column_int64(s.get(), 3), sqlite3_column_int64(s.get(), 4),
                          sqlite3_column_int64(s.get(), 5), sqlite3_column_int64(s.get(), 6)}});
    if (rc != SQLITE_DONE) {
        out.clear();
        return fail(store, "history store", error);
    }
    return true;
}
