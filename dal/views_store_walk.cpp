// Reading the view store: loading one view, walking every stored view.
#include <cstdio>
#include <cstring>
#include <string>

#include "dal/views.h"

namespace {

// The key name of a catalog or schema part.
std::string part_key(std::string_view part) { return part.empty() ? std::string(kViewNoName) : std::string(part); }

// Keys opened from the root down, closed innermost first when it goes.
struct KeyPath {
    const ViewStore &store;
    void *keys[4] = {};
    int depth = 0;
    explicit KeyPath(const ViewStore &s) : store(s) {}
    ~KeyPath() {
        while (depth > 0) (void)store.ops->close_key(store.handle, keys[--depth]);
    }
    bool open(const std::string &name) {
        void *parent = depth > 0 ? keys[depth - 1] : nullptr;
        void *key = nullptr;
        if (depth >= 4 || store.ops->open_key(store.handle, parent, name.c_str(), 0, &key) != 0) return false;
        keys[depth++] = key;
        return true;
    }
    void *top() const { return depth > 0 ? keys[depth - 1] : nullptr; }
};

void copy_name(char *dst, const char *src) {
    std::snprintf(dst, kViewNameSize, "%s", std::strcmp(src, kViewNoName) == 0 ? "" : src);
}

}  // namespace

int view_load(const ViewStore &store, std::string_view catalog, std::string_view schema, std::string_view name,
              char *sql, char (*names)[kViewNameSize], int slots) {
    if (!store.ops) return -1;
    KeyPath path(store);
    if (!path.open("views") || !path.open(part_key(catalog)) || !path.open(part_key(schema)) ||
        !path.open(std::string(name)))
        return -1;
    if (store.ops->read_text(store.handle, path.top(), "sql", sql, kViewMaxText + 1) != 0) return -1;
    sql[kViewMaxText] = '\0';
    if (!names || slots <= 0) return 0;
    int32_t count = 0;
    if (store.ops->read_int(store.handle, path.top(), "name_count", &count) != 0) return -1;
    // The last slot always holds the empty name that ends the list, so a
    // stored count beyond the slots is cut rather than written past them.
    if (count < 0) count = 0;
    if (count > slots - 1) count = slots - 1;
    for (int i = 0; i < count; i++) {
        char value_name[32];
        std::snprintf(value_name, sizeof value_name, "name_%d", i);
        if (store.ops->read_text(store.handle, path.top(), value_name, names[i], kViewNameSize) != 0) return -1;
        names[i][kViewNameSize - 1] = '\0';
    }
    names[count][0] = '\0';
    return 0;
}

int view_walk_next(const ViewStore &store, ViewWalk *w) {
    if (!store.ops) return -1;
    if (!w->started) {
        w->started = 1;
        w->catalog_index = w->schema_index = 0;
        w->view_index = -1;
    }
    char catalog[kViewNameSize], schema[kViewNameSize], view[kViewNameSize];
    for (;;) {
        KeyPath path(store);
        if (!path.open("views")) return -1;
        if (store.ops->enum_key(store.handle, path.top(), w->catalog_index, catalog, sizeof catalog) != 0) return -1;
        catalog[kViewNameSize - 1] = '\0';
        if (!path.open(catalog)) return -1;
        if (store.ops->enum_key(store.handle, path.top(), w->schema_index, schema, sizeof schema) != 0) {
            w->catalog_index++;
            w->schema_index = 0;
            w->view_index = -1;
            continue;
        }
        schema[kViewNameSize - 1] = '\0';
        if (!path.open(schema)) return -1;
        if (store.ops->enum_key(store.handle, path.top(), w->view_index + 1, view, sizeof view) != 0) {
            w->schema_index++;
            w->view_index = -1;
            continue;
        }
        view[kViewNameSize - 1] = '\0';
        w->view_index++;
        copy_name(w->catalog, catalog);
        copy_name(w->schema, schema);
        std::snprintf(w->name, sizeof w->name, "%s", view);
        return 0;
    }
}
