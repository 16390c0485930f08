// Rows in the row work file: one fixed-length record per row, one slot per
// column. A slot is a header (type, NULL flag, the value's descriptive
// fields, its length and where its bytes are) and an inline area holding
// the data union, or text and binary bytes up to the column's inline size;
// longer bytes and every long value go to the file's side store, and the
// slot keeps their position. Nothing is cut.
#include <cstring>

#include "query/rowset_internal.h"
#include "support/long_buffer.h"
#include "support/pool.h"
#include "support/value_ops.h"
#include "support/work_file.h"

namespace {

struct SlotHeader {
    uint32_t type;
    int32_t is_null;
    int32_t precision;
    int32_t scale;
    int32_t leading_precision;
    int32_t seconds_precision;
    int32_t in_side;           // 1: the bytes are in the side store
    int32_t reported_length;
    int64_t length;
};
static_assert(sizeof(SlotHeader) == 40, "slot header layout");

constexpr size_t kDataSize = sizeof(ValueData);
constexpr size_t kMaxInline = 4096;
constexpr size_t kLongChunk = 64 * 1024;

bool bytes_of(const Value *v, const char **data, size_t *n) {
    switch (v->type) {
    case VT_CHAR:
        *data = v->data.s ? v->data.s : "";
        *n = v->data.s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
        return true;
    case VT_BINARY:
        *data = reinterpret_cast<const char *>(v->data.bytes);
        *n = v->data.bytes && v->length > 0 ? static_cast<size_t>(v->length) : 0;
        return true;
    case VT_LONG_CHAR:
    case VT_LONG_BINARY:
        *data = v->long_buffer ? long_buffer_data(v->long_buffer) : "";
        *n = v->long_buffer ? long_buffer_length(v->long_buffer) : 0;
        return true;
    default: return false;
    }
}

}  // namespace

int layout_make(CvPool *pool, int columns, const int32_t *inline_sizes, RowLayout *out) {
    out->columns = columns;
    out->offsets = pool_new_array<size_t>(pool, static_cast<size_t>(columns) + 1);
    out->inline_size = pool_new_array<size_t>(pool, static_cast<size_t>(columns) + 1);
    if (!out->offsets || !out->inline_size) return -1;
    size_t at = 0;
    for (int c = 0; c < columns; c++) {
        size_t wanted = inline_sizes && inline_sizes[c] > 0 ? static_cast<size_t>(inline_sizes[c]) : 0;
        if (wanted > kMaxInline) wanted = kMaxInline;
        size_t area = wanted > kDataSize ? wanted : kDataSize;
        area = (area + 7) & ~size_t{7};
        out->offsets[c] = at;
        out->inline_size[c] = area;
        at += sizeof(SlotHeader) + area;
    }
    out->record_length = at > 0 ? at : 8;
    return 0;
}

int store_row(WorkFile *file, const RowLayout &layout, int64_t record, Value *const *values) {
    for (int c = 0; c < layout.columns; c++) {
        Value *v = values[c + 1];
        if (v && v->deferred) return -2;  // sources hand out values already read
        SlotHeader h{};
        unsigned char area[kDataSize] = {};
        const void *inline_data = area;
        size_t inline_n = 0;
        h.type = v ? v->type : VT_CHAR;
        h.is_null = v ? v->is_null : -1;
        if (v && !v->is_null) {
            h.precision = v->precision;
            h.scale = v->scale;
            h.leading_precision = v->interval_leading_precision;
            h.seconds_precision = v->interval_seconds_precision;
            h.reported_length = v->reported_length;
            const char *data;
            size_t n;
            if (bytes_of(v, &data, &n)) {
                h.length = static_cast<int64_t>(n);
                bool is_long = v->type == VT_LONG_CHAR || v->type == VT_LONG_BINARY;
                if (!is_long && n <= layout.inline_size[c]) {
                    inline_data = data;
                    inline_n = n;
                } else {
                    int64_t pos = work_side_append(file, data, n);
                    if (pos < 0) return -1;
                    h.in_side = 1;
                    std::memcpy(area, &pos, sizeof pos);
                    inline_n = sizeof pos;
                }
            } else {
                std::memcpy(area, &v->data, kDataSize);
                inline_n = kDataSize;
            }
        }
        size_t at = layout.offsets[c];
        if (work_file_write(file, record, at, &h, sizeof h) != 0) return -1;
        if (inline_n && work_file_write(file, record, at + sizeof h, inline_data, inline_n) != 0) return -1;
    }
    return 0;
}

int load_row(WorkFile *file, const RowLayout &layout, int64_t record, CvPool *pool, Value **values) {
    for (int c = 0; c < layout.columns; c++) {
        size_t at = layout.offsets[c];
        SlotHeader h;
        if (work_file_read(file, record, at, &h, sizeof h) != 0) return -1;
        Value *v;
        bool bytes = h.type == VT_CHAR || h.type == VT_BINARY || h.type == VT_LONG_CHAR || h.type == VT_LONG_BINARY;
        if (h.is_null || !bytes) {
            v = new_value_of_type(pool, h.type);
            if (!v) return -2;
            if (!h.is_null && work_file_read(file, record, at + sizeof h, &v->data, kDataSize) != 0) return -1;
        } else if (h.type == VT_LONG_CHAR || h.type == VT_LONG_BINARY) {
            v = new_value_of_type(pool, h.type);
            if (!v) return -2;
            v->long_buffer = allocate_long_buffer(pool, 0, h.type == VT_LONG_CHAR ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
            if (!v->long_buffer) return -2;
            int64_t pos;
            if (work_file_read(file, record, at + sizeof h, &pos, sizeof pos) != 0) return -1;
            auto *chunk = static_cast<char *>(cv_mem_alloc(pool, kLongChunk));
            if (!chunk) return -2;
            for (int64_t done = 0; done < h.length;) {
                size_t n = h.length - done < static_cast<int64_t>(kLongChunk) ? static_cast<size_t>(h.length - done)
                                                                             : kLongChunk;
                if (work_side_read(file, pos + done, chunk, n) != 0) return -1;
                if (append_to_long_buffer(v->long_buffer, chunk, n) != 0) return -2;
                done += static_cast<int64_t>(n);
            }
            cv_mem_free(chunk);
        } else {
            if (h.length < 0 || h.length > kMaxCharValue) return -1;
            auto n = static_cast<int32_t>(h.length);
            v = NewValue(pool, n);
            if (!v) return -2;
            char *dst = v->data.s;
            if (h.in_side) {
                int64_t pos;
                if (work_file_read(file, record, at + sizeof h, &pos, sizeof pos) != 0) return -1;
                if (n && work_side_read(file, pos, dst, static_cast<size_t>(n)) != 0) return -1;
            } else if (n && work_file_read(file, record, at + sizeof h, dst, static_cast<size_t>(n)) != 0) {
                return -1;
            }
            v->type = h.type;
            v->length = n;
            if (h.type == VT_BINARY) v->data.bytes = reinterpret_cast<uint8_t *>(dst);
        }
        v->is_null = h.is_null;
        v->precision = h.precision;
        v->scale = h.scale;
        v->interval_leading_precision = h.leading_precision;
        v->interval_seconds_precision = h.seconds_precision;
        v->reported_length = h.reported_length;
        values[c + 1] = v;
    }
    return 0;
}
