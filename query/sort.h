// The external merge sort under ORDER BY, DISTINCT, GROUP BY and UNION.
//
// Entries are a key (bytes compared with memcmp, see sort_record.h) and a
// payload carried with it (the whole row, long values included, so nothing
// is read again from a provider). Entries collect in memory up to the
// memory budget; each full buffer is sorted (stable) and written as a run to
// an unnamed work file (mode 0600, gone when closed or when the process
// ends). Finishing merges the runs with a heap (equal keys come from the
// earliest run first, so the sort is stable) reading each run through its
// own buffer; with more runs than one merge can read at once, groups of
// neighbouring runs are merged first. Below the budget no file is made.
//
// Unique mode drops every entry whose key equals the previous entry's.
//
// Return codes: 0, 100 (no more entries), 2 out of memory, 5 I/O error,
// 6 the statement's deadline passed, 7 the statement was cancelled; the
// error text tells more.
//
// Exports: SortOptions, Sort, sort_start, sort_add, sort_finish,
// sort_fetch, sort_push_back, sort_error, sort_release, sort_memory_budget,
// sort_runs, sort_spilled, sort_memory, sort_open_files, kSortDefaultBudget.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>

struct CvPool;
struct Sort;

inline constexpr int64_t kSortDefaultBudget = 30 * 1024 * 1024;

struct SortOptions {
    int64_t budget;            // bytes; <= 0: kSortDefaultBudget
    int32_t unique;            // drop entries with equal keys
    const char *directory;     // work directory (null: $TMPDIR or /tmp)
    time_t deadline;           // 0: none
    const std::atomic<int32_t> *cancel;  // SQLCancel's flag: code 7 when set; may be null
};

/// The budget a sort uses for `requested` bytes (<= 0: the default), kept
/// between 1 KiB and 1 TiB. Each connection's setting applies to its own
/// statements only.
[[nodiscard]] int64_t sort_memory_budget(int64_t requested);

/// A new sort, released with sort_release or with `pool`. Null when memory
/// runs out.
[[nodiscard]] Sort *sort_start(CvPool *pool, const SortOptions *options);

/// Adds an entry. 0, 2, 5 or 6.
[[nodiscard]] int sort_add(Sort *sort, const void *key, size_t key_length, const void *payload,
                           size_t payload_length);

/// Ends the adding; entries can be fetched after it. 0, 2, 5 or 6.
[[nodiscard]] int sort_finish(Sort *sort);

/// The next entry (pointers valid until the next call). 0, 100, 2, 5 or 6.
[[nodiscard]] int sort_fetch(Sort *sort, const uint8_t **key, size_t *key_length, const uint8_t **payload,
                             size_t *payload_length);

/// The next sort_fetch returns the entry last fetched again.
void sort_push_back(Sort *sort);

[[nodiscard]] const char *sort_error(const Sort *sort);

/// Closes the files and frees everything. Null is ignored; idempotent.
void sort_release(Sort *sort);

/// Runs written so far, and whether any file was made.
[[nodiscard]] int64_t sort_runs(const Sort *sort);
[[nodiscard]] bool sort_spilled(const Sort *sort);
/// Bytes the entry buffer holds allocated now (within the budget but for
/// an entry larger than it).
[[nodiscard]] int64_t sort_memory(const Sort *sort);
/// Work files of sorts open in this process now (for tests).
[[nodiscard]] int64_t sort_open_files();
