// Row work files: record cache, lazily created unnamed files, side store.
#include "support/work_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "support/pool.h"

namespace {

constexpr size_t kSideMemory = 1u << 20;  // side bytes kept in memory before spilling

struct CacheSlot {
    int64_t record;  // -1 = empty
    bool dirty;
};

}  // namespace

struct WorkFile {
    CvPool *pool;
    size_t record_length;
    int cache_records;
    unsigned char *cache;   // cache_records × record_length
    CacheSlot *slots;
    int64_t records;        // one more than the highest record written
    int64_t on_disk;        // records present in the file (written back at least once)
    int fd;                 // -1 until the first write-back
    char directory[512];
    // side store
    unsigned char *side_memory;
    size_t side_length;     // bytes appended so far (memory or file)
    int side_fd;            // -1 while the side store is in memory
    // last failure
    const char *operation;
    int error_code;
    char error_text[160];
    bool closed;
};

namespace {

int fail(WorkFile *f, const char *operation, int code) {
    f->operation = operation;
    f->error_code = code;
    std::snprintf(f->error_text, sizeof f->error_text, "%s", std::strerror(code));
    return -1;
}

// An unnamed read/write file of mode 0600 in the directory.
int open_unnamed(const char *directory) {
#ifdef O_TMPFILE
    int fd = open(directory, O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
#endif
    char path[600];
    int n = std::snprintf(path, sizeof path, "%s/cvrsXXXXXX", directory);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    int fd2 = mkostemp(path, O_CLOEXEC);
    if (fd2 < 0) return -1;
    (void)unlink(path);
    (void)fchmod(fd2, 0600);
    return fd2;
}

bool offset_of(const WorkFile *f, int64_t record, off_t *out) {
    if (record < 0) return false;
    auto limit = static_cast<int64_t>(std::numeric_limits<off_t>::max() / static_cast<off_t>(f->record_length));
    if (record >= limit) return false;
    *out = static_cast<off_t>(record) * static_cast<off_t>(f->record_length);
    return true;
}

int write_all(int fd, const void *data, size_t n, off_t at) {
    const auto *p = static_cast<const unsigned char *>(data);
    while (n > 0) {
        ssize_t w = pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 ? errno : EIO;
        p += w;
        n -= static_cast<size_t>(w);
        at += w;
    }
    return 0;
}

int read_all(int fd, void *out, size_t n, off_t at) {
    auto *p = static_cast<unsigned char *>(out);
    while (n > 0) {
        ssize_t r = pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r < 0 ? errno : EIO;
        p += r;
        n -= static_cast<size_t>(r);
        at += r;
    }
    return 0;
}

unsigned char *slot_data(WorkFile *f, int slot) {
    return f->cache + static_cast<size_t>(slot) * f->record_length;
}

// Writes a dirty slot back, creating the file when needed.
int write_back(WorkFile *f, int slot) {
    CacheSlot &s = f->slots[slot];
    if (s.record < 0 || !s.dirty) return 0;
    if (f->fd < 0) {
        f->fd = open_unnamed(f->directory);
        if (f->fd < 0) return fail(f, "rs_open_file", errno);
    }
    off_t at;
    if (!offset_of(f, s.record, &at)) return fail(f, "rs_file_seek", EOVERFLOW);
    int rc = write_all(f->fd, slot_data(f, slot), f->record_length, at);
    if (rc != 0) return fail(f, "rs_file_write", rc);
    s.dirty = false;
    if (s.record >= f->on_disk) f->on_disk = s.record + 1;
    return 0;
}

// Makes `record` present in its cache slot. `for_write` allows a record
// never written before (its slot is zeroed).
int claim(WorkFile *f, int64_t record, bool for_write, unsigned char **out) {
    if (f->closed) return fail(f, "rs_file_seek", EBADF);
    int slot = static_cast<int>(record % f->cache_records);
    CacheSlot &s = f->slots[slot];
    if (s.record != record) {
        if (write_back(f, slot) != 0) return -1;
        unsigned char *data = slot_data(f, slot);
        if (record < f->on_disk) {
            off_t at;
            if (!offset_of(f, record, &at)) return fail(f, "rs_file_seek", EOVERFLOW);
            int rc = read_all(f->fd, data, f->record_length, at);
            if (rc != 0) {
                s.record = -1;
                return fail(f, "rs_file_read", rc);
            }
        } else if (for_write || record < f->records) {
            // Never written back: a record written while another held the
            // slot cannot exist (write_back ran), so this one is new.
            if (!for_write) return fail(f, "rs_file_read", ENODATA);
            std::memset(data, 0, f->record_length);
        } else {
            return fail(f, "rs_file_read", ENODATA);
        }
        s.record = record;
        s.dirty = false;
    }
    *out = slot_data(f, slot);
    return 0;
}

void release_file(void *arg) { work_file_close(static_cast<WorkFile *>(arg)); }

}  // namespace

const char *work_directory(const char *configured) {
    if (configured && *configured) return configured;
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

WorkFile *work_file_create(CvPool *pool, size_t record_length, int cache_records, const char *directory) {
    if (record_length == 0 || record_length > (64u << 20)) return nullptr;
    if (cache_records <= 0) cache_records = kDefaultWorkCache;
    if (static_cast<size_t>(cache_records) > (256u << 20) / record_length)
        cache_records = static_cast<int>((256u << 20) / record_length) + 1;
    auto *f = pool_new<WorkFile>(pool);
    if (!f) return nullptr;
    f->pool = pool;
    f->record_length = record_length;
    f->cache_records = cache_records;
    f->cache = static_cast<unsigned char *>(cv_mem_alloc(pool, record_length * static_cast<size_t>(cache_records)));
    f->slots = pool_new_array<CacheSlot>(pool, static_cast<size_t>(cache_records));
    if (!f->cache || !f->slots) return nullptr;
    for (int i = 0; i < cache_records; i++) f->slots[i].record = -1;
    f->fd = -1;
    f->side_fd = -1;
    std::snprintf(f->directory, sizeof f->directory, "%s", work_directory(directory));
    if (!cv_mem_on_release(pool, release_file, f)) return nullptr;
    return f;
}

void work_file_close(WorkFile *f) {
    if (!f || f->closed) return;
    f->closed = true;
    if (f->fd >= 0) (void)close(f->fd);
    if (f->side_fd >= 0) (void)close(f->side_fd);
    f->fd = f->side_fd = -1;
}

int work_file_write(WorkFile *f, int64_t record, size_t offset, const void *data, size_t n) {
    if (record < 0 || offset > f->record_length || n > f->record_length - offset)
        return fail(f, "rs_file_write", EINVAL);
    unsigned char *slot;
    if (claim(f, record, true, &slot) != 0) return -1;
    if (n) std::memcpy(slot + offset, data, n);
    f->slots[record % f->cache_records].dirty = true;
    if (record >= f->records) f->records = record + 1;
    return 0;
}

int work_file_read(WorkFile *f, int64_t record, size_t offset, void *out, size_t n) {
    if (record < 0 || record >= f->records || offset > f->record_length || n > f->record_length - offset)
        return fail(f, "rs_file_read", EINVAL);
    unsigned char *slot;
    if (claim(f, record, false, &slot) != 0) return -1;
    if (n) std::memcpy(out, slot + offset, n);
    return 0;
}

int64_t work_file_records(const WorkFile *f) { return f->records; }
bool work_file_on_disk(const WorkFile *f) { return f->fd >= 0; }

const char *work_file_error(const WorkFile *f, const char **operation, int *code) {
    if (operation) *operation = f->operation ? f->operation : "";
    if (code) *code = f->error_code;
    return f->error_text;
}

int64_t work_side_append(WorkFile *f, const void *data, size_t n) {
    if (f->closed) return fail(f, "rs_file_write", EBADF);
    auto at = static_cast<int64_t>(f->side_length);
    if (f->side_fd < 0 && f->side_length + n <= kSideMemory) {
        if (!f->side_memory) {
            f->side_memory = static_cast<unsigned char *>(cv_mem_alloc(f->pool, kSideMemory));
            if (!f->side_memory) return fail(f, "rs_file_write", ENOMEM);
        }
        if (n) std::memcpy(f->side_memory + f->side_length, data, n);
        f->side_length += n;
        return at;
    }
    if (f->side_fd < 0) {
        f->side_fd = open_unnamed(f->directory);
        if (f->side_fd < 0) return fail(f, "rs_open_file", errno);
        if (f->side_length) {
            int rc = write_all(f->side_fd, f->side_memory, f->side_length, 0);
            if (rc != 0) return fail(f, "rs_file_write", rc);
        }
    }
    int rc = write_all(f->side_fd, data, n, static_cast<off_t>(at));
    if (rc != 0) return fail(f, "rs_file_write", rc);
    f->side_length += n;
    return at;
}

int work_side_read(WorkFile *f, int64_t position, void *out, size_t n) {
    if (position < 0 || static_cast<uint64_t>(position) > f->side_length ||
        n > f->side_length - static_cast<size_t>(position))
        return fail(f, "rs_file_read", EINVAL);
    if (f->side_fd < 0) {
        if (n) std::memcpy(out, f->side_memory + position, n);
        return 0;
    }
    int rc = read_all(f->side_fd, out, n, static_cast<off_t>(position));
    return rc == 0 ? 0 : fail(f, "rs_file_read", rc);
}
