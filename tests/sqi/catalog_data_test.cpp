// The generated catalogue against the documented table list: order, counts,
// endpoints, flags, list and sub keys, keys and filters, types, and the JSON
// paths that follow PayPal's published replies.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "sqi/catalog.h"

namespace {

struct TableRow {
    const char *name;
    const char *endpoint;
    int columns;
    uint32_t flags;
    const char *list_key;  // null: none
    const char *sub_key;
    int keys;  // primary-key columns (0: the first column is no key)
    PagingStyle paging;
};

constexpr PagingStyle kOne = PagingStyle::kNone, kPages = PagingStyle::kPageNumbers;

const TableRow kTables[] = {
    {"AuthorizationDetails", "v2/payments/authorizations", 11, 0x118000, "details", nullptr, 1,
     kOne},
    {"CapturenDetails", "v2/payments/captures", 25, 0x118000, "details", nullptr, 1, kOne},
    {"OrderDetails", "v2/checkout/orders", 9, 0x958020, "details", nullptr, 1, kOne},
    {"RefundDetails", "v2/payments/refunds", 17, 0x18000, "details", nullptr, 1, kOne},
    {"SaleDetails", "v1/payments/sale", 40, 0x18000, "details", nullptr, 1, kOne},
    {"Subscriptions", "v1/billing/subscriptions", 45, 0x18000, "details", nullptr, 1, kOne},
    {"SubscriptionTransactions", "v1/billing/subscriptions/%s/transactions", 25, 0x10100, nullptr,
     "transactions", 1, kOne},
    {"OrderItems", "v2/checkout/orders", 36, 0x111000, "purchase_units", nullptr, 1, kOne},
    {"Payments", "v1/payments/payment", 44, 0x0, "payments", nullptr, 1, PagingStyle::kStartId},
    {"PaymentTransactions", "v1/payments/payment", 72, 0x100, "payments", "transactions", 1,
     PagingStyle::kStartId},
    {"Balances", "v1/reporting/balances", 12, 0x0, "balances", nullptr, 1, kOne},
    {"Plans", "v1/billing/plans", 19, 0x842000, "plans", nullptr, 1, kPages},
    {"PlansNoPrefer", "v1/billing/plans", 7, 0x0, "plans", nullptr, 1, kPages},
    {"PlansBillingCycles", "v1/billing/plans", 30, 0x2100, "plans", "billing_cycles", 2, kPages},
    {"UserInfo", "v1/identity/oauth2/userinfo", 10, 0xc000, nullptr, nullptr, 1, kOne},
    {"Webhooks", "v1/notifications/webhooks", 3, 0xe0020, "webhooks", nullptr, 1, kOne},
    {"WebhooksEvents", "v1/notifications/webhooks", 6, 0xe0100, "webhooks", "event_types", 0, kOne},
    {"BatchPayout", "v1/payments/payouts", 15, 0x858000, "items", nullptr, 1, kOne},
    {"BatchPayoutItems", "v1/payments/payouts", 41, 0x11000, "items", nullptr, 1, kPages},
    {"PayoutsItem", "v1/payments/payouts-item", 27, 0x18000, "items", nullptr, 1, kOne},
    {"Invoices", "v2/invoicing/invoices", 67, 0x20000, "items", nullptr, 1, kPages},
    {"InvoiceItems", "v2/invoicing/invoices", 81, 0x11000, "items", nullptr, 3, kOne},
    {"InvoiceDetailAttachments", "v2/invoicing/invoices", 71, 0x11000, "detail,attachments",
     nullptr, 2, kOne},
    {"InvoiceInvoicerPhones", "v2/invoicing/invoices", 70, 0x11000, "invoicer,phones", nullptr, 0,
     kOne},
    {"InvoicePrimaryRecipients", "v2/invoicing/invoices", 92, 0x11000, "primary_recipients",
     nullptr, 0, kOne},
    {"InvoiceAdditionalRecipients", "v2/invoicing/invoices", 67, 0x11000, "additional_recipients",
     nullptr, 0, kOne},
    {"InvoicePaymentsTransactions", "v2/invoicing/invoices", 70, 0x11000, "payments,transactions",
     nullptr, 1, kOne},
    {"InvoiceRefundsTransactions", "v2/invoicing/invoices", 72, 0x11000, "refunds,transactions",
     nullptr, 1, kOne},
    {"Disputes", "v1/customer/disputes", 14, 0x100000, "items", nullptr, 1, PagingStyle::kNextLink},
    {"DisputeDetails", "v1/customer/disputes", 26, 0x118000, "items", nullptr, 1, kOne},
    {"DisputesTransactions", "v1/customer/disputes", 39, 0x118100, "items", "disputed_transactions",
     1, kOne},
    {"CreditCards", "v1/vault/credit-cards", 17, 0xe0020, "items", nullptr, 1, kPages},
    {"Transactions", "v1/reporting/transactions", 86, 0x0, "transaction_details", nullptr, 0, kPages},
    {"TransactionItems", "v1/reporting/transactions", 31, 0x100, "transaction_details",
     "cart_info,item_details", 0, kPages},
    {"Products", "v1/catalogs/products", 9, 0x960000, "products", nullptr, 1, kPages},
};
static_assert(std::size(kTables) == kPaypalTableCount);

std::string text_or_null(const char *t) {
    return t ? t : "<null>";
}

TEST(CatalogDataTest, TablesInCatalogueOrderWithTheirShape) {
    for (int i = 0; i < kPaypalTableCount; i++) {
        const TableRow &want = kTables[i];
        const PaypalTable &t = kPaypalTables[i];
        SCOPED_TRACE(want.name);
        EXPECT_STREQ(t.name, want.name);
        EXPECT_STREQ(t.endpoint, want.endpoint);
        EXPECT_EQ(t.column_count, want.columns);
        EXPECT_EQ(t.flags, want.flags);
        EXPECT_EQ(text_or_null(t.list_key), text_or_null(want.list_key));
        EXPECT_EQ(text_or_null(t.sub_key), text_or_null(want.sub_key));
        EXPECT_EQ(paypal_key_count(&t), want.keys);
        EXPECT_EQ(t.paging, want.paging);
        EXPECT_EQ(t.columns[t.column_count].name, nullptr) << "column list ends with a null name";
    }
    EXPECT_EQ(kPaypalTables[kPaypalTableCount].name, nullptr);
}

// Structural rules every table must keep, whatever its columns are.
TEST(CatalogDataTest, EveryColumnIsConsistent) {
    const std::set<std::string> json_types = {"string",  "decimal", "datetime", "boolean",
                                              "integer", "array",   "object"};
    for (int i = 0; i < kPaypalTableCount; i++) {
        const PaypalTable &t = kPaypalTables[i];
        std::set<std::string> names;
        int path_keys = 0;
        for (int c = 0; c < t.column_count; c++) {
            const PaypalColumn &col = t.columns[c];
            SCOPED_TRACE(std::string(t.name) + "." + col.name);
            std::string lower(col.name);
            for (char &ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            EXPECT_TRUE(names.insert(lower).second) << "duplicate column name";
            EXPECT_TRUE(json_types.count(col.json_type));
            // The split members join back to the path text.
            std::string joined;
            for (int m = 0; m < col.path_depth; m++)
                joined += (m ? "," : "") + std::string(col.path_members[m]);
            EXPECT_EQ(joined, col.json_path);
            EXPECT_EQ(col.path_members[col.path_depth], nullptr);
            if (col.sql_type == 12) {
                EXPECT_GT(col.size, 0);
            }
            if (col.flags & kColumnChild) {
                EXPECT_TRUE(t.flags & kTableChildRows) << "child column outside a child table";
            }
            if (paypal_filter_kind(&col) != 0) {
                EXPECT_NE(col.parameter, nullptr) << "a pushed filter needs a parameter";
            }
            if (col.parameter_values) {
                // A default is sent and echoed: only a remembering filter
                // can carry one, and it must have something to send.
                EXPECT_NE(paypal_filter_kind(&col) & (kColumnRemember1 | kColumnRemember2 | kColumnRemember3), 0u);
                EXPECT_NE(col.parameter_values[0], nullptr);
            }
            if (col.flags & kColumnMandatory) {
                EXPECT_NE(paypal_filter_kind(&col) & (kColumnLower | kColumnUpper | kColumnThird),
                          0u);
            }
            if (col.flags & kColumnPathKey) path_keys++;
        }
        if (t.flags & (kTableKeyRequired | kTableKeyOptional)) {
            EXPECT_EQ(path_keys, 1) << t.name;
        }
        if (t.list_key) {
            std::string joined;
            for (int m = 0; m < t.list_depth; m++)
                joined += (m ? "," : "") + std::string(t.list_members[m]);
            EXPECT_EQ(joined, t.list_key);
        }
    }
}

struct ColumnRow {
    const char *table, *column;
    int sql_type, size;
    uint64_t flags;
    const char *json_path, *parameter, *json_type;
};

// Columns of every kind, and the paths that read PayPal's published members.
const ColumnRow kColumns[] = {
    {"AuthorizationDetails", "AuthorisationId", 12, 30, 0x10001, "id", "authorization_id",
     "string"},
    {"AuthorizationDetails", "SellerProtectionDisputeCategories", -1, 0, 0x40,
     "seller_protection,dispute_categories", nullptr, "array"},
    {"CapturenDetails", "FinalCapture", -6, 0, 0, "final_capture", nullptr, "boolean"},
    {"CapturenDetails", "SellerReceivableBreakdownExchangeRateValue", 2, 15, 0,
     "seller_receivable_breakdown,exchange_rate,value", nullptr, "decimal"},
    {"OrderDetails", "PayerPayerIds", 12, 13, 0, "payer,payer_id", nullptr, "string"},
    {"OrderDetails", "PaymentSource", -1, 0, 0x80, "payment_source", nullptr, "object"},
    {"SaleDetails", "AmountValue", 2, 6, 0, "amount,total", nullptr, "decimal"},
    {"SaleDetails", "AmountCurrencyCode", 12, 3, 0, "amount,currency", nullptr, "string"},
    {"SaleDetails", "AmountDetailGiftWrap", 2, 2, 0, "amount,details,gift_wrap", nullptr,
     "decimal"},
    // The subscriber's name is an object of given name and surname: its JSON text.
    {"Subscriptions", "Name", 12, 320, 0, "subscriber,name", nullptr, "string"},
    {"Subscriptions", "BillingInfoOutstandingValueFinalPaymentTime", 11, 0, 0,
     "billing_info,final_payment_time", nullptr, "datetime"},
    {"Subscriptions", "BillingInfoOutstandingValueFailedPaymentsCount", 4, 0, 0,
     "billing_info,failed_payments_count", nullptr, "integer"},
    {"SubscriptionTransactions", "Id", 12, 26, 0x11001, "id", nullptr, "string"},
    {"SubscriptionTransactions", "StartTime", 11, 0, 0x16, "start_time", "start_time", "datetime"},
    {"SubscriptionTransactions", "EndTime", 11, 0, 0x1a, "end_time", "end_time", "datetime"},
    {"SubscriptionTransactions", "TransactionTime", 11, 0, 0x100, "time", nullptr, "datetime"},
    {"OrderItems", "PurchaseUnitsShippingAddressAddressCity", 12, 64, 0,
     "shipping,address,admin_area_2", nullptr, "string"},
    {"Payments", "CreateTime", 11, 0, 0, "create_time", nullptr, "string"},
    {"PaymentTransactions", "Id", 12, 30, 0x10001, "id", nullptr, "string"},
    {"PaymentTransactions", "TransactionItemListsShippingAddressRecipientName", 12, 127, 0x100,
     "item_list,shipping_address,recipient_name", nullptr, "string"},
    {"PaymentTransactions", "TransactionRelatedResources", -1, 0, 0x140, "related_resources",
     nullptr, "string"},
    {"Balances", "Currency", 12, 3, 0x11, "currency", "currency_code", "string"},
    {"Balances", "AsOfTime", 11, 0, 0x1210, "as_of_time", "as_of_time", "datetime"},
    {"Balances", "ServedAsOfTime", 11, 0, 0x1000, "as_of_time", nullptr, "datetime"},
    {"Plans", "Id", 12, 50, 0x11, "id", "plan_ids", "string"},
    {"PlansBillingCycles", "BillingCycleSequence", 4, 0, 0x101, "sequence", nullptr, "integer"},
    {"PlansBillingCycles", "BillingCyclePricingSchemeFixedPriceValue", 2, 6, 0x100,
     "pricing_scheme,fixed_price,value", nullptr, "decimal"},
    {"WebhooksEvents", "Id", 12, 50, 0x10000, "id", nullptr, "string"},
    {"BatchPayout", "BatchHeaderAmountCurrencyCode", 12, 3, 0x1000, "batch_header,amount,currency",
     nullptr, "string"},
    {"BatchPayoutItems", "PayoutBatchId", 12, 30, 0x11001, "batch_header,payout_batch_id", nullptr,
     "string"},
    {"BatchPayoutItems", "BatchItemTimeProcessed", 11, 0, 0, "time_processed", nullptr, "string"},
    {"PayoutsItem", "PayoutsItemId", 12, 30, 0x10001, "payout_item_id", nullptr, "string"},
    {"Invoices", "InvoicerWebsite", 12, 2048, 0, "invoicer,website", nullptr, "string"},
    {"Invoices", "InvoicerPhones", 12, 1024, 0x40, "invoicer,phones", nullptr, "array"},
    {"Invoices", "DetailPaymentTermTermType", 12, 128, 0, "detail,payment_term,term_type", nullptr,
     "datetime"},
    {"Invoices", "AmountBreakdownDiscountTaxTotalValue", 2, 6, 0,
     "amount,breakdown,tax_total,value", nullptr, "decimal"},
    {"InvoiceItems", "ItemUnitOfMeasure", 12, 25, 0x1, "unit_of_measure", nullptr, "string"},
    {"InvoiceRefundsTransactions", "RefundsPaidAmmountValue", 2, 6, 0x1000,
     "refunds,refund_amount,value", nullptr, "decimal"},
    {"InvoiceAdditionalRecipients", "AdditionalRecipientsEmailAddress", 12, 254, 0, "", nullptr,
     "string"},
    {"InvoicePrimaryRecipients", "PrimaryRecipientsShippingInfoAddressAddressDetailStreetName", 12,
     100, 0, "shipping_info,address,address_details,street_name", nullptr, "string"},
    {"Disputes", "DisputeId", 12, 30, 0x1, "dispute_id", nullptr, "string"},
    // Sizes fit the longest values PayPal publishes (see sqi/CATALOGUE_NOTES.md).
    {"Disputes", "Reason", 12, 50, 0, "reason", nullptr, "string"},
    {"SaleDetails", "ProtectionEligibilityType", 12, 60, 0, "protection_eligibility_type", nullptr, "string"},
    {"Disputes", "UpdateTimeAfter", 11, 0, 0x200010, "update_time_after", "update_time_after",
     "datetime"},
    {"DisputesTransactions", "TransactionGrossAmountCurrencyCode", 12, 3, 0x100,
     "gross_amount,currency_code", nullptr, "string"},
    {"CreditCards", "MerchantId", 12, 256, 0x210, "merchant_id", "merchant_id", "string"},
    {"CreditCards", "ExternalCustomerId", 12, 256, 0x810, "external_customer_id",
     "external_customer_id", "string"},
    {"Transactions", "TransactionInitiationDate", 11, 0, 0,
     "transaction_info,transaction_initiation_date", nullptr, "datetime"},
    {"Transactions", "FeeAmountValue", 2, 6, 0, "transaction_info,fee_amount,value", nullptr,
     "decimal"},
    {"Transactions", "PayerEmailAddress", 12, 254, 0, "payer_info,email_address", nullptr,
     "string"},
    {"Transactions", "ShippingSecondaryAddressCity", 12, 120, 0,
     "shipping_info,secondary_shipping_address,city", nullptr, "string"},
    {"TransactionItems", "TransactionInitiationDate", 11, 0, 0,
     "transaction_info,transaction_initiation_date", nullptr, "datetime"},
    {"TransactionItems", "ItemQuantity", 2, 5, 0x100, "item_quantity", nullptr, "decimal"},
    {"TransactionItems", "ItemUnitPriceValue", 2, 6, 0x100, "item_unit_price,value", nullptr,
     "decimal"},
    {"TransactionItems", "CartTaxInclusive", -6, 0, 0, "cart_info,tax_inclusive", nullptr,
     "boolean"},
    {"Products", "Category", 12, 64, 0, "category", nullptr, "string"},
    {"Products", "UpdateTime", 11, 0, 0, "update_time", nullptr, "datetime"},
};

TEST(CatalogDataTest, WindowedTablesPageByTheirOwnSize) {
    struct {
        const char *table;
        int page_size, window_days, history_years, sub_depth;
    } cases[] = {{"Transactions", 500, 31, 3, 0},
                 {"TransactionItems", 500, 31, 3, 2},
                 {"Products", 0, 0, 0, 0},
                 {"PlansBillingCycles", 0, 0, 0, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.table);
        const PaypalTable *t = paypal_find_table(c.table);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->page_size, c.page_size);
        EXPECT_EQ(t->window_days, c.window_days);
        EXPECT_EQ(t->history_years, c.history_years);
        EXPECT_EQ(t->sub_depth, c.sub_depth);
        std::string joined;
        for (int m = 0; m < t->sub_depth; m++) joined += (m ? "," : "") + std::string(t->sub_members[m]);
        EXPECT_EQ(joined, text_or_null(t->sub_key) == "<null>" ? "" : t->sub_key);
    }
}

TEST(CatalogDataTest, ColumnsReadTheirPublishedMembers) {
    for (const ColumnRow &want : kColumns) {
        SCOPED_TRACE(std::string(want.table) + "." + want.column);
        const PaypalTable *t = paypal_find_table(want.table);
        ASSERT_NE(t, nullptr);
        int i = paypal_find_column(t, want.column);
        ASSERT_GE(i, 0);
        const PaypalColumn &c = t->columns[i];
        EXPECT_EQ(c.sql_type, want.sql_type);
        EXPECT_EQ(c.size, want.size);
        EXPECT_EQ(c.flags, want.flags);
        EXPECT_STREQ(c.json_path, want.json_path);
        EXPECT_EQ(text_or_null(c.parameter), text_or_null(want.parameter));
        EXPECT_STREQ(c.json_type, want.json_type);
    }
}

struct ParameterRow {
    const char *table, *column;
    uint64_t flags;
    const char *parameter;
};

// Every column that is sent to the API, as a path key or as a query
// parameter, and nothing else.
const ParameterRow kParameters[] = {
    {"AuthorizationDetails", "AuthorisationId", 0x10001, "authorization_id"},
    {"CapturenDetails", "CaptureId", 0x10001, "capture_id"},
    {"OrderDetails", "Id", 0x10001, "id"},
    {"RefundDetails", "Id", 0x10001, "id"},
    {"SaleDetails", "Id", 0x10001, "id"},
    {"Subscriptions", "Id", 0x10001, "id"},
    {"SubscriptionTransactions", "Id", 0x11001, nullptr},
    {"SubscriptionTransactions", "StartTime", 0x16, "start_time"},
    {"SubscriptionTransactions", "EndTime", 0x1a, "end_time"},
    {"OrderItems", "Id", 0x11001, "id"},
    {"Payments", "StartTime", 0x16, "start_time"},
    {"Payments", "EndTime", 0x1a, "end_time"},
    {"PaymentTransactions", "StartTime", 0x16, "start_time"},
    {"PaymentTransactions", "EndTime", 0x1a, "end_time"},
    {"Balances", "Currency", 0x11, "currency_code"},
    {"Balances", "AsOfTime", 0x1210, "as_of_time"},
    {"Plans", "Id", 0x11, "plan_ids"},
    {"PlansNoPrefer", "Id", 0x11, "plan_ids"},
    {"PlansBillingCycles", "Id", 0x11, "plan_ids"},
    {"Webhooks", "Id", 0x10001, nullptr},
    {"WebhooksEvents", "Id", 0x10000, nullptr},
    {"BatchPayout", "PayoutBatchId", 0x11001, nullptr},
    {"BatchPayoutItems", "PayoutBatchId", 0x11001, nullptr},
    {"PayoutsItem", "PayoutsItemId", 0x10001, nullptr},
    {"Invoices", "Id", 0x10001, nullptr},
    {"Disputes", "StartTime", 0x16, "start_time"},
    {"Disputes", "UpdateTimeBefore", 0x18, "update_time_before"},
    {"Disputes", "UpdateTimeAfter", 0x200010, "update_time_after"},
    {"Disputes", "DisputeState", 0x10, "dispute_state"},
    {"DisputeDetails", "DisputeId", 0x10001, nullptr},
    {"DisputesTransactions", "DisputeId", 0x10001, nullptr},
    {"CreditCards", "Id", 0x10001, nullptr},
    {"CreditCards", "StartTime", 0x16, "start_time"},
    {"CreditCards", "EndTime", 0x1a, "end_time"},
    {"CreditCards", "MerchantId", 0x210, "merchant_id"},
    {"CreditCards", "ExternalCardId", 0x410, "external_card_id"},
    {"CreditCards", "ExternalCustomerId", 0x810, "external_customer_id"},
    {"Transactions", "TransactionId", 0x10, "transaction_id"},
    {"Transactions", "StartTime", 0x16, "start_date"},
    {"Transactions", "EndTime", 0x1a, "end_date"},
    {"Transactions", "TransactionEventCode", 0x10, "transaction_type"},
    {"Transactions", "TransactionAmountValue", 0x400000, "transaction_amount"},
    {"Transactions", "TransactionAmountCurrencyCode", 0x10, "transaction_currency"},
    {"Transactions", "TransactionStatus", 0x10, "transaction_status"},
    {"Transactions", "BalanceAffectingOnly", 0x210, "balance_affecting_records_only=N,Y"},
    {"TransactionItems", "TransactionId", 0x10, "transaction_id"},
    {"TransactionItems", "StartTime", 0x16, "start_date"},
    {"TransactionItems", "EndTime", 0x1a, "end_date"},
    {"TransactionItems", "TransactionEventCode", 0x10, "transaction_type"},
    {"TransactionItems", "TransactionStatus", 0x10, "transaction_status"},
    {"TransactionItems", "BalanceAffectingOnly", 0x210, "balance_affecting_records_only=N,Y"},
    {"Products", "Id", 0x10001, nullptr},
};

TEST(CatalogDataTest, KeysAndFiltersSentToTheApi) {
    constexpr uint64_t kSent = kColumnMandatory | kColumnLower | kColumnUpper | kColumnEqual |
                               kColumnRemember1 | kColumnRemember2 | kColumnRemember3 |
                               kColumnThird;
    std::vector<std::string> got, want;
    for (int i = 0; i < kPaypalTableCount; i++) {
        const PaypalTable &t = kPaypalTables[i];
        for (int c = 0; c < t.column_count; c++) {
            const PaypalColumn &col = t.columns[c];
            // A path key only counts in a table that sends one; the invoice
            // child tables all repeat the invoice id and are left out.
            const std::string table = t.name;
            bool path_key = (col.flags & kColumnPathKey) &&
                            (t.flags & (kTableKeyRequired | kTableKeyOptional)) &&
                            !(table.starts_with("Invoice") && table != "Invoices");
            if (!path_key && !(col.flags & kSent) && !col.parameter) continue;
            char flags[24];
            std::snprintf(flags, sizeof flags, "%llx", static_cast<unsigned long long>(col.flags));
            // Values a parameter takes are written as in the data file.
            std::string values;
            for (const char *const *v = col.parameter_values; v && *v; ++v) values += (values.empty() ? "=" : ",") + std::string(*v);
            got.push_back(std::string(t.name) + "." + col.name + " " + flags + " " +
                          text_or_null(col.parameter) + values);
        }
    }
    for (const ParameterRow &p : kParameters) {
        char flags[24];
        std::snprintf(flags, sizeof flags, "%llx", static_cast<unsigned long long>(p.flags));
        want.push_back(std::string(p.table) + "." + p.column + " " + flags + " " +
                       text_or_null(p.parameter));
    }
    EXPECT_EQ(got, want);
}

TEST(CatalogDataTest, BodyPathsOfTheBatchPayout) {
    const PaypalTable *t = paypal_find_table("BatchPayout");
    ASSERT_NE(t, nullptr);
    int with_body = 0;
    for (int i = 0; i < t->column_count; i++) with_body += t->columns[i].body_path != nullptr;
    EXPECT_EQ(with_body, 14);
    EXPECT_STREQ(
        t->columns[paypal_find_column(t, "BatchHeaderSenderBatchHeaderEmailSubject")].body_path,
        "sender_batch_header,email_subject");
    EXPECT_EQ(t->columns[paypal_find_column(t, "BatchItem")].body_path, nullptr);
}

TEST(CatalogLookupTest, NamesCompareWithoutCase) {
    struct {
        const char *name;
        int index;
    } cases[] = {{"OrderDetails", 2},         {"orderdetails", 2},
                 {"ORDERDETAILS", 2},         {"CreditCards", 31},
                 {"AuthorizationDetails", 0}, {"OrderDetail", -1},
                 {"OrderDetailsX", -1},       {"", -1}};
    for (const auto &c : cases) {
        EXPECT_EQ(paypal_table_index(c.name), c.index) << c.name;
        EXPECT_EQ(paypal_find_table(c.name), c.index < 0 ? nullptr : &kPaypalTables[c.index])
            << c.name;
    }
    const PaypalTable *t = paypal_find_table("balances");
    EXPECT_EQ(paypal_find_column(t, "asoftime"), 9);
    EXPECT_EQ(paypal_find_column(t, "ASOFTIME"), 9);
    EXPECT_EQ(paypal_find_column(t, "AsOf"), -1);
    EXPECT_EQ(paypal_find_column(nullptr, "Currency"), -1);
    EXPECT_EQ(paypal_table_at(-1), nullptr);
    EXPECT_EQ(paypal_table_at(kPaypalTableCount), nullptr);
}

TEST(CatalogLookupTest, FilterKindFollowsTheDecidingOrder) {
    struct {
        uint64_t flags, kind;
    } cases[] = {{0x16, kColumnLower},      {0x1a, kColumnUpper},
                 {0x200010, kColumnThird},  {0x210, kColumnRemember1},
                 {0x410, kColumnRemember2}, {0x810, kColumnRemember3},
                 {0x11, kColumnEqual},      {0x1000, 0},
                 {0x20c, kColumnLower}};
    for (const auto &c : cases) {
        PaypalColumn col{};
        col.flags = c.flags;
        EXPECT_EQ(paypal_filter_kind(&col), c.kind) << std::hex << c.flags;
    }
    EXPECT_EQ(paypal_filter_kind(nullptr), 0u);
}

}  // namespace
