"""Canned PayPal objects and PayPal's error replies for the emulator.

Invoices follow the v2 invoicing shapes: ids like INV2-XXXX-XXXX-XXXX-XXXX,
amounts as currency_code/value strings, RFC 3339 times and HATEOAS links.
The data is generated from a seed, so every start gives the same objects.

Exports: make_invoices(count, base), invoice_page(...), error_body(...),
auth_failure(), token_invalid_client().
"""
import random
import uuid

_STATUSES = ["DRAFT", "SENT", "SCHEDULED", "PAID", "MARKED_AS_PAID", "CANCELLED",
             "REFUNDED", "PARTIALLY_PAID", "UNPAID"]
_ALNUM = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789"


def _money(value, currency="USD"):
    return {"currency_code": currency, "value": "%.2f" % value}


def _invoice_id(rnd):
    groups = ["".join(rnd.choice(_ALNUM) for _ in range(4)) for _ in range(4)]
    return "INV2-" + "-".join(groups)


def make_invoices(count, base):
    """Returns a list of `count` invoice objects; `base` is the API base URL
    used in their links."""
    rnd = random.Random(20240501)
    out = []
    for i in range(count):
        iid = _invoice_id(rnd)
        total = round(rnd.uniform(5, 2500), 2)
        tax = round(total * 0.08, 2)
        status = _STATUSES[i % len(_STATUSES)]
        day = 1 + i % 28
        month = 1 + (i // 28) % 12
        created = "2024-%02d-%02dT%02d:%02d:%02dZ" % (month, day, i % 24, i % 60, (i * 7) % 60)
        href = "%s/v2/invoicing/invoices/%s" % (base, iid)
        out.append({
            "id": iid,
            "status": status,
            "detail": {
                "reference": "deal-ref-%d" % (i + 1),
                "currency_code": "USD",
                "note": "Thank you for your business.",
                "terms_and_conditions": "No refunds after 30 days.",
                "memo": "Emulator invoice %d" % (i + 1),
                "invoice_number": "%07d" % (1000 + i),
                "invoice_date": "2024-%02d-%02d" % (month, day),
                "payment_term": {"term_type": "NET_10",
                                 "due_date": "2024-%02d-%02d" % (month, min(day + 10, 28))},
                "metadata": {"create_time": created, "created_by": "merchant@example.com",
                             "last_update_time": created,
                             "last_updated_by": "merchant@example.com",
                             "recipient_view_url": "https://www.example.com/invoice/p/#" + iid,
                             "invoicer_view_url": "https://www.example.com/invoice/details/" + iid},
            },
            "invoicer": {
                "name": {"given_name": "David", "surname": "Larusso"},
                "email_address": "merchant@example.com",
                "phones": [{"country_code": "001", "national_number": "4085551234",
                            "phone_type": "MOBILE"}],
                "website": "www.example.com",
                "tax_id": "ABcNkWSfb5ICTt73nD3QON1fnnpgNKBy-Jb5SeuGj185MNNw6g",
                "logo_url": "https://example.com/logo.PNG",
            },
            "primary_recipients": [{"billing_info": {
                "name": {"given_name": "Stephanie", "surname": "Meyers"},
                "email_address": "bill-me-%d@example.com" % (i + 1)}}],
            "items": [{"id": "ITEM-%d" % (i + 1), "name": "Yoga Mat", "quantity": "1",
                       "unit_amount": _money(total - tax),
                       "tax": {"name": "Sales Tax", "percent": "8", "amount": _money(tax)},
                       "unit_of_measure": "QUANTITY"}],
            "configuration": {"tax_calculated_after_discount": True, "tax_inclusive": False,
                              "allow_tip": i % 2 == 0,
                              "partial_payment": {"allow_partial_payment": False},
                              "template_id": "TEMP-19V05281TU309413B"},
            "amount": {"currency_code": "USD", "value": "%.2f" % total,
                       "breakdown": {"item_total": _money(total - tax),
                                     "tax_total": _money(tax)}},
            "due_amount": _money(0 if status == "PAID" else total),
            "links": [
                {"href": href, "rel": "self", "method": "GET"},
                {"href": href + "/send", "rel": "send", "method": "POST"},
                {"href": href, "rel": "replace", "method": "PUT"},
                {"href": href, "rel": "delete", "method": "DELETE"},
            ],
        })
    return out


def invoice_page(invoices, page, page_size, total_required, base):
    """The list reply for one page (page from 1)."""
    total_items = len(invoices)
    total_pages = max(1, (total_items + page_size - 1) // page_size)
    start = (page - 1) * page_size
    body = {"items": invoices[start:start + page_size]}
    if total_required:
        body["total_items"] = total_items
        body["total_pages"] = total_pages
    href = "%s/v2/invoicing/invoices?page=%%d&page_size=%d&total_required=%s" % (
        base, page_size, "true" if total_required else "false")
    links = [{"href": href % page, "rel": "self", "method": "GET"}]
    if page > 1:
        links.append({"href": href % 1, "rel": "first", "method": "GET"})
        links.append({"href": href % (page - 1), "rel": "prev", "method": "GET"})
    if page < total_pages:
        links.append({"href": href % (page + 1), "rel": "next", "method": "GET"})
        links.append({"href": href % total_pages, "rel": "last", "method": "GET"})
    body["links"] = links
    return body


def debug_id():
    return uuid.uuid4().hex[:13]


def error_body(name, message, details=None, doc=None):
    """PayPal's error JSON (name, message, debug_id, details, links)."""
    body = {"name": name, "message": message, "debug_id": debug_id()}
    if details:
        body["details"] = details
    body["links"] = [{"href": "https://developer.paypal.com/docs/api/invoicing/v2/#error-"
                      + (doc or name), "rel": "information_link", "method": "GET"}]
    return body


def auth_failure():
    return error_body("AUTHENTICATION_FAILURE",
                      "Authentication failed due to invalid authentication credentials or a "
                      "missing Authorization header.")


def token_invalid_client():
    return {"error": "invalid_client", "error_description": "Client Authentication failed"}
