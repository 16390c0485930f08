// The PayPal actions offered as procedures: each one's parameters, the POST
// it sends (path, body members, following PayPal's published request
// schemas), and its result row. Invoices, subscriptions and plans answer
// their actions with 204 or a link, so their row is the object read back;
// a refund and a capture answer with the object they made.
//
// Exports: kPaypalProcedures, kPaypalProcedureCount, paypal_find_procedure,
// paypal_procedure_of.
#include <strings.h>

#include <cstring>

#include <string>

#include "sqi/procedures.h"

namespace {

constexpr int16_t V = SQL_VARCHAR;
constexpr int16_t D = SQL_DECIMAL;
constexpr int16_t B = SQL_BIT;
constexpr int16_t T = SQL_TYPE_DATE;

// Parameters shared by several actions.
constexpr ProcedureParam kInvoiceId = {"InvoiceId", V, 64, 0, 1, nullptr, "the invoice's id (INV2-...)"};
constexpr ProcedureParam kSubject = {"Subject", V, 4000, 0, 0, nullptr, "subject of the e-mail PayPal sends"};
constexpr ProcedureParam kNote = {"Note", V, 4000, 0, 0, nullptr, "note to the recipient"};
constexpr ProcedureParam kToInvoicer = {"SendToInvoicer", B, 1, 0, 0, "false", "a copy of the e-mail to the invoicer"};
constexpr ProcedureParam kToRecipient = {"SendToRecipient", B, 1, 0, 0, "true", "the e-mail to the recipient"};
constexpr ProcedureParam kAmount = {"Amount", D, 19, 2, 0, nullptr, "amount; left out: the whole amount"};
constexpr ProcedureParam kCurrency = {"CurrencyCode", V, 3, 0, 0, nullptr, "ISO 4217 code of Amount"};

// Result columns shared by several actions.
constexpr ProcedureColumn kIdStatus[] = {{"Id", V, 64, 0}, {"Status", V, 32, 0}};
constexpr const char *kIdStatusPaths[] = {"id", "status"};
constexpr ProcedureColumn kInvoiceColumns[] = {
    {"InvoiceId", V, 64, 0}, {"Status", V, 32, 0}, {"InvoiceNumber", V, 127, 0}};
constexpr const char *kInvoicePaths[] = {"id", "status", "detail,invoice_number"};
constexpr ProcedureColumn kMoneyColumns[] = {
    {"Id", V, 64, 0}, {"Status", V, 32, 0}, {"Amount", D, 19, 2}, {"CurrencyCode", V, 3, 0}};
constexpr const char *kMoneyPaths[] = {"id", "status", "amount,value", "amount,currency_code"};

constexpr ProcedureParam kCreateParams[] = {
    {"RecipientEmail", V, 254, 0, 1, nullptr, "e-mail of the invoice's recipient"},
    {"CurrencyCode", V, 3, 0, 1, nullptr, "ISO 4217 code of the invoice"},
    {"ItemName", V, 200, 0, 1, nullptr, "name of the one item"},
    {"Quantity", D, 14, 5, 1, nullptr, "quantity of the item"},
    {"UnitAmount", D, 19, 2, 1, nullptr, "price of one unit"},
    {"Note", V, 4000, 0, 0, nullptr, "note to the recipient"},
    {"DueDate", T, 10, 0, 0, nullptr, "the payment's due date"},
    {"InvoiceNumber", V, 127, 0, 0, nullptr, "left out: PayPal gives the next number"},
};
constexpr const char *kCreateBody[] = {
    "primary_recipients,#,billing_info,email_address",
    "detail,currency_code;items,#,unit_amount,currency_code",
    "items,#,name",
    "items,#,quantity",
    "items,#,unit_amount,value",
    "detail,note",
    "detail,payment_term,due_date",
    "detail,invoice_number",
};

constexpr ProcedureColumn kNumberColumns[] = {{"InvoiceNumber", V, 127, 0}};
constexpr const char *kNumberPaths[] = {"invoice_number"};

constexpr ProcedureParam kSendParams[] = {kInvoiceId, kSubject, kNote, kToInvoicer, kToRecipient};
constexpr const char *kNotificationBody[] = {nullptr, "subject", "note", "send_to_invoicer", "send_to_recipient"};
constexpr ProcedureParam kRemindParams[] = {kInvoiceId, kSubject, kNote};

constexpr ProcedureParam kRefundParams[] = {
    {"CaptureId", V, 64, 0, 1, nullptr, "the capture to refund"}, kAmount, kCurrency,
    {"InvoiceId", V, 127, 0, 0, nullptr, "the merchant's invoice id of the refund"},
    {"NoteToPayer", V, 255, 0, 0, nullptr, "why, as the payer sees it"},
};
constexpr const char *kRefundBody[] = {nullptr, "amount,value", "amount,currency_code", "invoice_id", "note_to_payer"};

constexpr ProcedureParam kCaptureParams[] = {
    {"AuthorizationId", V, 64, 0, 1, nullptr, "the authorization to capture"}, kAmount, kCurrency,
    {"FinalCapture", B, 1, 0, 0, nullptr, "true: no further capture of this authorization"},
};
constexpr const char *kCaptureBody[] = {nullptr, "amount,value", "amount,currency_code", "final_capture"};

constexpr ProcedureParam kVoidParams[] = {{"AuthorizationId", V, 64, 0, 1, nullptr, "the authorization to void"}};

constexpr ProcedureParam kSubscriptionReasonRequired[] = {
    {"SubscriptionId", V, 64, 0, 1, nullptr, "the subscription (I-...)"},
    {"Reason", V, 128, 0, 1, nullptr, "why, as PayPal records it"},
};
constexpr ProcedureParam kSubscriptionReasonOptional[] = {
    {"SubscriptionId", V, 64, 0, 1, nullptr, "the subscription (I-...)"},
    {"Reason", V, 128, 0, 0, nullptr, "why, as PayPal records it"},
};
constexpr const char *kReasonBody[] = {nullptr, "reason"};
constexpr ProcedureParam kPlanParams[] = {{"PlanId", V, 64, 0, 1, nullptr, "the plan (P-...)"}};
constexpr const char *kNoBody[] = {nullptr};

template <size_t P, size_t C>
constexpr ProcedureInfo info(const char *name, const ProcedureParam (&params)[P], const ProcedureColumn (&columns)[C],
                             const char *remarks) {
    return {name, static_cast<int32_t>(P), params, static_cast<int32_t>(C), columns, remarks};
}
template <size_t C>
constexpr ProcedureInfo info(const char *name, const ProcedureColumn (&columns)[C], const char *remarks) {
    return {name, 0, nullptr, static_cast<int32_t>(C), columns, remarks};
}

constexpr const char *kInvoiceRead = "v2/invoicing/invoices/%s";
constexpr const char *kSubscriptionRead = "v1/billing/subscriptions/%s";
constexpr const char *kPlanRead = "v1/billing/plans/%s";
constexpr const char *kAuthorizationRead = "v2/payments/authorizations/%s";

}  // namespace

const PaypalProcedure kPaypalProcedures[] = {
    {info("CreateDraftInvoice", kCreateParams, kInvoiceColumns, "POST /v2/invoicing/invoices: a draft with one item"),
     "v2/invoicing/invoices", -1, kCreateBody, 1, ProcedureResult::kReadBack, kInvoiceRead, "id", kInvoicePaths, 0, 1},
    {info("GenerateInvoiceNumber", kNumberColumns, "POST /v2/invoicing/generate-next-invoice-number"),
     "v2/invoicing/generate-next-invoice-number", -1, nullptr, 0, ProcedureResult::kReply, nullptr, nullptr,
     kNumberPaths, 0, 0},
    {info("SendInvoice", kSendParams, kInvoiceColumns, "POST /v2/invoicing/invoices/{id}/send"),
     "v2/invoicing/invoices/%s/send", 0, kNotificationBody, 1, ProcedureResult::kReadBack, kInvoiceRead, nullptr,
     kInvoicePaths, 0, 0},
    {info("RemindInvoice", kRemindParams, kInvoiceColumns, "POST /v2/invoicing/invoices/{id}/remind"),
     "v2/invoicing/invoices/%s/remind", 0, kNotificationBody, 1, ProcedureResult::kReadBack, kInvoiceRead, nullptr,
     kInvoicePaths, 0, 0},
    {info("CancelInvoice", kSendParams, kInvoiceColumns, "POST /v2/invoicing/invoices/{id}/cancel"),
     "v2/invoicing/invoices/%s/cancel", 0, kNotificationBody, 1, ProcedureResult::kReadBack, kInvoiceRead, nullptr,
     kInvoicePaths, 0, 0},
    {info("RefundCapture", kRefundParams, kMoneyColumns, "POST /v2/payments/captures/{id}/refund"),
     "v2/payments/captures/%s/refund", 0, kRefundBody, 1, ProcedureResult::kReply, nullptr, nullptr, kMoneyPaths, 1, 1},
    {info("CaptureAuthorization", kCaptureParams, kMoneyColumns, "POST /v2/payments/authorizations/{id}/capture"),
     "v2/payments/authorizations/%s/capture", 0, kCaptureBody, 1, ProcedureResult::kReply, nullptr, nullptr,
     kMoneyPaths, 1, 1},
    {info("VoidAuthorization", kVoidParams, kIdStatus, "POST /v2/payments/authorizations/{id}/void"),
     "v2/payments/authorizations/%s/void", 0, kNoBody, 0, ProcedureResult::kReadBack, kAuthorizationRead, nullptr,
     kIdStatusPaths, 0, 0},
    {info("SuspendSubscription", kSubscriptionReasonRequired, kIdStatus, "POST /v1/billing/subscriptions/{id}/suspend"),
     "v1/billing/subscriptions/%s/suspend", 0, kReasonBody, 1, ProcedureResult::kReadBack, kSubscriptionRead, nullptr,
     kIdStatusPaths, 0, 0},
    {info("ActivateSubscription", kSubscriptionReasonOptional, kIdStatus,
          "POST /v1/billing/subscriptions/{id}/activate"),
     "v1/billing/subscriptions/%s/activate", 0, kReasonBody, 1, ProcedureResult::kReadBack, kSubscriptionRead,
     nullptr, kIdStatusPaths, 0, 0},
    {info("CancelSubscription", kSubscriptionReasonRequired, kIdStatus, "POST /v1/billing/subscriptions/{id}/cancel"),
     "v1/billing/subscriptions/%s/cancel", 0, kReasonBody, 1, ProcedureResult::kReadBack, kSubscriptionRead, nullptr,
     kIdStatusPaths, 0, 0},
    {info("ActivatePlan", kPlanParams, kIdStatus, "POST /v1/billing/plans/{id}/activate"),
     "v1/billing/plans/%s/activate", 0, kNoBody, 0, ProcedureResult::kReadBack, kPlanRead, nullptr, kIdStatusPaths, 0,
     0},
    {info("DeactivatePlan", kPlanParams, kIdStatus, "POST /v1/billing/plans/{id}/deactivate"),
     "v1/billing/plans/%s/deactivate", 0, kNoBody, 0, ProcedureResult::kReadBack, kPlanRead, nullptr, kIdStatusPaths,
     0, 0},
};
const int kPaypalProcedureCount = static_cast<int>(sizeof kPaypalProcedures / sizeof kPaypalProcedures[0]);

const PaypalProcedure *paypal_find_procedure(std::string_view name) {
    for (int i = 0; i < kPaypalProcedureCount; i++) {
        const char *n = kPaypalProcedures[i].info.name;
        if (std::strlen(n) == name.size() && strncasecmp(n, name.data(), name.size()) == 0) return &kPaypalProcedures[i];
    }
    return nullptr;
}

const PaypalProcedure *paypal_procedure_of(const ProcedureInfo *info) {
    for (int i = 0; i < kPaypalProcedureCount; i++)
        if (&kPaypalProcedures[i].info == info) return &kPaypalProcedures[i];
    return nullptr;
}
