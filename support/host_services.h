// What the layers below the ODBC layer may ask of the handles they are given.
//
// The data access layer, the providers and the engine hold ODBC handles only
// as opaque `void *` owners: they post diagnostics on them and allocate in
// their pools, but never look inside. The ODBC layer fills one HostServices
// table and hands it to the connection's DAL record when it makes the
// connection (DALCreate); everything below reaches the handles through it.
// A handle the host does not know (null, or not a connection, statement or
// descriptor) gets null or the documented default from every entry.
//
// Exports: HostServices, host_diagnostics, host_pool.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct CvPool;
struct DalRecord;
struct ErrorHeader;

struct HostServices {
    /// The diagnostics header of `handle`: post with PostError/post_error.
    ErrorHeader *(*diagnostics)(void *handle);
    /// The pool of `handle` (allocate there; it goes with the handle).
    CvPool *(*pool)(void *handle);
    /// The ODBC version the application asked for: 2 or 3 (3 when unknown).
    int (*odbc_version)(void *handle);
    /// A value of the connection string of `handle`'s connection (keyword
    /// case-insensitive), or null when absent.
    const char *(*connection_text)(void *handle, const char *keyword);
    /// The seconds a request made for `handle` may take as a whole: a
    /// statement's query time-out or a connection's login time-out (0: none).
    int (*time_limit)(void *handle);
    /// The flag SQLCancel sets on statement `handle` (null: none), so a
    /// provider waiting to retry can stop.
    const std::atomic<int32_t> *(*cancel_flag)(void *handle);
    /// The data access record of `handle`'s connection (null: none).
    DalRecord *(*dal_record)(void *handle);
    /// SQLGetInfo of `handle`'s connection for `info_type` into `buffer` of
    /// `capacity` bytes, its length in `length`: 0, or -1 when refused.
    int (*get_info)(void *handle, int info_type, void *buffer, int64_t capacity, int64_t *length);
};

/// The diagnostics header of `handle`, or null when there is no host.
[[nodiscard]] inline ErrorHeader *host_diagnostics(const HostServices *host, void *handle) {
    return host && host->diagnostics ? host->diagnostics(handle) : nullptr;
}

/// The pool of `handle`, or null when there is no host.
[[nodiscard]] inline CvPool *host_pool(const HostServices *host, void *handle) {
    return host && host->pool ? host->pool(handle) : nullptr;
}
