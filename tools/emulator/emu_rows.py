"""Canned PayPal objects for the tables other than invoices and the
transaction search.

Every object follows the reply schema PayPal publishes for its API (v2
payments, v2 checkout orders, v1 payments, v1 billing, v1 identity, v1
notifications, v1 payouts, v1 customer disputes, v1 vault) member by member:
money values are strings, quantities and sizes take the type the schema gives
them, dates and times are RFC 3339 texts (with "Z", with numeric offsets and
some with fractions; date-only texts where the schema says so). The data is
deterministic, and rich enough that every member a table reads has a value in
some object, while other objects leave members out and arrays empty, so that
a client meets every JSON type and shape it has to convert.

Exports: make_rows(base) -> dict of collections, enrich_invoices(invoices)
(from emu_invoice_rows), payment_id(i), sale_id(i).
"""
from emu_invoice_rows import enrich_invoices  # noqa: F401  (imported by the tests from here)


def money(value, currency="USD"):
    return {"currency_code": currency, "value": "%.2f" % value}


def payout_money(value, currency="USD"):
    # v1 payouts and v1 sales spell amounts as value/currency
    return {"value": "%.2f" % value, "currency": currency}


def ts(i, day_base=1, offset=None):
    """A time stamp; every third one carries a numeric offset, every fourth
    a fraction of a second."""
    day = day_base + i % 27
    text = "2024-02-%02dT%02d:%02d:%02d" % (day, (i * 5) % 24, (i * 7) % 60, (i * 11) % 60)
    if i % 4 == 3:
        text += (".250", ".123456")[i % 8 // 4]
    if offset is None:
        offset = ("-07:00", "Z", "+05:30")[i % 3] if i % 3 != 1 else "Z"
    return text + offset


def name(i):
    """A person's name object (`name` of the published schemas); the odd ones
    carry every part."""
    out = {"given_name": "John", "surname": "Doe %d" % i, "full_name": "John Doe %d" % i}
    if i % 2:
        out.update(prefix="Dr.", middle_name="Q", suffix="Jr.", full_name="Dr. John Q Doe %d Jr." % i)
    return out


def _link(base, path, rel="self", method="GET"):
    return {"href": base + path, "rel": rel, "method": method}


def authorization(i, base):
    aid = "0VF52814937998046%d" % i
    obj = {"id": aid, "status": ("CREATED", "CAPTURED", "PENDING")[i % 3],
           "amount": money(10.5 + i), "invoice_id": "INV-AUTH-%d" % i,
           "custom_id": "custom-%d" % i,
           "seller_protection": {"status": "ELIGIBLE",
                                 "dispute_categories": ["ITEM_NOT_RECEIVED",
                                                        "UNAUTHORIZED_TRANSACTION"]},
           "expiration_time": "2024-03-%02dT12:00:00Z" % (1 + i % 28),
           "create_time": ts(i), "update_time": ts(i + 1),
           "links": [_link(base, "/v2/payments/authorizations/" + aid)]}
    if i % 3 == 2:
        obj["status_details"] = {"reason": "PENDING_REVIEW"}
    return obj


def capture(i, base):
    cid = "2GG279541U47101%02d" % i
    gross = 100.0 + i
    fee = round(gross * 0.034 + 0.3, 2)
    obj = {"id": cid, "status": "COMPLETED", "amount": money(gross),
           "invoice_id": "INV-CAP-%d" % i, "custom_id": "cap-custom-%d" % i,
           "final_capture": i % 2 == 0,
           "seller_protection": {"status": ("ELIGIBLE", "PARTIALLY_ELIGIBLE")[i % 2],
                                 "dispute_categories": ["ITEM_NOT_RECEIVED"] if i % 2 else []},
           "seller_receivable_breakdown": {
               "gross_amount": money(gross), "paypal_fee": money(fee),
               "paypal_fee_in_receivable_currency": money(fee, "EUR"),
               "net_amount": money(gross - fee),
               "receivable_amount": money((gross - fee) * 0.92, "EUR"),
               "exchange_rate": {"source_currency": "USD", "target_currency": "EUR",
                                 "value": "0.920000000000000"},
               "platform_fees": [{"amount": money(1.25),
                                  "payee": {"email_address": "platform@example.com"}},
                                 {"amount": money(0.75), "payee": {"merchant_id": "7KNGBPH2U58GQ"}}]
               if i % 2 == 0 else []},
           "create_time": ts(i), "update_time": ts(i + 2),
           "links": [_link(base, "/v2/payments/captures/" + cid)]}
    if i % 5 == 3:
        obj["status"] = "PENDING"
        obj["status_details"] = {"reason": "ECHECK"}
    return obj


def refund(i, base):
    rid = "1JU08902781691%03d" % i
    return {"id": rid, "status": "COMPLETED", "amount": money(5 + i),
            "invoice_id": "INV-REF-%d" % i, "note_to_payer": "Defective product",
            "seller_payable_breakdown": {
                "gross_amount": money(5 + i), "paypal_fee": money(0.5),
                "net_amount": money(4.5 + i),
                "platform_fees": [{"amount": money(0.1)}] if i % 2 == 0 else [],
                "net_amount_breakdown": [{"payable_amount": money(4.5 + i),
                                          "converted_amount": money(4.0 + i, "EUR")}],
                "total_refunded_amount": money(5 + i)},
            "create_time": ts(i), "update_time": ts(i + 3),
            "links": [_link(base, "/v2/payments/refunds/" + rid)]}


def _purchase_unit_payments(i, u, base):
    """The first unit of order i holds authorization, capture and refund i;
    the second has empty arrays; the third has none."""
    if u == 0:
        auth, cap, ref = authorization(i, base), capture(i, base), refund(i, base)
        keep = ("id", "status", "amount", "create_time", "update_time", "links")
        return {"authorizations": [{k: auth[k] for k in keep}],
                "captures": [{k: cap[k] for k in keep}],
                "refunds": [{k: ref[k] for k in keep}]}
    return {"authorizations": [], "captures": [], "refunds": []} if u == 1 else None


def order(i, base):
    oid = "5O190127TN3647%03d" % i
    units = []
    for u in range(1 + i % 3):
        unit = {
            "reference_id": "PUHF-%d-%d" % (i, u), "amount": money(20 + u + i),
            "payee": {"email_address": "merchant@example.com", "merchant_id": "7KNGBPH2U58GQ"},
            "payment_instruction": {"platform_fees": [{"amount": money(1)}],
                                    "disbursement_mode": ("INSTANT", "DELAYED")[u % 2]},
            "description": "Sporting goods %d" % u, "custom_id": "CUST-%d" % u,
            "invoice_id": "INV-ORD-%d-%d" % (i, u), "soft_descriptor": "EMU*SHOP",
            "items": [{"name": "T-Shirt", "quantity": "1", "unit_amount": money(20)},
                      {"name": "Socks", "quantity": "2", "unit_amount": money(u + i)}],
            "shipping": {"name": {"full_name": "John Doe"}, "type": "SHIPPING",
                         "address": {"address_line_1": "2211 N First Street",
                                     "admin_area_2": "San Jose", "admin_area_1": "CA",
                                     "postal_code": "95131", "country_code": "US"}},
        }
        if u == 1:
            unit["payment_instruction"]["payee_pricing_tier_id"] = "TIER-%d" % i
            unit["shipping"]["address"]["address_line_2"] = "Building %d" % (10 + i)
        payments = _purchase_unit_payments(i, u, base)
        if payments is not None:
            unit["payments"] = payments
        units.append(unit)
    return {"id": oid, "intent": "CAPTURE", "status": ("CREATED", "APPROVED", "COMPLETED")[i % 3],
            "create_time": ts(i), "update_time": ts(i + 1),
            "payment_source": {"paypal": {"email_address": "buyer%d@example.com" % i,
                                          "account_id": "QYR5Z8XDVJNXQ"}},
            "payer": {"email_address": "buyer%d@example.com" % i, "payer_id": "QYR5Z8XDVJNXQ",
                      "name": {"given_name": "John", "surname": "Doe"}},
            "purchase_units": units,
            "links": [_link(base, "/v2/checkout/orders/" + oid)]}


def payment_id(i):
    return "PAY-%02dK45678BC%010d" % (i % 100, 1000 + i)


def sale_id(i):
    return "36C38912MN9658%03d" % i


def sale(i, base):
    sid = sale_id(i)
    obj = {"id": sid, "create_time": ts(i, offset="-07:00"), "update_time": ts(i + 1),
           "amount": {"total": "%.2f" % (7.47 + i), "currency": "USD",
                      "details": {"subtotal": "%.2f" % (7.47 + i), "shipping": "0.00",
                                  "tax": "0.03", "handling_fee": "1.00",
                                  "shipping_discount": "-1.00", "insurance": "0.00",
                                  "gift_wrap": "0.00"}},
           "payment_mode": "INSTANT_TRANSFER", "state": "completed",
           "protection_eligibility": "ELIGIBLE",
           "protection_eligibility_type": "ITEM_NOT_RECEIVED_ELIGIBLE",
           "clearing_time": "2024-02-%02dT10:00:00Z" % (1 + i % 28),
           "transaction_fee": payout_money(0.55),
           "receivable_amount": payout_money(6.92 + i),
           "exchange_rate": "1.0", "receipt_id": "4000-%04d-%04d-%04d" % (i, 2 * i, 3 * i),
           "parent_payment": payment_id(i),
           "processor_response": {"response_code": "0000", "avs_code": "Y", "cvv_code": "M"},
           "links": [_link(base, "/v1/payments/sale/" + sid)]}
    if i % 2:
        # Held for review: the reasons, the filters that fired, the card's answers.
        obj.update({"state": "pending", "reason_code": "PAYMENT_REVIEW",
                    "payment_hold_status": "HELD",
                    "payment_hold_reasons": [{"payment_hold_reason": "PAYMENT_HOLD"}],
                    "fmf_details": {"filter_type": "PENDING", "filter_id": "AVS_NO_MATCH",
                                    "name": "AVS no match",
                                    "description": "The billing address does not match."},
                    "billing_agreement_id": "B-%017d" % i,
                    "transaction_fee_in_receivable_currency": payout_money(0.51, "EUR")})
        obj["processor_response"].update(advice_code="02_TRY_AGAIN_LATER", eci_submitted="05",
                                         vpas="2")
    else:
        obj["payment_hold_reasons"] = []
    return obj


def plan(i, base, full):
    pid = "P-%04dABCDEF%02d" % (5000 + i, i % 97)
    obj = {"id": pid, "product_id": "PROD-XXCD1234QWER65782", "name": "Video Streaming %d" % i,
           "status": ("ACTIVE", "INACTIVE", "CREATED")[i % 3],
           "description": "Video Streaming Service basic plan",
           "create_time": ts(i), "update_time": ts(i + 1)}
    if full:
        cycles = [{"frequency": {"interval_unit": "MONTH", "interval_count": 1},
                   "tenure_type": "TRIAL", "sequence": 1, "total_cycles": 2,
                   "pricing_scheme": {"fixed_price": money(3), "version": 1,
                                      "create_time": ts(i), "update_time": ts(i)}}]
        for c in range(1 + i % 3):
            cycles.append({"frequency": {"interval_unit": "MONTH", "interval_count": 1},
                           "tenure_type": "REGULAR", "sequence": 2 + c, "total_cycles": 12,
                           "pricing_scheme": {"fixed_price": money(10 + c), "version": 1,
                                              "pricing_model": "VOLUME" if c else None,
                                              "tiers": [{"starting_quantity": "1",
                                                         "amount": money(10)}] if c else [],
                                              "create_time": ts(i), "update_time": ts(i)}})
            if not c:
                del cycles[-1]["pricing_scheme"]["pricing_model"]
        obj.update({"billing_cycles": cycles,
                    "payment_preferences": {"auto_bill_outstanding": i % 2 == 0,
                                            "setup_fee": money(10),
                                            "setup_fee_failure_action": "CONTINUE",
                                            "payment_failure_threshold": 3},
                    "taxes": {"percentage": "10", "inclusive": False},
                    "quantity_supported": i % 2 == 1})
    obj["links"] = [_link(base, "/v1/billing/plans/" + pid)]
    return obj


def _address(i):
    """A portable address (v2 and billing APIs)."""
    return {"address_line_1": "2211 N First Street", "address_line_2": "Building %d" % (17 + i),
            "admin_area_2": "San Jose", "admin_area_1": "CA", "postal_code": "95131",
            "country_code": "US"}


def subscription(i, base):
    sid = "I-BW452GLLEP1G%02d" % i
    obj = {"id": sid, "plan_id": "P-5ML4271244454362WXNWU5NQ",
           "status": ("ACTIVE", "SUSPENDED", "CANCELLED")[i % 3],
           "status_update_time": ts(i), "start_time": ts(i), "quantity": "%d" % (1 + i % 5),
           "shipping_amount": money(10),
           # The subscriber's name "supports only given_name and surname".
           "subscriber": {"name": {"given_name": "John", "surname": "Doe %d" % i},
                          "email_address": "customer%d@example.com" % i,
                          "payer_id": "2J6QB8YJQSJRJ",
                          "shipping_address": {"name": {"full_name": "John Doe"},
                                               "address": _address(i)}},
           "billing_info": {"outstanding_balance": money(0),
                            "cycle_executions": [{"tenure_type": "TRIAL", "sequence": 1,
                                                  "cycles_completed": 1,
                                                  "cycles_remaining": 0,
                                                  "total_cycles": 1}],
                            "last_payment": {"amount": money(1.15), "time": ts(i)},
                            "next_billing_time": "2024-05-01T10:00:00Z",
                            "failed_payments_count": i % 2},
           "create_time": ts(i), "update_time": ts(i + 1),
           "links": [_link(base, "/v1/billing/subscriptions/" + sid)]}
    if i % 3:
        obj["status_change_note"] = ("Item out of stock", "Customer asked to cancel")[i % 3 - 1]
        obj["billing_info"]["final_payment_time"] = "2024-04-%02dT10:00:00.000Z" % (1 + i)
    if i % 2:
        obj["subscriber"]["phone"] = {"phone_type": "MOBILE",
                                      "phone_number": {"national_number": "4085550%03d" % i}}
        obj["subscriber"]["payment_source"] = {"card": {
            "name": "John Doe", "last_digits": "%04d" % (1111 * (i % 9)), "brand": "VISA",
            "type": "CREDIT", "expiry": "2027-%02d" % (1 + i % 12), "billing_address": _address(i)}}
        obj["billing_info"]["last_failed_payment"] = {
            "amount": money(1.15), "time": ts(i + 2), "reason_code": "PAYMENT_DENIED"}
    return obj


def subscription_transaction(i):
    obj = {"status": ("COMPLETED", "DECLINED", "PARTIALLY_REFUNDED")[i % 3],
           "id": "TRANS-%05d" % i,
           "amount_with_breakdown": {"gross_amount": money(10 + i), "fee_amount": money(0.5),
                                     "net_amount": money(9.5 + i)},
           "payer_name": name(i) if i % 2 else {"given_name": "John", "surname": "Doe"},
           "payer_email": "customer@example.com",
           "time": "2024-01-%02dT07:%02d:00Z" % (1 + i % 28, i % 60)}
    if i % 3 == 0:
        obj["amount_with_breakdown"].update(total_item_amount=money(9 + i),
                                            shipping_amount=money(0.6), tax_amount=money(0.4))
    return obj


def _v1_address(i):
    return {"line1": "4th Floor", "line2": "Unit #%d" % (30 + i), "city": "San Jose",
            "country_code": "US", "postal_code": "95131", "state": "CA",
            "phone": "011 862 212345678", "normalization_status": "NORMALIZED",
            "type": "HOME_OR_WORK"}


def payment(i, base):
    pid = payment_id(i)
    txns = []
    for t in range(1 + i % 3):
        txn = {"amount": {"total": "%.2f" % (30 + t + i), "currency": "USD",
                          "details": {"subtotal": "%.2f" % (30 + t + i), "tax": "0.07",
                                      "shipping": "0.03"}},
               "payee": {"email": "merchant@example.com", "merchant_id": "7KNGBPH2U58GQ"},
               "description": "Transaction %d of payment %d" % (t, i),
               "invoice_number": "4880%04d%d" % (i, t), "custom": "",
               "soft_descriptor": "ECHI5786786",
               "item_list": {"items": [{"name": "hat", "sku": "1", "price": "3.00",
                                        "currency": "USD", "quantity": "5"}],
                             "shipping_address": {"recipient_name": "Brian Robinson",
                                                  "line1": "4th Floor", "city": "San Jose",
                                                  "country_code": "US",
                                                  "postal_code": "95131",
                                                  "state": "CA"}},
               "related_resources": [{"sale": {"id": sale_id(i) if t == 0 else
                                               "SALE-%d-%d" % (i, t), "state": "completed"}}]}
        if t == 1:
            txn["amount"]["details"].update(handling_fee="1.00", shipping_discount="-1.00",
                                            insurance="0.50", gift_wrap="2.00")
            txn["note_to_payee"] = "Contact us for any questions on your order."
            txn["notify_url"] = "https://example.com/ipn/%d" % i
            txn["item_list"]["shipping_address"] = dict(_v1_address(i),
                                                        recipient_name="Brian Robinson")
        txns.append(txn)
    created = "2024-01-%02dT%02d:%02d:00Z" % (1 + i % 28, i % 24, (i * 3) % 60)
    obj = {"id": pid, "intent": "sale", "state": ("approved", "created", "failed")[i % 3],
           "payer": {"payment_method": "paypal", "status": "VERIFIED",
                     "payer_info": {"email": "buyer%d@example.com" % i, "first_name": "Betsy",
                                    "last_name": "Buyer", "payer_id": "CR87QHB7JTRSC",
                                    "shipping_address": {"recipient_name": "Betsy Buyer"}}},
           "transactions": txns, "create_time": created, "update_time": created,
           "links": [_link(base, "/v1/payments/payment/" + pid)]}
    if i % 3 == 2:
        obj["failure_reason"] = "PAYER_CANNOT_PAY"
    if i % 2:
        # A card payment set up with every optional member.
        obj["payer"].update(payment_method="credit_card", funding_instruments=[
            {"credit_card_token": {"credit_card_id": "CARD-%02dW%014d" % (i % 100, 5000 + i),
                                   "last4": "%04d" % (1000 + i), "type": "visa",
                                   "expire_month": 11, "expire_year": "2027"}}])
        obj["payer"]["payer_info"].update(
            salutation="Ms.", middle_name="Q", suffix="Sr.", birth_date="1990-04-12",
            tax_id="12345678901", tax_id_type="BR_CPF", billing_address=_v1_address(i))
        obj.update({"experience_profile_id": "XP-%04d-EMU" % i,
                    "note_to_payer": "Thank you for your order.",
                    "redirect_urls": {"return_url": "https://example.com/return?i=%d" % i,
                                      "cancel_url": "https://example.com/cancel?i=%d" % i},
                    "application_context": {
                        "brand_name": "EMU Shop", "locale": "en-US", "landing_page": "Billing",
                        "shipping_preference": "SET_PROVIDED_ADDRESS", "user_action": "commit",
                        "preferred_payment_source": {"token": {"id": "B-%017d" % i,
                                                               "type": "BILLING_AGREEMENT"}},
                        "payment_pattern": "CUSTOMER_PRESENT_ONETIME_PURCHASE"}})
    return obj


def payout_item(batch, i, base):
    iid = "8AELMXH8UB2P%04d" % (batch * 100 + i)
    obj = {"payout_item_id": iid, "transaction_id": "0C413693MN970190K%02d" % i,
           "activity_id": "0E158638XS0929%03d" % i,
           "transaction_status": ("SUCCESS", "UNCLAIMED", "PENDING")[i % 3],
           "payout_item_fee": {"currency": "USD", "value": "0.35"},
           "payout_batch_id": "5UXD2E8A7EBQ%d" % batch,
           "payout_item": {"recipient_type": "EMAIL",
                           "amount": {"currency": "USD", "value": "%.2f" % (9.87 + i)},
                           "note": "Thanks for your patronage!",
                           "receiver": "receiver%d@example.com" % i,
                           "sender_item_id": "14Feb_%03d" % i,
                           "recipient_wallet": "PAYPAL"},
           "time_processed": ts(i),
           "links": [_link(base, "/v1/payments/payouts-item/" + iid)]}
    if i % 3 == 1:
        obj["payout_item"]["recipient_name"] = name(i)
        obj["currency_conversion"] = {"from_amount": payout_money(9.87 + i),
                                      "to_amount": payout_money((9.87 + i) * 0.92, "EUR"),
                                      "exchange_rate": "0.92"}
    return obj


def payout_batch(batch, count, base):
    return {"batch_header": {"payout_batch_id": "5UXD2E8A7EBQ%d" % batch,
                             "batch_status": "SUCCESS", "time_created": ts(batch),
                             "time_completed": ts(batch + 1), "time_closed": ts(batch + 2),
                             "sender_batch_header": {"sender_batch_id": "Payouts_%d" % batch,
                                                     "recipient_type": "EMAIL",
                                                     "email_subject": "You have a payout!",
                                                     "email_message": "You have received a "
                                                                      "payout!"},
                             "funding_source": "BALANCE",
                             "amount": payout_money(100.0 * count),
                             "fees": payout_money(0.35 * count)},
            "items": [payout_item(batch, i, base) for i in range(count)]}


def _dispute_history(i, created):
    """The members a dispute gathers as it runs; the even ones have none."""
    if i % 2 == 0:
        return {"messages": [], "evidences": []}
    return {
        "external_reason_code": "4855",
        "adjudications": [{"type": "PAYOUT_TO_BUYER", "adjudication_time": created,
                           "reason": "BUYER_ATTEMPTED_RETURN",
                           "dispute_life_cycle_stage": "CHARGEBACK"}],
        "money_movements": [{"affected_party": "SELLER", "amount": money(3 + i),
                             "initiated_time": created, "type": "DEBIT",
                             "reason": "DISPUTE_SETTLEMENT"}],
        "messages": [{"posted_by": "BUYER", "time_posted": created,
                      "content": "The item never arrived."}],
        "extensions": {"merchant_contacted": True, "merchant_contacted_outcome": "NO_RESPONSE",
                       "merchant_contacted_time": created, "merchant_contacted_mode": "EMAIL"},
        "evidences": [{"evidence_type": "PROOF_OF_FULFILLMENT", "notes": "Shipped by post.",
                       "evidence_info": {"tracking_info": [{"carrier_name": "UPS",
                                                            "tracking_number": "1Z%06d" % i}]},
                       "date": created}],
        "refund_details": {"allowed_refund_amount": money(3 + i)},
        "communication_details": {"email": "buyer%d@example.com" % i,
                                  "note": "Please refund.", "time_posted": created},
        "supporting_info": [{"notes": "Tracking attached.", "source": "SUBMITTED_BY_SELLER",
                             "provided_time": created}],
        "allowed_response_options": {"acknowledge_return_item": {
            "acknowledgement_types": ["ITEM_RECEIVED"]}},
    }


def dispute(i, base):
    """A dispute as GET by id sends it, with `dispute_state`, which only the
    list's items carry (emu_tables.py leaves it out of the single reply)."""
    did = "PP-D-%05d" % (27803 + i)
    states = ("REQUIRED_ACTION", "REQUIRED_OTHER_PARTY_ACTION", "UNDER_PAYPAL_REVIEW",
              "RESOLVED", "OPEN_INQUIRIES")
    created = "2023-%02d-%02dT%02d:18:00.000Z" % (1 + i % 12, 1 + i % 28, i % 24)
    obj = {"dispute_id": did, "create_time": created, "update_time": created,
           "reason": ("MERCHANDISE_OR_SERVICE_NOT_RECEIVED", "UNAUTHORISED")[i % 2],
           "status": ("OPEN", "WAITING_FOR_SELLER_RESPONSE", "RESOLVED")[i % 3],
           "dispute_state": states[i % len(states)],
           "dispute_amount": money(3 + i),
           "dispute_life_cycle_stage": "CHARGEBACK", "dispute_channel": "INTERNAL",
           "buyer_response_due_date": "2023-12-%02dT23:59:59.000Z" % (1 + i % 28),
           "seller_response_due_date": "2023-12-%02dT23:59:59.000Z" % (1 + i % 28),
           "disputed_transactions": [
               {"buyer_transaction_id": "2BD%05dFH" % (i * 10 + t),
                "seller_transaction_id": "6KA%05dYS" % (i * 10 + t),
                "reference_id": "REF-%d-%d" % (i, t),
                "create_time": "2023-01-%02dT04:12:31-08:00" % (1 + t),
                "transaction_status": "COMPLETED",
                "gross_amount": money(3 + i + t), "invoice_number": "INV-%d" % t,
                "custom": "", "buyer": {"name": "Lupe Justin"},
                "seller": {"email": "merchant@example.com", "merchant_id": "RXXAVYJ6V5KMG",
                           "name": "Lesley Paul"},
                "items": [{"item_id": "ITEM%d" % t, "item_description": "pen"}] if t < 2 else []}
               for t in range(1 + i % 3)],
           "offer": {"buyer_requested_amount": money(3 + i)},
           "links": [_link(base, "/v1/customer/disputes/" + did)]}
    obj.update(_dispute_history(i, created))
    if i % 2:
        obj["dispute_outcome"] = {"outcome_code": "RESOLVED_BUYER_FAVOUR",
                                  "amount_refunded": money(3 + i)}
    return obj


def credit_card(i, base):
    cid = "CARD-%02dW%014d" % (i % 100, 5000 + i)
    return {"id": cid, "state": "ok", "type": ("visa", "mastercard", "amex")[i % 3],
            "number": "xxxxxxxxxxxx%04d" % (1000 + i), "expire_month": str(1 + i % 12),
            "expire_year": str(2027 + i % 3), "first_name": "Joe", "last_name": "Shopper %d" % i,
            "external_customer_id": "customer-%d" % (i % 5),
            "merchant_id": "merchant-%d" % (i % 2),
            "external_card_id": "ext-card-%d" % i,
            "billing_address": {"line1": "52 N Main St.", "city": "Johnstown",
                                "country_code": "US", "postal_code": "43210", "state": "OH"},
            "create_time": "2024-01-%02dT%02d:00:00Z" % (1 + i % 28, i % 24),
            "update_time": "2024-01-%02dT%02d:30:00Z" % (1 + i % 28, i % 24),
            "valid_until": "2027-01-%02dT00:00:00Z" % (1 + i % 28),
            "links": [_link(base, "/v1/vault/credit-cards/" + cid)]}


def webhook(i, base):
    wid = "0EH40505U7160970%s" % "PQRSTUVWXY"[i]
    names = ["PAYMENT.AUTHORIZATION.CREATED", "PAYMENT.AUTHORIZATION.VOIDED",
             "PAYMENT.CAPTURE.COMPLETED", "CHECKOUT.ORDER.APPROVED"]
    events = [{"name": n, "description": "A payment event %d." % k, "status": "ENABLED",
               "resource_versions": ["1.0", "2.0"] if k % 2 else []}
              for k, n in enumerate(names[:1 + (i + 1) % 4])]
    return {"id": wid, "url": "https://example.com/example_webhook_%d" % i,
            "event_types": events if i != 3 else [],
            "links": [_link(base, "/v1/notifications/webhooks/" + wid)]}


def balances():
    return {"balances": [
        {"currency": "USD", "primary": True, "total_balance": money(4530.12),
         "available_balance": money(4500.12), "withheld_balance": money(30)},
        {"currency": "EUR", "primary": False, "total_balance": money(120.5, "EUR"),
         "available_balance": money(120.5, "EUR"), "withheld_balance": money(0, "EUR")},
        {"currency": "CAD", "primary": False, "total_balance": money(10, "CAD"),
         "available_balance": money(10, "CAD")}],
        # Not asked for a time, PayPal serves its last refresh.
        "account_id": "7KNGBPH2U58GQ", "as_of_time": "2024-05-01T05:59:00Z",
        "last_refresh_time": "2024-05-01T07:59:00+02:00"}


def userinfo():
    return {"user_id": "https://www.paypal.com/webapps/auth/identity/user/mWq6_1sU85v5EG9yHdP",
            "name": "Roy Wolf", "given_name": "Roy", "family_name": "Wolf",
            "payer_id": "WDJJHEBZ4X2LY", "verified_account": "true",
            "emails": [{"value": "user1@example.com", "primary": True, "confirmed": True},
                       {"value": "user2@example.com", "primary": False, "confirmed": False}],
            "address": {"street_address": "1 Main St", "locality": "San Jose",
                        "region": "CA", "postal_code": "95131", "country": "US"}}


def make_rows(base, counts=None):
    """All collections the table endpoints serve; `counts` overrides the
    number of list rows (the benchmark asks for 2,000 plans)."""
    counts = dict({"plans": 45, "payments": 45, "disputes": 45, "cards": 45,
                   "transactions": 45, "payout_items": 45}, **(counts or {}))
    return {
        "authorizations": [authorization(i, base) for i in range(5)],
        "captures": [capture(i, base) for i in range(5)],
        "refunds": [refund(i, base) for i in range(5)],
        "orders": [order(i, base) for i in range(5)],
        "sales": [sale(i, base) for i in range(5)],
        "plans": [plan(i, base, True) for i in range(counts["plans"])],
        "subscriptions": [subscription(i, base) for i in range(3)],
        "transactions": [subscription_transaction(i) for i in range(counts["transactions"])],
        "payments": [payment(i, base) for i in range(counts["payments"])],
        "payouts": [payout_batch(0, counts["payout_items"], base), payout_batch(1, 2, base)],
        "disputes": [dispute(i, base) for i in range(counts["disputes"])],
        "cards": [credit_card(i, base) for i in range(counts["cards"])],
        "webhooks": [webhook(i, base) for i in range(4)],
        "balances": balances(),
        "userinfo": userinfo(),
    }
