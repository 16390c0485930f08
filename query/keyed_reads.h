// A table read by key for each outer row: the inner table of a join whose
// restrictions take a key from the outer rows (the leading column of a
// unique index, or the column without which its provider refuses a scan,
// SQI_INFO_REQUIRED_KEY). Its scan is opened with the outer rows' values;
// the rows of each read are kept for the execution (the last
// kKeyedReadsKept reads, within work_mem_size), so an outer key met again
// (an invoice for each of its items, a parent several rows refer to) costs
// no second request.
//
// A read is known by the values of every restriction offered for it (whole
// values, as payloads): the same values ask the provider the same question.
//
// Lifetime: made in the plan's pool, freed with it; the rows kept are
// forgotten when the plan is opened again.
//
// Exports: kKeyedReadsKept, KeyedReads, keyed_reads_create, keyed_reads_reset,
// keyed_reads_open, keyed_reads_fetch.
#pragma once

#include <cstddef>

#include "query/evaluate.h"

inline constexpr size_t kKeyedReadsKept = 256;

struct KeyedReads;

/// The keyed reads of scan `index` of `plan`. Raises HY001.
[[nodiscard]] KeyedReads *keyed_reads_create(ExecPlan *plan, int index, EvalContext *context);

/// Forgets the reads kept (the plan is opened again).
void keyed_reads_reset(KeyedReads *reads);

/// Positions before the rows for the current outer rows: those kept for the
/// same restriction values, else read now through the scan (all of them).
void keyed_reads_open(ExecPlan *plan, KeyedReads *reads, EvalContext *context);

/// The next of those rows into the scan's values: 0, or 100 at their end.
[[nodiscard]] int keyed_reads_fetch(ExecPlan *plan, KeyedReads *reads, EvalContext *context);
