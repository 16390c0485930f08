// PayPal's actions as procedures: what each sends and what its result rows
// are read from (procedure_table.cpp), running one (procedure_run.cpp) and
// listing them (procedure_listings.cpp).
//
// A procedure's arguments reach SQIRunProcedure as texts the engine already
// checked against the parameter's type (query/call_arguments.h): decimals
// in plain digits, bits "true" or "false", dates "YYYY-MM-DD". A null
// pointer is an argument left out (its default is sent, if it has one), a
// NULL value sends nothing either.
//
// Exports: ProcedureResult, PaypalProcedure, kPaypalProcedures,
// kPaypalProcedureCount, paypal_find_procedure, paypal_procedure_of,
// SQIGetProcedureInfo, SQIRunProcedure, SQIProcedures, SQIProcedureColumns.
#pragma once

#include <cstdint>
#include <string_view>

#include "dal/provider.h"

// Where a procedure's result row is read from.
enum class ProcedureResult : int32_t {
    kReply = 1,     // the POST's own reply (the object the action made)
    kReadBack = 2,  // the changed object read again with one GET: the
                    // action answers 204 or only a link
};

struct PaypalProcedure {
    ProcedureInfo info;               // name, parameters, result columns
    const char *path;                 // POST path; "%s" takes the key parameter's text
    int32_t key_param;                // 0-based parameter in the path, -1 none
    const char *const *body_paths;    // per parameter: where its value goes in the body,
                                      // members joined by ',', '#' the one element of
                                      // an array, several places joined by ';'; null: not in the body
    int32_t sends_body;               // 1: a JSON body (at least "{}"), 0: none
    ProcedureResult result;
    const char *read_path;            // kReadBack: GET path, "%s" the object's id
    const char *id_member;            // kReadBack after a create: the reply member (or
                                      // "href" link) naming the new object; null: the key
    const char *const *column_paths;  // per result column: its member in the object
    int32_t repeatable;               // PayPal's description declares PayPal-Request-Id: a
                                      // resend after a lost reply is applied once
    int32_t prefer_representation;    // sends "Prefer: return=representation"
};

extern const PaypalProcedure kPaypalProcedures[];
extern const int kPaypalProcedureCount;

/// The procedure named `name` (case-insensitive), or null.
[[nodiscard]] const PaypalProcedure *paypal_find_procedure(std::string_view name);
/// The table entry of one of our ProcedureInfo records, or null.
[[nodiscard]] const PaypalProcedure *paypal_procedure_of(const ProcedureInfo *info);

/// DAL_OK with *out, or DAL_NOT_MINE.
int SQIGetProcedureInfo(void *owner, void *env, DalText procedure, const ProcedureInfo **out);
/// Sends the action's POST (with its own PayPal-Request-Id) and leaves its
/// result row on the iterator. DAL_OK, or DAL_ERROR after posting the
/// transport's failure or PayPal's error reply (its issue and message).
int SQIRunProcedure(void *it, const ProcedureInfo *procedure, int count, Value *const *arguments);
int SQIProcedures(void *it, DalText catalog, DalText schema, DalText procedure);
int SQIProcedureColumns(void *it, DalText catalog, DalText schema, DalText procedure, DalText column);
