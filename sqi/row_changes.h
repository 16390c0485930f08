// Row changes on PayPal tables (sqi/row_changes.cpp).
//
// Exports: SQIFetch, SQIInsertRow, SQIDeleteRow, SQIUpdateRow, the DDL
// refusals, paypal_request_id, paypal_identify_change, paypal_change_exchange,
// paypal_json_value, paypal_change_body.
#pragma once

#include <string>

#include "dal/provider.h"
#include "transport/transport.h"

struct PaypalTable;
struct PaypalColumn;
struct json_t;
struct PaypalIterator;
struct WebRequest;

/// A fresh PayPal-Request-Id (random, UUID form); empty when no random
/// bytes could be had.
[[nodiscard]] std::string paypal_request_id();

/// Gives a change its own PayPal-Request-Id. `repeatable`: the API applies
/// a repeated id once (its published description declares the header), so
/// the transport may send the change again after a lost reply; otherwise a
/// lost reply is reported as a change that may have been applied. DAL_OK,
/// or DAL_ERROR (posted).
[[nodiscard]] int paypal_identify_change(PaypalIterator *it, WebRequest *req, bool repeatable);

/// Sends a change (its diagnostics, time limit and cancel flag those of the
/// iterator's statement) and reads the reply: DAL_OK with a 2xx reply in
/// `resp`, or DAL_ERROR after posting the transport's failure or PayPal's
/// error reply (its name, message and first detail).
[[nodiscard]] int paypal_change_exchange(PaypalIterator *it, WebRequest *req, WebResponsePtr &resp);

/// The JSON a column's value is sent as (null, boolean, integer, parsed
/// object or array, else a string). 0, or -1 with `error` set.
[[nodiscard]] int paypal_json_value(const PaypalColumn *column, const Value *value, json_t **out, std::string &error);

/// The POST body of one new row from its value entries. 0 with *out (a new
/// reference), or -1 with `error` set.
[[nodiscard]] int paypal_change_body(const PaypalTable *table, int count, const Restriction *values, json_t **out,
                                     std::string &error);

int SQIFetch(void *it, TableInfo *table, void *reserved, int key_count, Restriction *keys);
int SQIInsertRow(void *it, TableInfo *table, int count, void *reserved, Restriction *values, void *reserved2);
int SQIDeleteRow(void *it, TableInfo *table, int key_count, void *reserved, Restriction *keys);
int SQIUpdateRow(void *it, TableInfo *table, int key_count, void *reserved, int set_count, void *reserved2,
                 Restriction *keys, Restriction *sets);
int SQICreateTable(void *it, TableInfo *table, const Node *definition);
int SQIDropTable(void *it, TableInfo *table);
int SQICreateIndex(void *it, TableInfo *table, const Node *index);
int SQIDropIndex(void *it, TableInfo *table, const Node *index);
int SQIGrant(void *it, TableInfo *table, const Node *privileges);
int SQIRevoke(void *it, TableInfo *table, const Node *privileges);
int SQIDropColumn(void *it, TableInfo *table, const Node *column);
int SQIAddColumn(void *it, TableInfo *table, int count, const ListNode *columns);
