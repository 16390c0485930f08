// Catalogue result sets as the statement layer fetches them: a catalogue
// call run through the connection's DAL, its rows read and ordered
// (dal/catalog_listing.h), served to a rowset as engine values.
//
// Lifetimes: the result lives in the pool given to catalog_result_run and
// goes when that pool is released (its DAL iterator is closed then). The
// values handed to the rowset point into the listing's texts; they stay
// valid until the next row is asked for.
//
// Exports: CatalogResult, catalog_result_run, catalog_result_source.
#pragma once

#include <cstdint>

#include "dal/catalog_listing.h"
#include "query/rowset.h"

struct CvPool;
struct CatalogResult;

/// Runs `call` (the result set `def`) on a new DAL iterator of `dal` whose
/// diagnostics go to `dal_handle`, and reads every row, keeping at most
/// `max_rows` (0: all). Returns 0, 1 (information) or -1 (posted on
/// `dal_handle`; HY001 when memory runs out). *out is set on 0 and 1.
[[nodiscard]] int catalog_result_run(CvPool *pool, void *dal_handle, DalRecord *dal, const CatalogCall *call,
                                     const CatalogResultDef *def, int64_t max_rows, CatalogResult **out);

/// The rowset source that delivers the result's rows from the first.
[[nodiscard]] RowSource catalog_result_source(CatalogResult *result);
