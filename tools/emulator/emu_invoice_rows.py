"""The members of the invoices (emu_data.make_invoices) that vary from one
invoice to the next: child arrays of several elements (items, attachments,
phones, recipients, payment and refund transactions), and the optional
members of the published `invoice` schema (metadata of sent and cancelled
invoices, discounts, shipping, custom amounts, gratuity, partial payments,
recipients' phones and shipping addresses), each on some invoices only.

The first invoice keeps one element in every child array; the last keeps
one item, phone and recipient and has no attachments, additional
recipients, payments or refunds. Dates the schema gives as `date_no_time` are "YYYY-MM-DD".

Exports: enrich_invoices(invoices).
"""


def _money(value, currency="USD"):
    return {"currency_code": currency, "value": "%.2f" % value}


def _recipient(i, k, email):
    """A primary recipient; the odd invoices' carry a phone, a language and a
    shipping address with every part."""
    out = {"billing_info": {"name": {"given_name": "Stephanie", "surname": "Meyers"},
                            "email_address": email}}
    if i % 2:
        out["billing_info"].update(
            phones=[{"country_code": "001", "national_number": "40855532%02d" % k,
                     "phone_type": "HOME"}],
            additional_info="Customer since 2019", language="en-US")
        out["shipping_info"] = {
            "business_name": "Meyers Yoga %d" % k,
            "name": {"prefix": "Ms.", "given_name": "Stephanie", "middle_name": "A",
                     "surname": "Meyers", "suffix": "PhD",
                     "full_name": "Ms. Stephanie A Meyers PhD"},
            "address": {"address_line_1": "1234 Main Street", "address_line_2": "Suite 3",
                        "address_line_3": "Rear entrance", "admin_area_1": "CA",
                        "admin_area_2": "Anytown", "admin_area_3": "Downtown",
                        "admin_area_4": "Block %d" % k, "postal_code": "98765",
                        "country_code": "US",
                        "address_details": {"street_number": "1234", "street_name": "Main",
                                            "street_type": "Street", "delivery_service": "PO",
                                            "building_name": "Tower", "sub_building": "3"}}}
    return out


def _optional_members(i, inv):
    """Members the schema has that only some invoices carry."""
    meta = inv["detail"]["metadata"]
    created = meta["create_time"]
    if inv["status"] != "DRAFT":
        meta.update(first_sent_time=created, last_sent_time=created,
                    last_sent_by="merchant@example.com",
                    created_by_flow=("REGULAR_SINGLE", "BATCH")[i % 2])
    if inv["status"] == "CANCELLED":
        meta.update(cancel_time=created, cancelled_by="merchant@example.com")
    if i % 5 == 1:
        # A copy of an earlier invoice.
        inv["parent_id"] = "INV2-PARENT-%04d" % i
    if i % 3 == 1:
        inv["invoicer"]["additional_notes"] = "Paid invoices are final."
        inv["configuration"]["partial_payment"] = {"allow_partial_payment": True,
                                                   "minimum_amount_due": _money(20)}
        breakdown = inv["amount"]["breakdown"]
        breakdown["discount"] = {"invoice_discount": {"percent": "5", "amount": _money(2.5)},
                                 "item_discount": _money(1)}
        breakdown["shipping"] = {"amount": _money(10)}
        breakdown["custom"] = {"label": "Packing charges", "amount": _money(4.5)}
    if inv["configuration"]["allow_tip"]:
        inv["gratuity"] = _money(1.5 * (i % 4))


def enrich_invoices(invoices):
    """Gives the invoices their child arrays and optional members (above)."""
    for i, inv in enumerate(invoices):
        _optional_members(i, inv)
        if i == 0:
            continue
        n = 1 + i % 3
        if i == len(invoices) - 1:
            n = 0
        base_item = inv["items"][0]
        inv["items"] = [dict(base_item, id="ITEM-%d-%d" % (i + 1, k), name="Item %d" % k)
                        for k in range(max(n, 1))]
        if i % 2:
            inv["items"][0].update(description="Elastic mat to practice yoga.",
                                   item_date="2024-%02d-%02d" % (1 + i % 12, 1 + i % 28),
                                   discount={"percent": "5", "amount": _money(0.5)})
        inv["detail"]["attachments"] = [{"id": "Screen Shot %d-%d.png" % (i, k),
                                         "reference_url": "https://example.com/a/%d/%d" % (i, k),
                                         "content_type": "image/png", "size": "%d" % (1000 + k),
                                         "create_time": "2024-01-02T03:04:05Z"}
                                        for k in range(n)]
        inv["invoicer"]["phones"] = [{"country_code": "001", "national_number": "40855512%02d" % k,
                                      "phone_type": ("MOBILE", "HOME", "FAX")[k]}
                                     for k in range(max(n, 1))]
        if n > 1:
            inv["invoicer"]["phones"][1]["extension_number"] = "%03d" % i
        inv["primary_recipients"] = [_recipient(i, k, "bill-me-%d@example.com" % (i + 1)
                                                if k == 0 else "bill-me-%d-%d@example.com" % (i + 1, k))
                                     for k in range(max(n, 1) if i % 2 else 1)]
        inv["additional_recipients"] = ["cc%d-%d@example.com" % (i, k)
                                        for k in range(n)]
        inv["payments"] = {"paid_amount": {"currency_code": "USD", "value": "%d.00" % (n * 10)},
                           "transactions": [{"payment_id": "PAYID-%d-%d" % (i, k),
                                             "type": "PAYPAL", "method": "PAYPAL",
                                             "payment_date": "2024-03-0%d" % (k + 1),
                                             "amount": {"currency_code": "USD",
                                                        "value": "10.00"}}
                                            for k in range(n)]}
        inv["refunds"] = {"refund_amount": {"currency_code": "USD", "value": "%d.00" % n},
                          "transactions": [{"refund_id": "REFID-%d-%d" % (i, k),
                                            "type": "PAYPAL", "method": "PAYPAL",
                                            "refund_date": "2024-04-0%d" % (k + 1),
                                            "amount": {"currency_code": "USD", "value": "1.00"}}
                                           for k in range(n)]}
