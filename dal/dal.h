// The data access layer as the ODBC layer reaches it.
//
// A connection owns one DalRecord, made when the connection is allocated and
// freed with it. Return codes are the provider codes: 0 success, 1 success
// with information, 2 no data, 3 error with diagnostics posted, 4 not this
// provider's object.
//
// Exports: DalRecord, DALCreate, DALFree, DALStartTransaction,
// DALEndTransaction.
#pragma once

struct DBC;
struct DalRecord;

/// Makes the connection's empty DAL record (no providers yet) in the
/// connection's pool. Returns 0, or 3 when memory is exhausted.
[[nodiscard]] int DALCreate(DBC *dbc, DalRecord **out, const char *name);

/// Closes whatever the record still has open and frees it. Null is ignored.
void DALFree(DalRecord *dal);

/// Starts a transaction in every provider that keeps one.
[[nodiscard]] int DALStartTransaction(DalRecord *dal);

/// Ends the transaction: `completion` SQL_COMMIT (0) or SQL_ROLLBACK (1).
[[nodiscard]] int DALEndTransaction(DalRecord *dal, int completion);
