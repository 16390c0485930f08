// The view store: where stored views would be kept, as a tree of named keys
// holding named values (text or 32-bit integer).
//
// Layout under the connection's root key: "views" / catalog / schema / view
// name, with an empty catalog or schema spelled "$$NONAME$$". A view key
// holds "sql" (the query text, at most kViewMaxText characters),
// "name_count" (0 to kViewMaxNames) and "name_0" ... the declared column
// names (at most kViewNameSize - 1 characters each).
//
// The store this driver ships is the null store: attaching succeeds and
// every other operation fails, so no view is ever found, listed, created or
// dropped. Another store only has to fill ViewStoreOps.
//
// Return codes: 0 success, anything else failure.
//
// Exports: ViewStoreOps, ViewStore, view_null_store, kViewMaxText,
// kViewMaxNames, kViewNameSize, kViewNoName.
#pragma once

#include <cstdint>

inline constexpr int kViewMaxText = 16384;
inline constexpr int kViewMaxNames = 128;
inline constexpr int kViewNameSize = 128;
inline constexpr const char *kViewNoName = "$$NONAME$$";

struct ViewStoreOps {
    /// Opens child `name` of `parent` (null: the root), creating it when `create`.
    int (*open_key)(void *store, void *parent, const char *name, int create, void **out);
    int (*close_key)(void *store, void *key);
    /// Reads a text value into `buffer` of `capacity` bytes (terminated).
    int (*read_text)(void *store, void *key, const char *name, char *buffer, int capacity);
    int (*read_int)(void *store, void *key, const char *name, int32_t *out);
    int (*write_text)(void *store, void *key, const char *name, const char *text);
    int (*write_int)(void *store, void *key, const char *name, int32_t value);
    int (*delete_value)(void *store, void *key, const char *name);
    int (*delete_key)(void *store, void *parent, const char *name);
    /// Name of child number `index` (from 0) of `key`; failure past the last.
    int (*enum_key)(void *store, void *key, int index, char *name, int capacity);
};

struct ViewStore {
    const ViewStoreOps *ops;
    void *handle;  // the store's own state, handed to every operation
};

/// The null store.
[[nodiscard]] ViewStore view_null_store();
