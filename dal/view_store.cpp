// The null view store: attaching works, everything else fails.
#include "dal/view_store.h"

namespace {

int no_open(void *, void *, const char *, int, void **out) {
    if (out) *out = nullptr;
    return -1;
}
int no_close(void *, void *) { return -1; }
int no_read_text(void *, void *, const char *, char *, int) { return -1; }
int no_read_int(void *, void *, const char *, int32_t *) { return -1; }
int no_write_text(void *, void *, const char *, const char *) { return -1; }
int no_write_int(void *, void *, const char *, int32_t) { return -1; }
int no_delete_value(void *, void *, const char *) { return -1; }
int no_delete_key(void *, void *, const char *) { return -1; }
int no_enum(void *, void *, int, char *, int) { return -1; }

constexpr ViewStoreOps kNullOps = {
    .open_key = no_open,
    .close_key = no_close,
    .read_text = no_read_text,
    .read_int = no_read_int,
    .write_text = no_write_text,
    .write_int = no_write_int,
    .delete_value = no_delete_value,
    .delete_key = no_delete_key,
    .enum_key = no_enum,
};

}  // namespace

ViewStore view_null_store() { return {&kNullOps, nullptr}; }
