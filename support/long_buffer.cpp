// Long buffers (see long_buffer.h).
#include "support/long_buffer.h"

#include <cstring>

LongBuffer *allocate_long_buffer(CvPool *pool, size_t limit, int sql_type) {
    LongBuffer *lb = pool_new<LongBuffer>(pool);
    if (!lb) return nullptr;
    lb->pool = pool;
    lb->limit = limit ? limit : kDefaultLongBufferLimit;
    lb->sql_type = sql_type;
    return lb;
}

int append_to_long_buffer(LongBuffer *lb, const void *bytes, size_t count) {
    if (!lb) return -1;
    if (count == 0) return 0;
    if (count > lb->limit - lb->length) return -1;
    size_t need = lb->length + count;
    if (need > lb->capacity) {
        size_t cap = lb->capacity ? lb->capacity : 256;
        while (cap < need) cap = cap > lb->limit / 2 ? lb->limit : cap * 2;
        void *p = cv_mem_realloc(lb->pool, lb->data, cap + 1);
        if (!p) return -1;
        lb->data = static_cast<char *>(p);
        lb->capacity = cap;
    }
    std::memcpy(lb->data + lb->length, bytes, count);
    lb->length = need;
    lb->data[need] = 0;
    return 0;
}

size_t extract_from_long_buffer(LongBuffer *lb, void *out, size_t capacity) {
    if (!lb || !out || lb->position >= lb->length) return 0;
    size_t n = lb->length - lb->position;
    if (n > capacity) n = capacity;
    std::memcpy(out, lb->data + lb->position, n);
    lb->position += n;
    return n;
}

void rewind_long_buffer(LongBuffer *lb) {
    if (lb) lb->position = 0;
}

void seek_long_buffer(LongBuffer *lb, size_t position) {
    if (lb) lb->position = position < lb->length ? position : lb->length;
}

size_t long_buffer_length(const LongBuffer *lb) { return lb ? lb->length : 0; }

const char *long_buffer_data(const LongBuffer *lb) { return lb && lb->data ? lb->data : ""; }

void clear_long_buffer(LongBuffer *lb) {
    if (!lb) return;
    lb->length = 0;
    lb->position = 0;
    if (lb->data) lb->data[0] = 0;
}
