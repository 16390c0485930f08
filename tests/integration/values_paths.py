"""Where each column's value is in PayPal's reply: (table, column) -> JSON
path, written from PayPal's published reply schemas, for values_test.py.

A path is a dotted chain of members, read from
  the row (the list element, or the element of the child array for child
  tables, or the reply itself for a table read as one object);
  "^..."  the reply's root object;
  "<..."  the list element that holds the child array (child tables);
  "."     the row itself (an array of texts: each text is a row);
  "="     no member: the column echoes the value its WHERE restriction sent;
  "='x'"  the same, and the text x when the WHERE leaves the column free;
  "=path" the same, and the member at path when the WHERE leaves it free;
  "-"     a member PayPal never sends (ALWAYS_NULL says why): always NULL.

Exports: TABLES (table -> {column: path}), ALWAYS_NULL ((table, column) -> reason).
"""

# Columns whose member the published schemas do not have (left from older
# replies of the same API), so no reply can fill them.
ALWAYS_NULL = {
    ("Subscriptions", "PaymentSourceCardSecurityCode"):
        "a subscriber's card in a reply has no security_code (it is only sent in requests)",
    ("OrderItems", "PurchaseUnitsShippingAddressAddressPhone"):
        "a v2 purchase unit's shipping (name, type, address) has no phone",
    ("OrderItems", "PurchaseUnitsShippingAddressAddressNormalizationStatus"):
        "a v2 portable address has no normalization_status",
    ("OrderItems", "PurchaseUnitsShippingAddressType"):
        "a v2 portable address has no type (the shipping's own type is PurchaseUnitsShippingType)",
    ("Payments", "PayerPayerInfoBillingAddressRecipientName"):
        "a v1 payer's billing_address has no recipient_name (only shipping addresses have one)",
    ("PaymentTransactions", "PayerPayerInfoBillingRecipientName"):
        "a v1 payer's billing_address has no recipient_name (only shipping addresses have one)",
    ("Plans", "Type"): "a billing plan has no type",
    ("PlansNoPrefer", "Type"): "a billing plan has no type",
    ("PlansBillingCycles", "Type"): "a billing plan has no type",
    ("Plans", "PayeeMerchantId"): "a billing plan has no payee",
    ("Plans", "PayeeDisplayDataBusinessEmail"): "a billing plan has no payee",
    ("PlansBillingCycles", "PayeeMerchantId"): "a billing plan has no payee",
    ("PlansBillingCycles", "PayeeDisplayDataBusinessEmail"): "a billing plan has no payee",
}


def cols(text):
    """{column: path} from lines of "Column path"."""
    return dict(line.split() for line in text.strip().splitlines())


def under(origin, group, *without):
    """The group's columns read from another object ("^" or "<"), less some."""
    return {c: p if p in ("=", "-", ".") else origin + p for c, p in group.items()
            if c not in without}


def only(group, *names):
    return {c: group[c] for c in names}


def renamed(prefix, group):
    return {prefix + c: p for c, p in group.items()}


# An order (checkout v2 `order`).
ORDER = cols("""
Id                id
CreateTime        create_time
UpdateTime        update_time
PaymentSource     payment_source
Intent            intent
PayerEmailAddress payer.email_address
PayerPayerIds     payer.payer_id
PurchaseUnits     purchase_units
Status            status
""")

# A v1 payment (`payment`): the rows of Payments, the parents of PaymentTransactions.
PAYMENT = cols("""
Id                                                id
Intent                                            intent
PayerPaymentMethod                                payer.payment_method
PayerStatus                                       payer.status
PayerFundingInstruments                           payer.funding_instruments
PayerPayerInfoEmail                               payer.payer_info.email
PayerPayerInfoSalutation                          payer.payer_info.salutation
PayerPayerInfoFirstName                           payer.payer_info.first_name
PayerPayerInfoMiddleName                          payer.payer_info.middle_name
PayerPayerInfoLastName                            payer.payer_info.last_name
PayerPayerInfoSuffix                              payer.payer_info.suffix
PayerPayerInfoPayerId                             payer.payer_info.payer_id
PayerPayerInfoBirthDate                           payer.payer_info.birth_date
PayerPayerInfoTaxId                               payer.payer_info.tax_id
PayerPayerInfoTaxIdType                           payer.payer_info.tax_id_type
PayerPayerInfoBillingAddressLine1                 payer.payer_info.billing_address.line1
PayerPayerInfoBillingAddressLine2                 payer.payer_info.billing_address.line2
PayerPayerInfoBillingAddressCity                  payer.payer_info.billing_address.city
PayerPayerInfoBillingAddressCountryCode           payer.payer_info.billing_address.country_code
PayerPayerInfoBillingAddressPostalCode            payer.payer_info.billing_address.postal_code
PayerPayerInfoBillingAddressState                 payer.payer_info.billing_address.state
PayerPayerInfoBillingAddressPhone                 payer.payer_info.billing_address.phone
PayerPayerInfoBillingAddressNormalizationStatus   payer.payer_info.billing_address.normalization_status
PayerPayerInfoBillingAddressType                  payer.payer_info.billing_address.type
PayerPayerInfoBillingAddressRecipientName         -
ApplicationContextBrandName                       application_context.brand_name
ApplicationContextLocale                          application_context.locale
ApplicationContextLandingPage                     application_context.landing_page
ApplicationContextShippingPreference              application_context.shipping_preference
ApplicationContextUserAction                      application_context.user_action
ApplicationContextPreferredPaymentSourceTokenId   application_context.preferred_payment_source.token.id
ApplicationContextPreferredPaymentSourceTokenType application_context.preferred_payment_source.token.type
ApplicationContextPaymentPattern                  application_context.payment_pattern
Transactions                                      transactions
State                                             state
ExperienceProfileId                               experience_profile_id
NoteToPayer                                       note_to_payer
RedirectUrlsReturnUtl                             redirect_urls.return_url
RedirectUrlsCancelUtl                             redirect_urls.cancel_url
FailureReason                                     failure_reason
CreateTime                                        create_time
UpdateTime                                        update_time
""")

# A billing plan (`plan`) as the list sends it with "Prefer: return=representation".
PLAN = cols("""
Id                                        id
ProductId                                 product_id
Name                                      name
Status                                    status
Type                                      -
Description                               description
BillingCycles                             billing_cycles
PaymentPreferencesAutoBillOutstanding     payment_preferences.auto_bill_outstanding
PaymentPreferencesSetupFeeValue           payment_preferences.setup_fee.value
PaymentPreferencesSetupFeeCurrencyCode    payment_preferences.setup_fee.currency_code
PaymentPreferencesFailureAction           payment_preferences.setup_fee_failure_action
PaymentPreferencesPaymentFailureThreshold payment_preferences.payment_failure_threshold
TaxesPercentage                           taxes.percentage
TaxesInclusive                            taxes.inclusive
QuantitySupported                         quantity_supported
CreateTime                                create_time
UpdateTime                                update_time
PayeeMerchantId                           -
PayeeDisplayDataBusinessEmail             -
""")

# A payout batch's `batch_header` (`payout_batch`).
BATCH_HEADER = cols("""
PayoutBatchId                             batch_header.payout_batch_id
BatchHeaderBatchStatus                    batch_header.batch_status
BatchHeaderTimeCreated                    batch_header.time_created
BatchHeaderTimeCompleted                  batch_header.time_completed
BatchHeaderTimeClosed                     batch_header.time_closed
BatchHeaderSenderBatchHeaderSenderBatchId batch_header.sender_batch_header.sender_batch_id
BatchHeaderSenderBatchHeaderRecipientType batch_header.sender_batch_header.recipient_type
BatchHeaderSenderBatchHeaderEmailSubject  batch_header.sender_batch_header.email_subject
BatchHeaderSenderBatchHeaderEmailMessage  batch_header.sender_batch_header.email_message
BatchHeaderFundingSource                  batch_header.funding_source
BatchHeaderAmountValue                    batch_header.amount.value
BatchHeaderAmountCurrencyCode             batch_header.amount.currency
BatchHeaderFeesValue                      batch_header.fees.value
BatchHeaderFeesCurrencyCode               batch_header.fees.currency
""")

# A payout item (`payout_item-2`); BatchPayoutItems names its columns "BatchItem...".
PAYOUT_ITEM = cols("""
TransactionId                            transaction_id
ActivityId                               activity_id
TransactionStatus                        transaction_status
PayoutBatchId                            payout_batch_id
PayoutItemFeeValue                       payout_item_fee.value
PayoutItemFeeCurrencyCode                payout_item_fee.currency
PayoutItemRecipientType                  payout_item.recipient_type
PayoutItemAmountValue                    payout_item.amount.value
PayoutItemAmountCurrencyCode             payout_item.amount.currency
PayoutItemNote                           payout_item.note
PayoutItemReceiver                       payout_item.receiver
PayoutItemSenderItemId                   payout_item.sender_item_id
PayoutItemRecipientNamePrefix            payout_item.recipient_name.prefix
PayoutItemRecipientNameGivenName         payout_item.recipient_name.given_name
PayoutItemRecipientNameSurname           payout_item.recipient_name.surname
PayoutItemRecipientNameMiddleName        payout_item.recipient_name.middle_name
PayoutItemRecipientNameSuffix            payout_item.recipient_name.suffix
PayoutItemRecipientNameFullName          payout_item.recipient_name.full_name
PayoutItemRecipientWallet                payout_item.recipient_wallet
CurrencyConversionFromAmountValue        currency_conversion.from_amount.value
CurrencyConversionFromAmountCurrencyCode currency_conversion.from_amount.currency
CurrencyConversionToAmountValue          currency_conversion.to_amount.value
CurrencyConversionToAmountCurrencyCode   currency_conversion.to_amount.currency
CurrencyConversionExchangeRate           currency_conversion.exchange_rate
TimeProcessed                            time_processed
""")

# An invoice (invoicing v2 `invoice`): the rows of Invoices, and the reply whose
# arrays the invoice child tables read.
INVOICE = cols("""
Id                                                       id
ParentId                                                 parent_id
Status                                                   status
DetailReference                                          detail.reference
DetailCurrencyCode                                       detail.currency_code
DetailNote                                               detail.note
DetailTermsAndConditions                                 detail.terms_and_conditions
DetailMemo                                               detail.memo
DetailAttachments                                        detail.attachments
DetailInvoiceNumber                                      detail.invoice_number
DetailInvoiceDate                                        detail.invoice_date
DetailPaymentTermTermType                                detail.payment_term.term_type
DetailPaymentTermDueDate                                 detail.payment_term.due_date
DetailMetadataCreateTime                                 detail.metadata.create_time
DetailMetadataCreatedBy                                  detail.metadata.created_by
DetailMetadataLastUpdateTime                             detail.metadata.last_update_time
DetailMetadataLastUpdatedBy                              detail.metadata.last_updated_by
DetailMetadataCancelTime                                 detail.metadata.cancel_time
DetailMetadataCancelledBy                                detail.metadata.cancelled_by
DetailMetadataFirstSentTime                              detail.metadata.first_sent_time
DetailMetadataLastSentTime                               detail.metadata.last_sent_time
DetailMetadataLastSentBy                                 detail.metadata.last_sent_by
DetailMetadataCreatedByFlow                              detail.metadata.created_by_flow
DetailMetadataRecipientViewUrl                           detail.metadata.recipient_view_url
DetailMetadataInvoicerViewUrl                            detail.metadata.invoicer_view_url
InvoicerEmailAddress                                     invoicer.email_address
InvoicerPhones                                           invoicer.phones
InvoicerWebsite                                          invoicer.website
InvoicerTaxId                                            invoicer.tax_id
InvoicerAdditionalNotes                                  invoicer.additional_notes
InvoicerLogoUrl                                          invoicer.logo_url
PrimaryRecipients                                        primary_recipients
AdditionalRecipients                                     additional_recipients
Items                                                    items
ConfigurationTaxCalculatedAfterDiscount                  configuration.tax_calculated_after_discount
ConfigurationTaxInclusive                                configuration.tax_inclusive
ConfigurationAllowTip                                    configuration.allow_tip
ConfigurationPartialPaymentAllowPartialPayment           configuration.partial_payment.allow_partial_payment
ConfigurationPartialPaymentMinimumAmountDueValue         configuration.partial_payment.minimum_amount_due.value
ConfigurationPartialPaymentMinimumAmountDueCurrencyCode  configuration.partial_payment.minimum_amount_due.currency_code
ConfigurationTemplateId                                  configuration.template_id
AmountValue                                              amount.value
AmountCurrencyCode                                       amount.currency_code
AmountBreakdownItemTotalValue                            amount.breakdown.item_total.value
AmountBreakdownItemTotalCurrencyCode                     amount.breakdown.item_total.currency_code
AmountBreakdownDiscountInvoiceDiscountPercent            amount.breakdown.discount.invoice_discount.percent
AmountBreakdownDiscountInvoiceDiscountAmountValue        amount.breakdown.discount.invoice_discount.amount.value
AmountBreakdownDiscountInvoiceDiscountAmountCurrencyCode amount.breakdown.discount.invoice_discount.amount.currency_code
AmountBreakdownDiscountItemDiscountValue                 amount.breakdown.discount.item_discount.value
AmountBreakdownDiscountItemDiscountCurrencyCode          amount.breakdown.discount.item_discount.currency_code
AmountBreakdownDiscountTaxTotalValue                     amount.breakdown.tax_total.value
AmountBreakdownDiscountTaxTotalCurrencyCode              amount.breakdown.tax_total.currency_code
AmountBreakdownDiscountShippingAmountValue               amount.breakdown.shipping.amount.value
AmountBreakdownDiscountShippingAmountCurrencyCode        amount.breakdown.shipping.amount.currency_code
AmountBreakdownDiscountCustomLabel                       amount.breakdown.custom.label
AmountBreakdownDiscountCustomAmountValue                 amount.breakdown.custom.amount.value
AmountBreakdownDiscountCustomAmountCurrencyCode          amount.breakdown.custom.amount.currency_code
DueAmountValue                                           due_amount.value
DueAmountCurrencyCode                                    due_amount.currency_code
GratuityValue                                            gratuity.value
GratuityCurrencyCode                                     gratuity.currency_code
PaymentsPaidAmmountValue                                 payments.paid_amount.value
PaymentsPaidAmmountsCurrencyCode                         payments.paid_amount.currency_code
PaymentsTransactions                                     payments.transactions
RefundsPaidAmmountValue                                  refunds.refund_amount.value
RefundsPaidAmmountsCurrencyCode                          refunds.refund_amount.currency_code
RefundsTransactions                                      refunds.transactions
""")

# A dispute (`dispute`) as GET by id sends it.
DISPUTE = cols("""
DisputeId                                dispute_id
CreateTime                               create_time
UpdateTime                               update_time
DisputedTransactions                     disputed_transactions
Reason                                   reason
Status                                   status
DisputeAmountValue                       dispute_amount.value
DisputeAmountCurrencyCode                dispute_amount.currency_code
ExternalReasonCode                       external_reason_code
DisputeOutcomeOutcomeCode                dispute_outcome.outcome_code
DisputeOutcomeAmountRefundedValue        dispute_outcome.amount_refunded.value
DisputeOutcomeAmountRefundedCurrencyCode dispute_outcome.amount_refunded.currency_code
Adjudications                            adjudications
MoneyMovements                           money_movements
DisputeLifeCycleStage                    dispute_life_cycle_stage
DisputeChannel                           dispute_channel
Messages                                 messages
Extensions                               extensions
Evidences                                evidences
BuyerResponseDueDate                     buyer_response_due_date
SellerResponseDueDate                    seller_response_due_date
Offer                                    offer
RefundDetails                            refund_details
CommunicationDetails                     communication_details
SupportingInfo                           supporting_info
AllowedResponseOptions                   allowed_response_options
""")

# A transaction detail of the transaction search (`transaction_detail`).
TRANSACTION = cols("""
TransactionId                       transaction_info.transaction_id
StartTime                           =
EndTime                             =
BalanceAffectingOnly                ='N'
TransactionEventCode                transaction_info.transaction_event_code
TransactionInitiationDate           transaction_info.transaction_initiation_date
TransactionUpdatedDate              transaction_info.transaction_updated_date
TransactionAmountValue              transaction_info.transaction_amount.value
TransactionAmountCurrencyCode       transaction_info.transaction_amount.currency_code
FeeAmountValue                      transaction_info.fee_amount.value
FeeAmountCurrencyCode               transaction_info.fee_amount.currency_code
DiscountAmountValue                 transaction_info.discount_amount.value
DiscountAmountCurrencyCode          transaction_info.discount_amount.currency_code
InsuranceAmountValue                transaction_info.insurance_amount.value
InsuranceAmountCurrencyCode         transaction_info.insurance_amount.currency_code
SalesTaxAmountValue                 transaction_info.sales_tax_amount.value
SalesTaxAmountCurrencyCode          transaction_info.sales_tax_amount.currency_code
ShippingAmountValue                 transaction_info.shipping_amount.value
ShippingAmountCurrencyCode          transaction_info.shipping_amount.currency_code
ShippingDiscountAmountValue         transaction_info.shipping_discount_amount.value
ShippingDiscountAmountCurrencyCode  transaction_info.shipping_discount_amount.currency_code
ShippingTaxAmountValue              transaction_info.shipping_tax_amount.value
ShippingTaxAmountCurrencyCode       transaction_info.shipping_tax_amount.currency_code
OtherAmountValue                    transaction_info.other_amount.value
OtherAmountCurrencyCode             transaction_info.other_amount.currency_code
TipAmountValue                      transaction_info.tip_amount.value
TipAmountCurrencyCode               transaction_info.tip_amount.currency_code
TransactionStatus                   transaction_info.transaction_status
TransactionSubject                  transaction_info.transaction_subject
TransactionNote                     transaction_info.transaction_note
PaypalAccountId                     transaction_info.paypal_account_id
PaypalReferenceId                   transaction_info.paypal_reference_id
PaypalReferenceIdType               transaction_info.paypal_reference_id_type
PaymentTrackingId                   transaction_info.payment_tracking_id
BankReferenceId                     transaction_info.bank_reference_id
EndingBalanceValue                  transaction_info.ending_balance.value
EndingBalanceCurrencyCode           transaction_info.ending_balance.currency_code
AvailableBalanceValue               transaction_info.available_balance.value
AvailableBalanceCurrencyCode        transaction_info.available_balance.currency_code
InvoiceId                           transaction_info.invoice_id
CustomField                         transaction_info.custom_field
ProtectionEligibility               transaction_info.protection_eligibility
CreditTerm                          transaction_info.credit_term
CreditTransactionalFeeValue         transaction_info.credit_transactional_fee.value
CreditTransactionalFeeCurrencyCode  transaction_info.credit_transactional_fee.currency_code
CreditPromotionalFeeValue           transaction_info.credit_promotional_fee.value
CreditPromotionalFeeCurrencyCode    transaction_info.credit_promotional_fee.currency_code
AnnualPercentageRate                transaction_info.annual_percentage_rate
PaymentMethodType                   transaction_info.payment_method_type
InstrumentType                      transaction_info.instrument_type
InstrumentSubType                   transaction_info.instrument_sub_type
PayerAccountId                      payer_info.account_id
PayerEmailAddress                   payer_info.email_address
PayerPhoneCountryCode               payer_info.phone_number.country_code
PayerPhoneNationalNumber            payer_info.phone_number.national_number
PayerPhoneExtensionNumber           payer_info.phone_number.extension_number
PayerAddressStatus                  payer_info.address_status
PayerStatus                         payer_info.payer_status
PayerPrefix                         payer_info.payer_name.prefix
PayerGivenName                      payer_info.payer_name.given_name
PayerMiddleName                     payer_info.payer_name.middle_name
PayerSurname                        payer_info.payer_name.surname
PayerSuffix                         payer_info.payer_name.suffix
PayerAlternateFullName              payer_info.payer_name.alternate_full_name
PayerFullName                       payer_info.payer_name.full_name
PayerCountryCode                    payer_info.country_code
PayerAddressLine1                   payer_info.address.line1
PayerAddressLine2                   payer_info.address.line2
PayerAddressCity                    payer_info.address.city
PayerAddressState                   payer_info.address.state
PayerAddressCountryCode             payer_info.address.country_code
PayerAddressPostalCode              payer_info.address.postal_code
ShippingName                        shipping_info.name
ShippingMethod                      shipping_info.method
ShippingAddressLine1                shipping_info.address.line1
ShippingAddressLine2                shipping_info.address.line2
ShippingAddressCity                 shipping_info.address.city
ShippingAddressState                shipping_info.address.state
ShippingAddressCountryCode          shipping_info.address.country_code
ShippingAddressPostalCode           shipping_info.address.postal_code
ShippingSecondaryAddressLine1       shipping_info.secondary_shipping_address.line1
ShippingSecondaryAddressLine2       shipping_info.secondary_shipping_address.line2
ShippingSecondaryAddressCity        shipping_info.secondary_shipping_address.city
ShippingSecondaryAddressState       shipping_info.secondary_shipping_address.state
ShippingSecondaryAddressCountryCode shipping_info.secondary_shipping_address.country_code
ShippingSecondaryAddressPostalCode  shipping_info.secondary_shipping_address.postal_code
""")

TABLES = {
    "AuthorizationDetails": cols("""
AuthorisationId                   id
Status                            status
StatusDetailsReason               status_details.reason
Id                                id
AmountValue                       amount.value
AmountCurrencyCode                amount.currency_code
InvoiceId                         invoice_id
CustomId                          custom_id
SellerProtectionDetails           seller_protection.status
SellerProtectionDisputeCategories seller_protection.dispute_categories
ExpirationTime                    expiration_time
"""),
    "CapturenDetails": cols("""
CaptureId                                                          id
Status                                                             status
StatusDetailsReason                                                status_details.reason
Id                                                                 id
AmountValue                                                        amount.value
AmountCurrencyCode                                                 amount.currency_code
InvoiceId                                                          invoice_id
CustomId                                                           custom_id
SellerProtectionDetails                                            seller_protection.status
SellerProtectionDisputeCategories                                  seller_protection.dispute_categories
FinalCapture                                                       final_capture
SellerReceivableBreakdownGrossAmountValue                          seller_receivable_breakdown.gross_amount.value
SellerReceivableBreakdownGrossAmountCurrencyCode                   seller_receivable_breakdown.gross_amount.currency_code
SellerReceivableBreakdownPaypalFeeValue                            seller_receivable_breakdown.paypal_fee.value
SellerReceivableBreakdownPaypalFeeCurrencyCode                     seller_receivable_breakdown.paypal_fee.currency_code
SellerReceivableBreakdownPaypalFeeInReceivableCurrencyValue        seller_receivable_breakdown.paypal_fee_in_receivable_currency.value
SellerReceivableBreakdownPaypalFeeInReceivableCurrencyCurrencyCode seller_receivable_breakdown.paypal_fee_in_receivable_currency.currency_code
SellerReceivableBreakdownNetAmountValue                            seller_receivable_breakdown.net_amount.value
SellerReceivableBreakdownNetAmountCurrencyCode                     seller_receivable_breakdown.net_amount.currency_code
SellerReceivableBreakdownReceivableAmountValue                     seller_receivable_breakdown.receivable_amount.value
SellerReceivableBreakdownReceivableAmountCurrencyCode              seller_receivable_breakdown.receivable_amount.currency_code
SellerReceivableBreakdownExchangeRateSourceCurrency                seller_receivable_breakdown.exchange_rate.source_currency
SellerReceivableBreakdownExchangeRateTargetCurrency                seller_receivable_breakdown.exchange_rate.target_currency
SellerReceivableBreakdownExchangeRateValue                         seller_receivable_breakdown.exchange_rate.value
PlatformFees                                                       seller_receivable_breakdown.platform_fees
"""),
    "OrderDetails": ORDER,
    "RefundDetails": cols("""
Id                                 id
CreateTime                         create_time
UpdateTime                         update_time
AmountValue                        amount.value
AmountCurrencyCode                 amount.currency_code
InvoiceId                          invoice_id
NoteToPayer                        note_to_payer
SPBGrossAmountValue                seller_payable_breakdown.gross_amount.value
SPBGrossAmountCurrencyCode         seller_payable_breakdown.gross_amount.currency_code
SPBPaypalFeeValue                  seller_payable_breakdown.paypal_fee.value
SPBPaypalFeeCurrencyCode           seller_payable_breakdown.paypal_fee.currency_code
SPBNetAmountValue                  seller_payable_breakdown.net_amount.value
SPBNetAmountCurrencyCode           seller_payable_breakdown.net_amount.currency_code
SPBPlatformFees                    seller_payable_breakdown.platform_fees
SPBNetAmountBreakdown              seller_payable_breakdown.net_amount_breakdown
SPBTotalRefundedAmountValue        seller_payable_breakdown.total_refunded_amount.value
SPBTotalRefundedAmountCurrencyCode seller_payable_breakdown.total_refunded_amount.currency_code
"""),
    "SaleDetails": cols("""
Id                                             id
CreateTime                                     create_time
UpdateTime                                     update_time
AmountValue                                    amount.total
AmountCurrencyCode                             amount.currency
AmountDetailSubtotal                           amount.details.subtotal
AmountDetailShipping                           amount.details.shipping
AmountDetailTax                                amount.details.tax
AmountDetailHandlingFee                        amount.details.handling_fee
AmountDetailShippingDiscount                   amount.details.shipping_discount
AmountDetailInsurance                          amount.details.insurance
AmountDetailGiftWrap                           amount.details.gift_wrap
PaymentMode                                    payment_mode
State                                          state
ReasonCode                                     reason_code
ProtectionEligibility                          protection_eligibility
ProtectionEligibilityType                      protection_eligibility_type
ClearingTime                                   clearing_time
PaymentHoldStatus                              payment_hold_status
PaymentHoldReasons                             payment_hold_reasons
TransactionFeeValue                            transaction_fee.value
TransactionFeeCurrencyCode                     transaction_fee.currency
ReceivableAmountValue                          receivable_amount.value
ReceivableAmountCurrencyCode                   receivable_amount.currency
TransactionFeeInReceivableCurrencyValue        transaction_fee_in_receivable_currency.value
TransactionFeeInReceivableCurrencyCurrencyCode transaction_fee_in_receivable_currency.currency
ExchangeRate                                   exchange_rate
FMFDetailsFilterType                           fmf_details.filter_type
FMFDetailsFilterId                             fmf_details.filter_id
FMFDetailsName                                 fmf_details.name
FMFDetailsDescription                          fmf_details.description
ReceiptId                                      receipt_id
ParentPayment                                  parent_payment
ProcessorResponseResponseCode                  processor_response.response_code
ProcessorResponseAVSCode                       processor_response.avs_code
ProcessorResponseCVVCode                       processor_response.cvv_code
ProcessorResponseAdviceCode                    processor_response.advice_code
ProcessorResponseECISubmitted                  processor_response.eci_submitted
ProcessorResponseVPAS                          processor_response.vpas
BillingAgreementId                             billing_agreement_id
"""),
    "Subscriptions": cols("""
Id                                                                   id
CreateTime                                                           create_time
UpdateTime                                                           update_time
Status                                                               status
StatusChangeNote                                                     status_change_note
StatusUpdateTime                                                     status_update_time
PlanId                                                               plan_id
StartTime                                                            start_time
Quantity                                                             quantity
ShippingAmountValue                                                  shipping_amount.value
ShippingAmountCurrencyCode                                           shipping_amount.currency_code
Name                                                                 subscriber.name
EmailAddress                                                         subscriber.email_address
PayerId                                                              subscriber.payer_id
PhoneType                                                            subscriber.phone.phone_type
NationalNumber                                                       subscriber.phone.phone_number.national_number
ShippingAddressFullName                                              subscriber.shipping_address.name.full_name
ShippingAddressLine1                                                 subscriber.shipping_address.address.address_line_1
ShippingAddressLine2                                                 subscriber.shipping_address.address.address_line_2
ShippingAdminArea1                                                   subscriber.shipping_address.address.admin_area_1
ShippingAdminArea2                                                   subscriber.shipping_address.address.admin_area_2
ShippingPostalCode                                                   subscriber.shipping_address.address.postal_code
ShippingCountryCode                                                  subscriber.shipping_address.address.country_code
PaymentSourceCardName                                                subscriber.payment_source.card.name
PaymentSourceCardNumber                                              subscriber.payment_source.card.last_digits
PaymentSourceCardExpiry                                              subscriber.payment_source.card.expiry
PaymentSourceCardSecurityCode                                        -
PaymentSourceCardBillingAddressLine1                                 subscriber.payment_source.card.billing_address.address_line_1
PaymentSourceCardBillingAddressLine2                                 subscriber.payment_source.card.billing_address.address_line_2
PaymentSourceCardBillingAdminArea1                                   subscriber.payment_source.card.billing_address.admin_area_1
PaymentSourceCardBillingAdminArea2                                   subscriber.payment_source.card.billing_address.admin_area_2
PaymentSourceCardBillingPostalCode                                   subscriber.payment_source.card.billing_address.postal_code
PaymentSourceCardBillingCountryCode                                  subscriber.payment_source.card.billing_address.country_code
BillingInfoOutstandingValueValue                                     billing_info.outstanding_balance.value
BillingInfoOutstandingValueCurrencyCode                              billing_info.outstanding_balance.currency_code
BillingInfoOutstandingValueCycleExecutions                           billing_info.cycle_executions
BillingInfoOutstandingValueLastPaymentAmount                         billing_info.last_payment.amount.value
BillingInfoOutstandingValueLastPaymentCurrencyCode                   billing_info.last_payment.amount.currency_code
BillingInfoOutstandingValueLastPaymentTime                           billing_info.last_payment.time
BillingInfoOutstandingValueNextBillingTime                           billing_info.next_billing_time
BillingInfoOutstandingValueFinalPaymentTime                          billing_info.final_payment_time
BillingInfoOutstandingValueFailedPaymentsCount                       billing_info.failed_payments_count
BillingInfoOutstandingValueFailedLastFailedPaymentAmountValue        billing_info.last_failed_payment.amount.value
BillingInfoOutstandingValueFailedLastFailedPaymentAmountCurrencyCode billing_info.last_failed_payment.amount.currency_code
BillingInfoOutstandingValueFailedLastFailedPaymentTime               billing_info.last_failed_payment.time
"""),
    "SubscriptionTransactions": cols("""
Id                                     =
StartTime                              =
EndTime                                =
TransactionStatus                      status
TransactionId                          id
TransactionGrossAmountValue            amount_with_breakdown.gross_amount.value
TransactionGrossAmountCurrencyCode     amount_with_breakdown.gross_amount.currency_code
TransactionTotalItemAmountValue        amount_with_breakdown.total_item_amount.value
TransactionTotalItemAMountCurrencyCode amount_with_breakdown.total_item_amount.currency_code
TransactionFeeAmountValue              amount_with_breakdown.fee_amount.value
TransactionFeeAmountCurrencyCode       amount_with_breakdown.fee_amount.currency_code
TransactionShippingAmountValue         amount_with_breakdown.shipping_amount.value
TransactionShippingAmountCurrencyCode  amount_with_breakdown.shipping_amount.currency_code
TransactionTaxAmountValue              amount_with_breakdown.tax_amount.value
TransactionTaxAmountCurrencyCode       amount_with_breakdown.tax_amount.currency_code
TransactionNetAmountValue              amount_with_breakdown.net_amount.value
TransactionNetAmountCurrencyCode       amount_with_breakdown.net_amount.currency_code
TransactionPayerNamePrefix             payer_name.prefix
TransactionPayerNameGivenName          payer_name.given_name
TransactionPayerNameSurname            payer_name.surname
TransactionPayerNameMiddleName         payer_name.middle_name
TransactionPayerNameSuffix             payer_name.suffix
TransactionPayerNameFullName           payer_name.full_name
TransactionPayerEmail                  payer_email
TransactionTime                        time
"""),
    "OrderItems": under("^", ORDER, "PurchaseUnits") | cols("""
PurchaseUnitsReferenceId                               reference_id
PurchaseUnitsAmountValue                               amount.value
PurchaseUnitsAmountCurrencyCode                        amount.currency_code
PurchaseUnitsPayeeEmailAddress                         payee.email_address
PurchaseUnitsPayeeMerchantId                           payee.merchant_id
PurchaseUnitsPaymentInstructionPlatformFees            payment_instruction.platform_fees
PurchaseUnitsPaymentInstructionDisbursementMode        payment_instruction.disbursement_mode
PurchaseUnitsPaymentInstructionPayeePricingTierId      payment_instruction.payee_pricing_tier_id
PurchaseUnitsDescription                               description
PurchaseUnitsCustomId                                  custom_id
PurchaseUnitsInvoiceId                                 invoice_id
PurchaseUnitsSoftDescriptor                            soft_descriptor
PurchaseUnitsItems                                     items
PurchaseUnitsShippingNameFullName                      shipping.name.full_name
PurchaseUnitsShippingType                              shipping.type
PurchaseUnitsShippingAddressAddressLine1               shipping.address.address_line_1
PurchaseUnitsShippingAddressAddressLine2               shipping.address.address_line_2
PurchaseUnitsShippingAddressAddressCity                shipping.address.admin_area_2
PurchaseUnitsShippingAddressAddressCountryCode         shipping.address.country_code
PurchaseUnitsShippingAddressAddressPostalCode          shipping.address.postal_code
PurchaseUnitsShippingAddressAddressState               shipping.address.admin_area_1
PurchaseUnitsShippingAddressAddressPhone               -
PurchaseUnitsShippingAddressAddressNormalizationStatus -
PurchaseUnitsShippingAddressType                       -
PurchaseUnitsShippingAddressRecipientName              shipping.name.full_name
PurchaseUnitsParmentsAuthorizations                    payments.authorizations
PurchaseUnitsParmentsCaptures                          payments.captures
PurchaseUnitsParmentsRefunds                           payments.refunds
"""),
    "Payments": PAYMENT | cols("""
StartTime =
EndTime   =
"""),
    "PaymentTransactions": under("<", PAYMENT, "Transactions", "PayerPayerInfoBillingAddressRecipientName") | cols("""
StartTime                                              =
EndTime                                                =
PayerPayerInfoBillingRecipientName                     -
TransactionAmountCurrency                              amount.currency
TransactionAmountTotal                                 amount.total
TransactionAmountDetailsSubtotal                       amount.details.subtotal
TransactionAmountDetailsShipping                       amount.details.shipping
TransactionAmountDetailsTax                            amount.details.tax
TransactionAmountDetailsHandlingFee                    amount.details.handling_fee
TransactionAmountDetailsShippingDiscount               amount.details.shipping_discount
TransactionAmountDetailsInsurance                      amount.details.insurance
TransactionAmountDetailsGiftWrap                       amount.details.gift_wrap
TransactionPayeeEmail                                  payee.email
TransactionPayeeMerchantId                             payee.merchant_id
TransactionDescription                                 description
TransactionNoteToPayee                                 note_to_payee
TransactionCustom                                      custom
TransactionInvoiceNumber                               invoice_number
TransactionSoftDescriptor                              soft_descriptor
TransactionItemListsItems                              item_list.items
TransactionItemListsShippingAddressLine1               item_list.shipping_address.line1
TransactionItemListsShippingAddressLine2               item_list.shipping_address.line2
TransactionItemListsShippingAddressCity                item_list.shipping_address.city
TransactionItemListsShippingAddressCountryCode         item_list.shipping_address.country_code
TransactionItemListsShippingAddressPostalCode          item_list.shipping_address.postal_code
TransactionItemListsShippingAddressState               item_list.shipping_address.state
TransactionItemListsShippingAddressPhone               item_list.shipping_address.phone
TransactionItemListsShippingAddressNormalizationStatus item_list.shipping_address.normalization_status
TransactionItemListsShippingAddressType                item_list.shipping_address.type
TransactionItemListsShippingAddressRecipientName       item_list.shipping_address.recipient_name
TransactionNotifyUrl                                   notify_url
TransactionRelatedResources                            related_resources
"""),
    "Balances": cols("""
Currency                     currency
Primary                      primary
TotalBalanceValue            total_balance.value
TotalBalanceCurrencyCode     total_balance.currency_code
AvailableBalanceValue        available_balance.value
AvailableBalanceCurrencyCode available_balance.currency_code
WithheldBalanceValue         withheld_balance.value
WithheldBalanceCurrencyCode  withheld_balance.currency_code
AccountId                    ^account_id
AsOfTime                     =^as_of_time
LastRefreshTime              ^last_refresh_time
ServedAsOfTime               ^as_of_time
"""),
    "Plans": PLAN,
    "PlansNoPrefer": only(PLAN, "Id", "Name", "Status", "Type", "Description", "CreateTime", "UpdateTime"),
    "PlansBillingCycles": under("<", PLAN, "BillingCycles") | cols("""
Type                                            -
BillingCycleSequence                            sequence
BillingCycleTotalCycles                         total_cycles
BillingCycleTenureType                          tenure_type
BillingCyclePricingSchemeVersion                pricing_scheme.version
BillingCyclePricingSchemeFixedPriceValue        pricing_scheme.fixed_price.value
BillingCyclePricingSchemeFixedPriceCurrencyCode pricing_scheme.fixed_price.currency_code
BillingCyclePricingSchemePricingModel           pricing_scheme.pricing_model
BillingCyclePricingSchemeTiers                  pricing_scheme.tiers
BillingCyclePricingSchemeUpdateTime             pricing_scheme.update_time
BillingCyclePricingSchemeCreateTime             pricing_scheme.create_time
BillingCycleFrequencyIntervalCount              frequency.interval_count
BillingCycleFrequencyIntervalUnit               frequency.interval_unit
PayeeMerchantId                                 -
PayeeDisplayDataBusinessEmail                   -
"""),
    "UserInfo": cols("""
UserId               user_id
Name                 name
GivenName            given_name
FamilyName           family_name
Emails               emails
AddressStreetAddress address.street_address
AddressLocality      address.locality
AddressRegion        address.region
AddressPostalCode    address.postal_code
AddressCountry       address.country
"""),
    "Webhooks": cols("""
Id         id
Url        url
EventTypes event_types
"""),
    "WebhooksEvents": cols("""
Id                         <id
Url                        <url
EventTypesName             name
EventTypesDescription      description
EventTypesStatus           status
EventTypesResourceVersions resource_versions
"""),
    "BatchPayout": BATCH_HEADER | cols("""
BatchItem items
"""),
    "BatchPayoutItems": under("^", BATCH_HEADER) | renamed("BatchItem", PAYOUT_ITEM) | cols("""
BatchHeaderPayoutBatchId ^batch_header.payout_batch_id
BatchItemPayoutItemId    payout_item_id
"""),
    "PayoutsItem": PAYOUT_ITEM | cols("""
PayoutsItemId payout_item_id
SenderBatchId sender_batch_id
"""),
    "Invoices": INVOICE,
    "InvoiceItems": under("^", INVOICE, "Items") | cols("""
ItemId                         id
ItemName                       name
ItemDescription                description
ItemQuantity                   quantity
ItemUnitAmountValue            unit_amount.value
ItemUnitAmountCurrencyCode     unit_amount.currency_code
ItemTaxName                    tax.name
ItemTaxPercent                 tax.percent
ItemTaxAmountValue             tax.amount.value
ItemTaxAmountCurrencyCode      tax.amount.currency_code
ItemItemDate                   item_date
ItemDiscountPercent            discount.percent
ItemDiscountAmountValue        discount.amount.value
ItemDiscountAmountCurrencyCode discount.amount.currency_code
ItemUnitOfMeasure              unit_of_measure
"""),
    "InvoiceDetailAttachments": under("^", INVOICE, "DetailAttachments") | cols("""
DetailAttachmentIds          id
DetailAttachmentReferenceUrl reference_url
DetailAttachmentContentType  content_type
DetailAttachmentCreateTime   create_time
DetailAttachmentSize         size
"""),
    "InvoiceInvoicerPhones": under("^", INVOICE, "InvoicerPhones") | cols("""
InvoicerPhonesCountryCode     country_code
InvoicerPhonesNationalNumber  national_number
InvoicerPhonesExtensionNumber extension_number
InvoicerPhonesPhoneType       phone_type
"""),
    "InvoicePrimaryRecipients": under("^", INVOICE, "PrimaryRecipients") | cols("""
PrimaryRecipientsBillingInfoEmailAddress                         billing_info.email_address
PrimaryRecipientsBillingInfoPhones                               billing_info.phones
PrimaryRecipientsBillingInfoAdditionalInfo                       billing_info.additional_info
PrimaryRecipientsBillingInfoLanguage                             billing_info.language
PrimaryRecipientsShippingInfoBusinessName                        shipping_info.business_name
PrimaryRecipientsShippingInfoNamePrefix                          shipping_info.name.prefix
PrimaryRecipientsShippingInfoNameGivenName                       shipping_info.name.given_name
PrimaryRecipientsShippingInfoNameSurname                         shipping_info.name.surname
PrimaryRecipientsShippingInfoNameMiddleName                      shipping_info.name.middle_name
PrimaryRecipientsShippingInfoNameSuffix                          shipping_info.name.suffix
PrimaryRecipientsShippingInfoNameFullName                        shipping_info.name.full_name
PrimaryRecipientsShippingInfoAddressAddressLine1                 shipping_info.address.address_line_1
PrimaryRecipientsShippingInfoAddressAddressLine2                 shipping_info.address.address_line_2
PrimaryRecipientsShippingInfoAddressAddressLine3                 shipping_info.address.address_line_3
PrimaryRecipientsShippingInfoAddressAdminArea1                   shipping_info.address.admin_area_1
PrimaryRecipientsShippingInfoAddressAdminArea2                   shipping_info.address.admin_area_2
PrimaryRecipientsShippingInfoAddressAdminArea3                   shipping_info.address.admin_area_3
PrimaryRecipientsShippingInfoAddressAdminArea4                   shipping_info.address.admin_area_4
PrimaryRecipientsShippingInfoAddressPostalCode                   shipping_info.address.postal_code
PrimaryRecipientsShippingInfoAddressCountryCode                  shipping_info.address.country_code
PrimaryRecipientsShippingInfoAddressAddressDetailStreetNumber    shipping_info.address.address_details.street_number
PrimaryRecipientsShippingInfoAddressAddressDetailStreetName      shipping_info.address.address_details.street_name
PrimaryRecipientsShippingInfoAddressAddressDetailStreetType      shipping_info.address.address_details.street_type
PrimaryRecipientsShippingInfoAddressAddressDetailDeliveryService shipping_info.address.address_details.delivery_service
PrimaryRecipientsShippingInfoAddressAddressDetailBuildingName    shipping_info.address.address_details.building_name
PrimaryRecipientsShippingInfoAddressAddressDetailSubBuilding     shipping_info.address.address_details.sub_building
"""),
    "InvoiceAdditionalRecipients": under("^", INVOICE, "AdditionalRecipients") | cols("""
AdditionalRecipientsEmailAddress .
"""),
    "InvoicePaymentsTransactions": under("^", INVOICE, "PaymentsTransactions") | cols("""
PaymentsTransactionType        type
PaymentsTransactionPaymentId   payment_id
PaymentsTransactionPaymentDate payment_date
PaymentsTransactionMethod      method
"""),
    "InvoiceRefundsTransactions": under("^", INVOICE, "RefundsTransactions") | cols("""
RefundsTransactionType               type
RefundsTransactionRefundId           refund_id
RefundsTransactionRefundDate         refund_date
RefundsTransactionAmountValue        amount.value
RefundsTransactionAmountCurrencyCode amount.currency_code
RefundsTransactionMethod             method
"""),
    "Disputes": cols("""
DisputeId                 dispute_id
StartTime                 =
UpdateTimeBefore          =
UpdateTimeAfter           =
DisputeState              dispute_state
CreateTime                create_time
UpdateTime                update_time
Reason                    reason
Status                    status
DisputeAmountValue        dispute_amount.value
DisputeAmountCurrencyCode dispute_amount.currency_code
DisputeChannel            dispute_channel
BuyerResponseDueDate      buyer_response_due_date
SellerResponseDueDate     seller_response_due_date
"""),
    "DisputeDetails": DISPUTE,
    "DisputesTransactions": under("<", DISPUTE, "DisputedTransactions") | cols("""
TransactionBuyerTransactionId      buyer_transaction_id
TransactionSellerTransactionId     seller_transaction_id
TransactionReferenceId             reference_id
TransactionCreatetime              create_time
TransactionTransactionStatus       transaction_status
TransactionGrossAmountValue        gross_amount.value
TransactionGrossAmountCurrencyCode gross_amount.currency_code
TransactionInvoiceNumber           invoice_number
TransactionCustom                  custom
TransactionBuyerName               buyer.name
TransactionSellerName              seller.name
TransactionSellerEmail             seller.email
TransactionSellerMerchantId        seller.merchant_id
TransactionItems                   items
"""),
    "CreditCards": cols("""
Id                 id
StartTime          =
EndTime            =
MerchantId         merchant_id
ExternalCardId     external_card_id
ExternalCustomerId external_customer_id
Type               type
ExpireMonth        expire_month
ExpireYear         expire_year
FirstName          first_name
LastName           last_name
Number             number
BillingAddress     billing_address
State              state
CreateTime         create_time
UpdateTime         update_time
ValidUntil         valid_until
"""),
    "Transactions": TRANSACTION,
    "TransactionItems": cols("""
TransactionId                <transaction_info.transaction_id
StartTime                    =
EndTime                      =
BalanceAffectingOnly         ='N'
TransactionInitiationDate    <transaction_info.transaction_initiation_date
TransactionEventCode         <transaction_info.transaction_event_code
TransactionStatus            <transaction_info.transaction_status
ItemCode                     item_code
ItemName                     item_name
ItemDescription              item_description
ItemOptions                  item_options
ItemQuantity                 item_quantity
ItemUnitPriceValue           item_unit_price.value
ItemUnitPriceCurrencyCode    item_unit_price.currency_code
ItemAmountValue              item_amount.value
ItemAmountCurrencyCode       item_amount.currency_code
ItemDiscountAmountValue      discount_amount.value
ItemAdjustmentAmountValue    adjustment_amount.value
ItemGiftWrapAmountValue      gift_wrap_amount.value
ItemTaxPercentage            tax_percentage
ItemTaxAmounts               tax_amounts
ItemBasicShippingAmountValue basic_shipping_amount.value
ItemExtraShippingAmountValue extra_shipping_amount.value
ItemHandlingAmountValue      handling_amount.value
ItemInsuranceAmountValue     insurance_amount.value
ItemTotalAmountValue         total_item_amount.value
ItemTotalAmountCurrencyCode  total_item_amount.currency_code
ItemInvoiceNumber            invoice_number
ItemCheckoutOptions          checkout_options
CartTaxInclusive             <cart_info.tax_inclusive
CartPaypalInvoiceId          <cart_info.paypal_invoice_id
"""),
    "Products": cols("""
Id          id
Name        name
Description description
Type        type
Category    category
ImageUrl    image_url
HomeUrl     home_url
CreateTime  create_time
UpdateTime  update_time
"""),
}
