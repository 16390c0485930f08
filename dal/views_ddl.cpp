// Storing and removing view definitions: CREATE VIEW, DROP VIEW and the
// views that depend on a dropped table or view.
#include <cstdio>
#include <string>

#include "dal/dal.h"
#include "dal/views.h"
#include "sql/printer.h"

namespace {

std::string part_key(const char *part) { return part && *part ? std::string(part) : std::string(kViewNoName); }

// Keys opened (or created) from the root down; closed innermost first.
struct OpenKeys {
    const ViewStore &store;
    void *keys[4] = {};
    int depth = 0;
    explicit OpenKeys(const ViewStore &s) : store(s) {}
    ~OpenKeys() { close(); }
    void close() {
        while (depth > 0) (void)store.ops->close_key(store.handle, keys[--depth]);
    }
    bool open(const std::string &name, int create) {
        void *key = nullptr;
        if (depth >= 4 || store.ops->open_key(store.handle, depth ? keys[depth - 1] : nullptr, name.c_str(), create, &key) != 0)
            return false;
        keys[depth++] = key;
        return true;
    }
    void *top() const { return depth ? keys[depth - 1] : nullptr; }
};

int create_failed(void *statement, const DalRecord *dal, const char *what) {
    char message[160];
    std::snprintf(message, sizeof message, "General error: %s", what);
    PostDalError(dal, statement, kDalComponent, 0, "HY000", message);
    return -1;
}

}  // namespace

int ViewCreate(void *statement, const DalRecord *dal, const ViewStore &store, const char *catalog, const char *schema, const char *name,
               const Node *query, const char *const *names, int name_count) {
    std::string text;
    if (!query || print_to_string(query, false, text) != 0 || text.size() > static_cast<size_t>(kViewMaxText))
        return create_failed(statement, dal, "Unable to create view, query to large");
    if (!store.ops) return create_failed(statement, dal, "Unable to create view");
    OpenKeys keys(store);
    if (!keys.open("views", 1) || !keys.open(part_key(catalog), 1) || !keys.open(part_key(schema), 1) ||
        !keys.open(part_key(name), 1))
        return create_failed(statement, dal, "Unable to create view");
    if (store.ops->write_text(store.handle, keys.top(), "sql", text.c_str()) != 0)
        return create_failed(statement, dal, "Unable to create view");
    if (name_count > kViewMaxNames) return create_failed(statement, dal, "Unable to create view, too many names");
    if (name_count < 0) name_count = 0;
    if (store.ops->write_int(store.handle, keys.top(), "name_count", name_count) != 0)
        return create_failed(statement, dal, "Unable to create view");
    for (int i = 0; i < name_count; i++) {
        char value_name[32];
        std::snprintf(value_name, sizeof value_name, "name_%d", i);
        std::string declared = names && names[i] ? std::string(names[i]).substr(0, kViewNameSize - 1) : std::string();
        if (store.ops->write_text(store.handle, keys.top(), value_name, declared.c_str()) != 0)
            return create_failed(statement, dal, "Unable to create view");
    }
    return 0;
}

int ViewDrop(void *statement, const ViewStore &store, const char *catalog, const char *schema, const char *name,
             int behaviour) {
    if (behaviour == kViewDropNone || behaviour == kViewDropCascade)
        (void)ViewDropDependents(statement, store, nullptr, catalog, schema, name);
    if (!store.ops) return -1;
    OpenKeys keys(store);
    if (!keys.open("views", 0) || !keys.open(part_key(catalog), 0) || !keys.open(part_key(schema), 0) ||
        !keys.open(part_key(name), 0))
        return -1;
    void *view = keys.top();
    if (store.ops->delete_value(store.handle, view, "sql") != 0) return -1;
    int32_t count = 0;
    if (store.ops->read_int(store.handle, view, "name_count", &count) != 0) return -1;
    if (count > kViewMaxNames) count = kViewMaxNames;
    for (int i = 0; i < count; i++) {
        char value_name[32];
        std::snprintf(value_name, sizeof value_name, "name_%d", i);
        if (store.ops->delete_value(store.handle, view, value_name) != 0) return -1;
    }
    if (store.ops->delete_value(store.handle, view, "name_count") != 0) return -1;
    (void)store.ops->close_key(store.handle, view);
    keys.depth--;
    if (store.ops->delete_key(store.handle, keys.top(), part_key(name).c_str()) != 0) return -1;
    return 0;
}

int ViewDropDependents(void *, const ViewStore &store, const TableInfo *table, const char *catalog,
                       const char *schema, const char *name) {
    // A view depends on the object when its compiled query refers to it. No
    // stored view compiles yet (views.h), and a view that does not compile
    // counts as not dependent: the walk only has to run to its end.
    ViewWalk walk{};
    const std::string self_catalog = table ? table->catalog : (catalog ? catalog : "");
    const std::string self_schema = table ? table->schema : (schema ? schema : "");
    const std::string self_name = table ? table->table : (name ? name : "");
    while (view_walk_next(store, &walk) == 0) {
        if (!table && self_catalog == walk.catalog && self_schema == walk.schema && self_name == walk.name) continue;
    }
    return 0;
}
