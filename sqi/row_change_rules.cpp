// The request members of each changeable table, from PayPal's published
// request schemas (webhook, plan_request_POST, create_payout_request,
// order_request, product_request_POST, and the PATCH paths each API documents).
#include "sqi/row_change_rules.h"

#include <strings.h>

#include "sqi/catalog.h"

namespace {

struct Rule {
    const char *table;
    ChangeRule rule;
    const char *const *columns;  // null-terminated
};

constexpr const char *kWebhookPost[] = {"Url", "EventTypes", nullptr};
constexpr const char *kWebhookPatch[] = {"Url", "EventTypes", nullptr};
constexpr const char *kWebhookEventsPost[] = {"Url", "EventTypesName", nullptr};
constexpr const char *kPlanPost[] = {"ProductId", "Name", "Status", "Description", "BillingCycles",
                                     "PaymentPreferencesAutoBillOutstanding", "PaymentPreferencesSetupFeeValue",
                                     "PaymentPreferencesSetupFeeCurrencyCode", "PaymentPreferencesFailureAction",
                                     "PaymentPreferencesPaymentFailureThreshold", "TaxesPercentage",
                                     "TaxesInclusive", "QuantitySupported", nullptr};
constexpr const char *kPayoutPost[] = {"BatchHeaderSenderBatchHeaderSenderBatchId",
                                       "BatchHeaderSenderBatchHeaderRecipientType",
                                       "BatchHeaderSenderBatchHeaderEmailSubject",
                                       "BatchHeaderSenderBatchHeaderEmailMessage", "BatchItem", nullptr};
constexpr const char *kOrderPost[] = {"Intent", "PayerEmailAddress", "PayerPayerIds", "PurchaseUnits",
                                      "PaymentSource", nullptr};
// The product id is the table's key: PayPal makes it, so it is not taken from an INSERT.
constexpr const char *kProductPost[] = {"Name", "Description", "Type", "Category", "ImageUrl", "HomeUrl", nullptr};
constexpr const char *kOrderPatch[] = {"Intent", "PurchaseUnits", nullptr};

constexpr Rule kRules[] = {
    {"Webhooks", ChangeRule::kInsert, kWebhookPost},
    {"Webhooks", ChangeRule::kPatch, kWebhookPatch},
    {"WebhooksEvents", ChangeRule::kInsert, kWebhookEventsPost},
    {"Plans", ChangeRule::kInsert, kPlanPost},
    {"BatchPayout", ChangeRule::kInsert, kPayoutPost},
    {"OrderDetails", ChangeRule::kInsert, kOrderPost},
    {"OrderDetails", ChangeRule::kPatch, kOrderPatch},
    {"Products", ChangeRule::kInsert, kProductPost},
};

}  // namespace

int change_allows(const PaypalTable *table, ChangeRule rule, const char *column) {
    for (const Rule &r : kRules) {
        if (r.rule != rule || strcasecmp(r.table, table->name) != 0) continue;
        for (const char *const *c = r.columns; *c; c++)
            if (strcasecmp(*c, column) == 0) return 1;
        return 0;
    }
    return 1;
}
