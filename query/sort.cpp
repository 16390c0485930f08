// The external merge sort (sort.h).
//
// Memory: the entry buffer, its index and the radix passes' copy of the
// index are allocated within the budget (at least two entries per run, so
// an entry larger than the budget still sorts). Beyond it, a constant: 16
// KiB of radix counts while a buffer is sorted, the kWriteBuffer of a run
// file, and while merging (the entry buffer freed by then) one read buffer
// of kReadBuffer bytes per run read at once, at most max(kMinFanIn, budget /
// kReadBuffer) of them.
#include "query/sort.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "support/pool.h"
#include "support/work_file.h"

namespace {

// Frees a vector's storage (assigning {} would keep its capacity).
template <typename V>
void give_back(V &v) {
    V().swap(v);
}

// Bytes that resize leaves uninitialised: the arena is always written over
// right after it grows.
template <typename T>
struct UninitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitAllocator<U>;
    };
    UninitAllocator() = default;
    template <typename U>
    UninitAllocator(const UninitAllocator<U> &) {}
    template <typename U>
    void construct(U *p) noexcept {
        ::new (static_cast<void *>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

using Arena = std::vector<uint8_t, UninitAllocator<uint8_t>>;

constexpr int64_t kMinBudget = 1024;
constexpr int64_t kMaxBudget = int64_t{1} << 40;
constexpr size_t kReadBuffer = 32 * 1024;
constexpr size_t kWriteBuffer = 64 * 1024;
constexpr int64_t kMinFanIn = 8;
constexpr int64_t kMaxFanIn = 512;
constexpr size_t kHeader = 8;  // key length, payload length (32 bits each)

std::atomic<int64_t> g_open_files{0};

// An entry of the in-memory buffer: the key's first 8 bytes as a big-endian
// number (zero-padded), so most comparisons and the radix passes never look
// at the arena; and the entry's offset in the arena with the key's length
// (capped at 0xFFFF: past 8 bytes only "longer than 8" matters here).
struct Item {
    uint64_t prefix;
    uint64_t packed;   // offset << 16 | min(key length, 0xFFFF)
};

constexpr int kLengthBits = 16;
constexpr uint64_t kLengthMask = (uint64_t{1} << kLengthBits) - 1;
constexpr size_t kPrefix = 8;
constexpr size_t kRadixMinimum = 64;   // fewer items: a comparison sort
constexpr size_t kPrefetchAhead = 8;
constexpr size_t kMinArena = 4096;      // first allocations, clipped to the budget
constexpr size_t kMinItems = 64;

struct RunFile {
    int fd = -1;
    int64_t size = 0;          // bytes written (flushed or buffered)
    std::vector<uint8_t> pending;
};

struct Run {
    int file;
    int64_t offset;
    int64_t length;
};

struct Reader {
    Run run;
    int64_t consumed = 0;      // bytes of the run moved into the buffer
    std::vector<uint8_t> buffer;
    size_t start = 0, end = 0; // unread bytes of the buffer
    const uint8_t *entry = nullptr;
    uint32_t key_length = 0, payload_length = 0;
    uint64_t prefix = 0;       // of the entry's key, as for Item
};

uint64_t prefix_of(const uint8_t *key, size_t n) {
    uint8_t b[kPrefix] = {};
    std::memcpy(b, key, n < kPrefix ? n : kPrefix);
    uint64_t p;
    std::memcpy(&p, b, sizeof p);
    return __builtin_bswap64(p);
}

int compare_keys(const uint8_t *a, size_t la, const uint8_t *b, size_t lb) {
    size_t n = la < lb ? la : lb;
    int c = n ? std::memcmp(a, b, n) : 0;
    if (c != 0) return c;
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

}  // namespace

struct Sort {
    CvPool *pool = nullptr;
    SortOptions options{};
    int64_t budget = 0;
    int64_t fan_in = kMinFanIn;
    std::string directory;
    Arena arena;
    std::vector<Item> items;
    std::vector<Item> scratch;     // the radix passes' second buffer
    RunFile files[2];
    int file = 0;                  // where new runs go
    std::vector<Run> runs;
    int64_t runs_written = 0;
    bool spilled = false;
    bool finished = false;
    bool released = false;
    // fetching
    bool from_memory = true;
    size_t next_item = 0;
    std::vector<Reader> readers;
    std::vector<int> heap;         // reader indexes
    int advance = -1;              // reader to move on before the next fetch
    bool pushed = false;
    bool have_last = false;
    std::vector<uint8_t> last_key; // unique mode
    const uint8_t *cur_key = nullptr, *cur_payload = nullptr;
    size_t cur_key_length = 0, cur_payload_length = 0;
    int64_t fetched = 0;
    std::string error;
};

namespace {

int fail(Sort *s, int code, const char *operation) {
    char text[256];
    if (code == 2) std::snprintf(text, sizeof text, "Out of memory in sort routine");
    else if (code == 6) std::snprintf(text, sizeof text, "Timeout expired");
    else if (code == 7) std::snprintf(text, sizeof text, "Operation canceled");
    else std::snprintf(text, sizeof text, "OSFile error (%s) %d", operation, errno);
    s->error = text;
    return code;
}

bool expired(const Sort *s) { return s->options.deadline != 0 && time(nullptr) > s->options.deadline; }

bool canceled(const Sort *s) { return s->options.cancel && s->options.cancel->load(std::memory_order_acquire); }

int open_file(Sort *s, RunFile *f) {
    if (f->fd >= 0) return 0;
    const char *dir = s->directory.c_str();
    int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string path = s->directory + "/cvsortXXXXXX";
        std::vector<char> name(path.begin(), path.end());
        name.push_back('\0');
        fd = mkstemp(name.data());
        if (fd >= 0) {
            (void)unlink(name.data());
            (void)fchmod(fd, 0600);
        }
    }
    if (fd < 0) return fail(s, 5, "FILECREATE");
    f->fd = fd;
    f->size = 0;
    s->spilled = true;
    g_open_files++;
    return 0;
}

void close_file(RunFile *f) {
    if (f->fd < 0) return;
    close(f->fd);
    f->fd = -1;
    f->size = 0;
    f->pending.clear();
    f->pending.shrink_to_fit();
    g_open_files--;
}

int flush_pending(Sort *s, RunFile *f) {
    size_t done = 0;
    const int64_t base = f->size - static_cast<int64_t>(f->pending.size());
    while (done < f->pending.size()) {
        ssize_t w = pwrite(f->fd, f->pending.data() + done, f->pending.size() - done, base + static_cast<int64_t>(done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return fail(s, 5, "FILEWRITE");
        done += static_cast<size_t>(w);
    }
    f->pending.clear();
    return 0;
}

int file_append(Sort *s, RunFile *f, const uint8_t *data, size_t n) {
    if (f->pending.capacity() < kWriteBuffer) f->pending.reserve(kWriteBuffer);
    if (f->pending.size() + n > kWriteBuffer && !f->pending.empty())
        if (int r = flush_pending(s, f)) return r;
    if (n >= kWriteBuffer) {
        f->pending.assign(data, data + n);
        f->size += static_cast<int64_t>(n);
        return flush_pending(s, f);
    }
    f->pending.insert(f->pending.end(), data, data + n);
    f->size += static_cast<int64_t>(n);
    return 0;
}

const uint8_t *entry_at(const Sort *s, const Item &it) { return s->arena.data() + (it.packed >> kLengthBits); }

void entry_parts(const uint8_t *e, uint32_t *kl, uint32_t *pl) {
    std::memcpy(kl, e, 4);
    std::memcpy(pl, e + 4, 4);
}

// Key order (memcmp, a shorter key before a longer one it begins). With
// equal prefixes a key of at most 8 bytes is wholly in its prefix, so only
// two longer keys need the arena.
bool item_less(const Sort *s, const Item &a, const Item &b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const uint64_t la = a.packed & kLengthMask, lb = b.packed & kLengthMask;
    if (la <= kPrefix || lb <= kPrefix) return la < lb;
    const uint8_t *x = entry_at(s, a), *y = entry_at(s, b);
    uint32_t xk, xp, yk, yp;
    entry_parts(x, &xk, &xp);
    entry_parts(y, &yk, &yp);
    return compare_keys(x + kHeader + kPrefix, xk - kPrefix, y + kHeader + kPrefix, yk - kPrefix) < 0;
}

bool item_equal(const Sort *s, const Item &a, const Item &b) { return !item_less(s, a, b) && !item_less(s, b, a); }

// Stable LSD radix sort of the items by prefix, one pass per byte that
// differs among them; the items then stand in prefix order, and equal
// prefixes in the order they were added.
void radix_by_prefix(Sort *s) {
    std::vector<Item> &items = s->items;
    const size_t n = items.size();
    s->scratch.reserve(n);  // exactly n: no more than the items hold
    s->scratch.resize(n);
    static_assert(sizeof(size_t) >= sizeof(uint32_t));
    std::vector<size_t> counts(kPrefix * 256, 0);
    for (const Item &it : items)
        for (size_t b = 0; b < kPrefix; b++) counts[b * 256 + ((it.prefix >> (8 * b)) & 0xFF)]++;
    Item *from = items.data(), *to = s->scratch.data();
    for (size_t b = 0; b < kPrefix; b++) {
        size_t *c = &counts[b * 256];
        if (c[(from[0].prefix >> (8 * b)) & 0xFF] == n) continue;  // one value: nothing moves
        size_t at = 0;
        for (int v = 0; v < 256; v++) {
            const size_t k = c[v];
            c[v] = at;
            at += k;
        }
        const unsigned shift = static_cast<unsigned>(8 * b);
        for (size_t i = 0; i < n; i++) to[c[(from[i].prefix >> shift) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    // Copied back rather than swapped, so each buffer keeps the capacity
    // the budget gave it.
    if (from != items.data()) std::memcpy(items.data(), from, n * sizeof(Item));
}

void sort_items(Sort *s) {
    auto less = [s](const Item &a, const Item &b) { return item_less(s, a, b); };
    // Already ordered (all equal keys included): nothing to do.
    if (std::is_sorted(s->items.begin(), s->items.end(), less)) return;
    if (s->items.size() < kRadixMinimum) {
        std::stable_sort(s->items.begin(), s->items.end(), less);
        return;
    }
    radix_by_prefix(s);
    // Equal prefixes of longer keys: their order by the rest of the key.
    auto first = s->items.begin();
    while (first != s->items.end()) {
        auto last = first + 1;
        while (last != s->items.end() && last->prefix == first->prefix) ++last;
        if (last - first > 1 && !std::is_sorted(first, last, less)) std::stable_sort(first, last, less);
        first = last;
    }
}

int flush_run(Sort *s) {
    if (s->items.empty()) return 0;
    if (canceled(s)) return fail(s, 7, "");
    if (expired(s)) return fail(s, 6, "");
    sort_items(s);
    RunFile *f = &s->files[s->file];
    if (int r = open_file(s, f)) return r;
    Run run{s->file, f->size, 0};
    const Item *prev = nullptr;
    for (const Item &it : s->items) {
        if (s->options.unique && prev && item_equal(s, *prev, it)) continue;
        prev = &it;
        const uint8_t *e = entry_at(s, it);
        uint32_t kl, pl;
        entry_parts(e, &kl, &pl);
        if (int r = file_append(s, f, e, kHeader + kl + pl)) return r;
    }
    if (int r = flush_pending(s, f)) return r;
    run.length = f->size - run.offset;
    s->runs.push_back(run);
    s->runs_written++;
    s->items.clear();
    s->arena.clear();
    return 0;
}

// Reads more of the reader's run so that a whole entry is in the buffer.
// 0 with r->entry set, 100 at the run's end, 5 on error.
int reader_next(Sort *s, Reader *r) {
    for (;;) {
        size_t avail = r->end - r->start;
        if (avail >= kHeader) {
            uint32_t kl, pl;
            entry_parts(r->buffer.data() + r->start, &kl, &pl);
            size_t need = kHeader + kl + pl;
            if (avail >= need) {
                r->entry = r->buffer.data() + r->start;
                r->key_length = kl;
                r->payload_length = pl;
                r->prefix = prefix_of(r->entry + kHeader, kl);
                r->start += need;
                return 0;
            }
            if (need > r->buffer.size()) {
                std::vector<uint8_t> grown(need);
                std::memcpy(grown.data(), r->buffer.data() + r->start, avail);
                r->buffer.swap(grown);
                r->start = 0;
                r->end = avail;
            }
        }
        int64_t left = r->run.length - r->consumed;
        if (left <= 0) {
            if (avail != 0) {
                errno = EIO;
                return fail(s, 5, "MERGEREAD");
            }
            r->entry = nullptr;
            return 100;
        }
        if (r->start > 0) {
            std::memmove(r->buffer.data(), r->buffer.data() + r->start, avail);
            r->start = 0;
            r->end = avail;
        }
        size_t room = r->buffer.size() - r->end;
        size_t want = static_cast<int64_t>(room) < left ? room : static_cast<size_t>(left);
        ssize_t got = pread(s->files[r->run.file].fd, r->buffer.data() + r->end, want, r->run.offset + r->consumed);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = EIO;
            return fail(s, 5, "MERGEREAD");
        }
        r->end += static_cast<size_t>(got);
        r->consumed += got;
    }
}

// Heap order: smaller key first; equal keys from the earlier run first.
bool reader_after(const Sort *s, int a, int b) {
    const Reader &x = s->readers[static_cast<size_t>(a)], &y = s->readers[static_cast<size_t>(b)];
    if (x.prefix != y.prefix) return x.prefix > y.prefix;
    int c;
    if (x.key_length <= kPrefix || y.key_length <= kPrefix)
        c = x.key_length < y.key_length ? -1 : (x.key_length > y.key_length ? 1 : 0);
    else
        c = compare_keys(x.entry + kHeader + kPrefix, x.key_length - kPrefix, y.entry + kHeader + kPrefix,
                         y.key_length - kPrefix);
    if (c != 0) return c > 0;
    return a > b;
}

void heap_push(Sort *s, int reader) {
    s->heap.push_back(reader);
    std::push_heap(s->heap.begin(), s->heap.end(), [s](int a, int b) { return reader_after(s, a, b); });
}

int heap_pop(Sort *s) {
    std::pop_heap(s->heap.begin(), s->heap.end(), [s](int a, int b) { return reader_after(s, a, b); });
    int r = s->heap.back();
    s->heap.pop_back();
    return r;
}

int start_merge(Sort *s, size_t first, size_t count) {
    s->readers.clear();
    s->heap.clear();
    s->readers.resize(count);
    for (size_t i = 0; i < count; i++) {
        Reader &r = s->readers[i];
        r.run = s->runs[first + i];
        r.buffer.resize(kReadBuffer);
        int c = reader_next(s, &r);
        if (c == 0) heap_push(s, static_cast<int>(i));
        else if (c != 100) return c;
    }
    s->advance = -1;
    return 0;
}

// The next entry of the merge: 0 with *out the reader holding it, 100 at
// the end.
int merge_next(Sort *s, int *out) {
    if (s->advance >= 0) {
        Reader &r = s->readers[static_cast<size_t>(s->advance)];
        int c = reader_next(s, &r);
        if (c == 0) heap_push(s, s->advance);
        else if (c != 100) return c;
        s->advance = -1;
    }
    if (s->heap.empty()) return 100;
    int top = heap_pop(s);
    s->advance = top;
    *out = top;
    return 0;
}

// Merges groups of neighbouring runs until one merge can read them all.
// Groups keep their order, so equal keys still come in the order added.
int reduce_runs(Sort *s) {
    while (static_cast<int64_t>(s->runs.size()) > s->fan_in) {
        if (canceled(s)) return fail(s, 7, "");
        if (expired(s)) return fail(s, 6, "");
        const int source = s->file;
        const int target = 1 - source;
        RunFile *out = &s->files[target];
        if (int r = open_file(s, out)) return r;
        std::vector<Run> merged;
        for (size_t first = 0; first < s->runs.size(); first += static_cast<size_t>(s->fan_in)) {
            size_t count = std::min(static_cast<size_t>(s->fan_in), s->runs.size() - first);
            if (int r = start_merge(s, first, count)) return r;
            Run run{target, out->size, 0};
            std::vector<uint8_t> last;
            bool have_last = false;
            int reader;
            int c;
            while ((c = merge_next(s, &reader)) == 0) {
                const Reader &rd = s->readers[static_cast<size_t>(reader)];
                if (s->options.unique) {
                    if (have_last && compare_keys(last.data(), last.size(), rd.entry + kHeader, rd.key_length) == 0)
                        continue;
                    last.assign(rd.entry + kHeader, rd.entry + kHeader + rd.key_length);
                    have_last = true;
                }
                if (int r = file_append(s, out, rd.entry, kHeader + rd.key_length + rd.payload_length)) return r;
            }
            if (c != 100) return c;
            if (int r = flush_pending(s, out)) return r;
            run.length = out->size - run.offset;
            merged.push_back(run);
        }
        s->readers.clear();
        s->heap.clear();
        close_file(&s->files[source]);
        s->runs.swap(merged);
        s->file = target;
    }
    return 0;
}

void close_all(Sort *s) {
    close_file(&s->files[0]);
    close_file(&s->files[1]);
    give_back(s->arena);
    give_back(s->items);
    give_back(s->scratch);
    give_back(s->readers);
    give_back(s->heap);
}

// The pool's release callback: the record goes with its pool.
void release_with_pool(void *arg) {
    auto *s = static_cast<Sort *>(arg);
    close_all(s);
    delete s;
}

}  // namespace

int64_t sort_memory_budget(int64_t requested) {
    if (requested <= 0) requested = kSortDefaultBudget;
    return std::clamp(requested, kMinBudget, kMaxBudget);
}

Sort *sort_start(CvPool *pool, const SortOptions *options) {
    Sort *s = new (std::nothrow) Sort;
    if (!s) return nullptr;
    s->pool = pool;
    if (options) s->options = *options;
    s->budget = sort_memory_budget(s->options.budget);
    s->fan_in = std::clamp(s->budget / static_cast<int64_t>(kReadBuffer), kMinFanIn, kMaxFanIn);
    try {
        s->directory = work_directory(s->options.directory);
    } catch (...) {
        delete s;
        return nullptr;
    }
    if (pool && !cv_mem_on_release(pool, release_with_pool, s)) {
        delete s;
        return nullptr;
    }
    return s;
}

int sort_add(Sort *s, const void *key, size_t key_length, const void *payload, size_t payload_length) {
    if (!s || s->finished || s->released) return 5;
    if (key_length > UINT32_MAX / 2 || payload_length > UINT32_MAX / 2) return fail(s, 2, "");
    try {
        const size_t n = kHeader + key_length + payload_length;
        // The arena, the items and the radix passes' copy of them, counted
        // by what they hold allocated; growth is clipped to the budget.
        auto held = [](size_t arena, size_t items) { return static_cast<int64_t>(arena + 2 * items * sizeof(Item)); };
        if (s->items.size() >= 2 && held(std::max(s->arena.capacity(), s->arena.size() + n),
                                         std::max(s->items.capacity(), s->items.size() + 1)) > s->budget)
            if (int r = flush_run(s)) return r;
        if (s->items.size() + 1 > s->items.capacity()) {
            const int64_t room = (s->budget - held(s->arena.capacity(), 0)) / static_cast<int64_t>(2 * sizeof(Item));
            size_t want = std::max<size_t>(s->items.capacity() * 2, kMinItems);
            if (static_cast<int64_t>(want) > room) want = room > 0 ? static_cast<size_t>(room) : 0;
            s->items.reserve(std::max(want, s->items.size() + 1));
        }
        if (s->arena.size() + n > s->arena.capacity()) {
            const int64_t room = s->budget - held(0, s->items.capacity());
            size_t want = std::max<size_t>(s->arena.capacity() * 2, kMinArena);
            if (static_cast<int64_t>(want) > room) want = room > 0 ? static_cast<size_t>(room) : 0;
            s->arena.reserve(std::max(want, s->arena.size() + n));
        }
        const size_t at = s->arena.size();
        Item it{prefix_of(static_cast<const uint8_t *>(key), key_length),
                static_cast<uint64_t>(at) << kLengthBits | std::min<uint64_t>(key_length, kLengthMask)};
        auto kl = static_cast<uint32_t>(key_length), pl = static_cast<uint32_t>(payload_length);
        s->arena.resize(at + n);
        uint8_t *e = s->arena.data() + at;
        std::memcpy(e, &kl, 4);
        std::memcpy(e + 4, &pl, 4);
        if (key_length) std::memcpy(e + kHeader, key, key_length);
        if (payload_length) std::memcpy(e + kHeader + key_length, payload, payload_length);
        s->items.push_back(it);
        return 0;
    } catch (const std::bad_alloc &) {
        return fail(s, 2, "");
    }
}

int sort_finish(Sort *s) {
    if (!s || s->released) return 5;
    if (s->finished) return 0;
    s->finished = true;
    try {
        if (s->runs.empty()) {
            if (canceled(s)) return fail(s, 7, "");
            if (expired(s)) return fail(s, 6, "");
            sort_items(s);
            s->from_memory = true;
            s->next_item = 0;
            return 0;
        }
        if (int r = flush_run(s)) return r;
        s->arena.shrink_to_fit();
        s->items.shrink_to_fit();
        give_back(s->scratch);
        if (int r = reduce_runs(s)) return r;
        s->from_memory = false;
        return start_merge(s, 0, s->runs.size());
    } catch (const std::bad_alloc &) {
        return fail(s, 2, "");
    }
}

int sort_fetch(Sort *s, const uint8_t **key, size_t *key_length, const uint8_t **payload, size_t *payload_length) {
    if (!s || !s->finished || s->released) return 5;
    auto give = [&]() {
        *key = s->cur_key;
        *key_length = s->cur_key_length;
        *payload = s->cur_payload;
        *payload_length = s->cur_payload_length;
        return 0;
    };
    if (s->pushed) {
        s->pushed = false;
        return give();
    }
    try {
        for (;;) {
            if ((++s->fetched & 1023) == 0) {
                if (canceled(s)) return fail(s, 7, "");
                if (expired(s)) return fail(s, 6, "");
            }
            const uint8_t *e;
            uint32_t kl, pl;
            if (s->from_memory) {
                if (s->next_item >= s->items.size()) return 100;
                // Entries are read in key order, scattered over the arena.
                if (s->next_item + kPrefetchAhead < s->items.size())
                    __builtin_prefetch(entry_at(s, s->items[s->next_item + kPrefetchAhead]));
                e = entry_at(s, s->items[s->next_item++]);
                entry_parts(e, &kl, &pl);
            } else {
                int reader;
                int c = merge_next(s, &reader);
                if (c != 0) return c;
                const Reader &rd = s->readers[static_cast<size_t>(reader)];
                e = rd.entry;
                kl = rd.key_length;
                pl = rd.payload_length;
            }
            if (s->options.unique) {
                if (s->have_last && compare_keys(s->last_key.data(), s->last_key.size(), e + kHeader, kl) == 0)
                    continue;
                s->last_key.assign(e + kHeader, e + kHeader + kl);
                s->have_last = true;
            }
            s->cur_key = e + kHeader;
            s->cur_key_length = kl;
            s->cur_payload = e + kHeader + kl;
            s->cur_payload_length = pl;
            return give();
        }
    } catch (const std::bad_alloc &) {
        return fail(s, 2, "");
    }
}

void sort_push_back(Sort *s) {
    if (s && s->cur_key) s->pushed = true;
}

const char *sort_error(const Sort *s) { return s && !s->error.empty() ? s->error.c_str() : "error in sort routine"; }

void sort_release(Sort *s) {
    if (!s || s->released) return;
    s->released = true;
    close_all(s);
    if (!s->pool) delete s;  // else it goes with the pool
}

int64_t sort_runs(const Sort *s) { return s ? s->runs_written : 0; }
int64_t sort_memory(const Sort *s) {
    return s ? static_cast<int64_t>(s->arena.capacity() + (s->items.capacity() + s->scratch.capacity()) * sizeof(Item))
             : 0;
}
bool sort_spilled(const Sort *s) { return s && s->spilled; }
int64_t sort_open_files() { return g_open_files.load(); }
