// Row work files: fixed-length records behind a small cache, and a side
// store for values too long for their record.
//
// Records are numbered from 0; record r lives at byte r × L of the file
// (64-bit offsets). The N most recently used records stay in a cache (slot
// r mod N, written back when another record claims the slot), and the file
// itself is created only when the first record must leave the cache, so
// small results never touch the disk. Reads and writes address a byte range
// inside one record: a range that passes the record's end is refused.
//
// The side store holds byte strings of any length (long text, long binary,
// text longer than its slot); append gives the 64-bit position to read them
// back from. It keeps its first MiB in memory and spills to its own file.
//
// Files are made in the work directory given (else $TMPDIR, else /tmp),
// mode 0600, unnamed (O_TMPFILE, else mkstemp and an immediate unlink), so
// they vanish when closed or when the process ends.
//
// Exports: WorkFile, work_file_create, work_file_close, work_file_write,
// work_file_read, work_file_records, work_file_on_disk, work_file_error,
// work_side_append, work_side_read, work_directory, kDefaultWorkCache.
#pragma once

#include <cstddef>
#include <cstdint>

struct CvPool;
struct WorkFile;

inline constexpr int kDefaultWorkCache = 30;

/// Makes a work file of `record_length`-byte records (1 or more) with
/// `cache_records` cache slots (<= 0: kDefaultWorkCache) in `pool`; the file
/// goes when the pool is released or on work_file_close. `directory` may be
/// null or empty. Null when memory runs out or the arguments are bad.
[[nodiscard]] WorkFile *work_file_create(CvPool *pool, size_t record_length, int cache_records,
                                         const char *directory);

/// Closes the files and frees the cache. Null is ignored.
void work_file_close(WorkFile *file);

/// Writes `n` bytes at `offset` of record `record` (a record may be written
/// any number of times; records need not be written in order). 0, or -1
/// (work_file_error tells why).
[[nodiscard]] int work_file_write(WorkFile *file, int64_t record, size_t offset, const void *data, size_t n);

/// Reads `n` bytes at `offset` of a record written before. 0, or -1.
[[nodiscard]] int work_file_read(WorkFile *file, int64_t record, size_t offset, void *out, size_t n);

/// One more than the highest record written.
[[nodiscard]] int64_t work_file_records(const WorkFile *file);

/// True once the file exists on disk.
[[nodiscard]] bool work_file_on_disk(const WorkFile *file);

/// The last failure: its operation ("rs_file_write", ...), text and errno.
[[nodiscard]] const char *work_file_error(const WorkFile *file, const char **operation, int *code);

/// Appends bytes to the side store; the position to read them back from,
/// or -1.
[[nodiscard]] int64_t work_side_append(WorkFile *file, const void *data, size_t n);

/// Reads `n` bytes at `position` of the side store. 0, or -1.
[[nodiscard]] int work_side_read(WorkFile *file, int64_t position, void *out, size_t n);

/// The directory work files go to for the configured value (null or empty:
/// $TMPDIR, else /tmp).
[[nodiscard]] const char *work_directory(const char *configured);
