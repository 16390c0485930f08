// Row changes on PayPal tables (sqi/row_changes.cpp).
//
// Exports: SQIFetch, SQIInsertRow, SQIDeleteRow, SQIUpdateRow, the DDL
// refusals, paypal_request_id, paypal_json_value, paypal_change_body.
#pragma once

#include <string>

#include "dal/provider.h"

struct PaypalTable;
struct PaypalColumn;
struct json_t;

/// A fresh PayPal-Request-Id (random, UUID form); empty when no random
/// bytes could be had.
[[nodiscard]] std::string paypal_request_id();

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
