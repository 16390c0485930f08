"""The transaction search (GET /v1/reporting/transactions) with two years of
generated transactions, in the published `search_response` shape.

The API's rules are kept: start_date and end_date are required, a range may
span at most 31 days ("Date range is greater than 31 days"), data older than
three years is not available, both bounds are inclusive and compared with
each transaction's initiation date, page_size runs from 1 to 500 and the
reply carries page, total_items and total_pages. Filters: transaction_id,
transaction_type (event code), transaction_status, transaction_currency,
transaction_amount ("<low> TO <high>" in minor units, brackets optional),
balance_affecting_records_only ("Y", the default: only the records that
change the balance; "N": every record) and fields (transaction_info by
default, "all", or a comma list of sections).

The transactions end at the midnight (UTC) before the emulator started and
reach back 730 days; their number per day follows a seeded generator with
busy Novembers and Decembers, so a 31-day window there needs two pages of
500. About a third have several cart items. Besides them, a second seeded
generator adds records that do not change the balance (authorizations,
reauthorizations and voids, T13xx; display-only records, T98xx), a few a day,
some with carts: drawn apart, they leave the balance-affecting records
exactly as they would be without them.

Exports: Reporting (the data), search(reporting, query) -> Reply,
dump(reporting, start, end, balance_affecting_only), affects_balance(event),
window_limit_seconds, history_start(now).
"""
import bisect
import json
import random
import re
import time
from datetime import datetime, timezone

import emu_data
from emu_http import Reply

WINDOW_DAYS = 31
HISTORY_YEARS = 3
DAYS_OF_DATA = 730
MAX_PAGE_SIZE = 500
window_limit_seconds = WINDOW_DAYS * 86400
_ZERO_DECIMAL = {"JPY", "HUF", "TWD"}
_SECTIONS = ("transaction_info", "payer_info", "shipping_info", "auction_info", "cart_info",
             "incentive_info", "store_info")
_ALNUM = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789"
_EVENTS = [("T0006", 5), ("T0007", 3), ("T0002", 2), ("T0011", 1), ("T1107", 1), ("T0400", 1)]
# Records PayPal lists only with balance_affecting_records_only=N: an
# authorization holds no money of the merchant's yet, a void releases it, a
# display-only record moves none.
_NON_BALANCE_EVENTS = [("T1300", 6), ("T1301", 1), ("T1302", 2), ("T9800", 1)]
_NON_BALANCE_GROUPS = ("T13", "T98")
_CART_EVENTS = ("T0006", "T0007", "T0011", "T1300", "T1301")
_STATUSES = ["S"] * 14 + ["P", "D", "V"]
_CURRENCIES = ["USD"] * 8 + ["EUR", "EUR", "GBP", "JPY"]
_GOODS = [("SKU-TEE", "T-shirt", 19.99), ("SKU-MUG", "Coffee mug", 12.50),
          ("SKU-CAP", "Baseball cap", 24.00), ("SKU-BAG", "Tote bag", 31.25),
          ("SKU-PEN", "Fountain pen", 48.10), ("SKU-BOOK", "Notebook", 7.35)]
_NAMES = [("Ada", "Lovelace"), ("Alan", "Turing"), ("Grace", "Hopper"), ("Edsger", "Dijkstra"),
          ("Barbara", "Liskov"), ("Donald", "Knuth"), ("Frances", "Allen")]


def _ts(seconds):
    return datetime.fromtimestamp(seconds, timezone.utc).strftime("%Y-%m-%dT%H:%M:%S+00:00")


def _minor(currency):
    return 1 if currency in _ZERO_DECIMAL else 100


def _money(minor_units, currency):
    if currency in _ZERO_DECIMAL:
        return {"currency_code": currency, "value": "%d" % minor_units}
    sign = "-" if minor_units < 0 else ""
    return {"currency_code": currency,
            "value": "%s%d.%02d" % (sign, abs(minor_units) // 100, abs(minor_units) % 100)}


def history_start(now):
    """The first second of the three years of history before `now`."""
    d = datetime.fromtimestamp(now, timezone.utc)
    try:
        start = d.replace(year=d.year - HISTORY_YEARS)
    except ValueError:          # 29 February
        start = d.replace(year=d.year - HISTORY_YEARS, day=28)
    return int(start.timestamp())


def affects_balance(event):
    """Whether a record with transaction event code `event` changes the
    balance (what balance_affecting_records_only=Y keeps)."""
    return not event.startswith(_NON_BALANCE_GROUPS)


def _transaction(rnd, n, when, events=_EVENTS):
    event = rnd.choices([e for e, _ in events], [w for _, w in events])[0]
    currency = rnd.choice(_CURRENCIES)
    unit = _minor(currency)
    refund = event == "T1107"
    affects = affects_balance(event)
    items = []
    if event in _CART_EVENTS and rnd.random() < 0.5:
        for k in range(rnd.choice([1, 1, 2, 3, 4])):
            code, name, price = _GOODS[(n + k) % len(_GOODS)]
            qty = 1 + (n + k) % 3
            price_minor = int(round(price * unit)) if unit == 100 else int(price) * 150
            items.append({
                "item_code": code, "item_name": name,
                "item_description": "%s, size %s" % (name, "SML"[(n + k) % 3]),
                "item_quantity": str(qty),
                "item_unit_price": _money(price_minor, currency),
                "item_amount": _money(price_minor * qty, currency),
                "tax_amounts": [{"tax_amount": _money(price_minor * qty * 8 // 100, currency)}],
                "total_item_amount": _money(price_minor * qty + price_minor * qty * 8 // 100,
                                            currency),
                "invoice_number": "INV-%06d" % n})
    if items:
        gross = sum(int(round(float(i["total_item_amount"]["value"]) * unit)) for i in items)
    else:
        gross = rnd.randint(100, 250000) if unit == 100 else rnd.randint(100, 40000)
    if refund or event in ("T0400", "T1302"):
        gross = -gross
    # Only money that reaches the balance is charged a fee.
    fee = 0 if gross <= 0 or not affects else -(gross * 29 // 1000 + (30 if unit == 100 else 40))
    tid = "".join(rnd.choice(_ALNUM) for _ in range(17))
    first, last = _NAMES[n % len(_NAMES)]
    info = {
        "paypal_account_id": "MERCHANT7X2QZ",
        "transaction_id": tid,
        "transaction_event_code": event,
        "transaction_initiation_date": _ts(when),
        "transaction_updated_date": _ts(when + 60 * (n % 90)),
        "transaction_amount": _money(gross, currency),
        "transaction_status": rnd.choice(_STATUSES) if affects else "P" if event == "T1300" else "S",
        "protection_eligibility": "0%d" % (1 + n % 3),
    }
    if fee:
        info["fee_amount"] = _money(fee, currency)
    if items:
        info["shipping_amount"] = _money(0 if n % 4 else 5 * unit, currency)
        info["insurance_amount"] = _money(0, currency)
        info["discount_amount"] = _money(0 if n % 5 else -unit, currency)
        info["transaction_subject"] = "Order %d" % n
        info["invoice_id"] = "INV-%06d" % n
        info["custom_field"] = "cart-%d" % n
    if refund:
        info["paypal_reference_id"] = "".join(rnd.choice(_ALNUM) for _ in range(17))
        info["paypal_reference_id_type"] = "TXN"
        info["transaction_note"] = "Refund for order %d" % (n - 1)
    detail = {
        "transaction_info": info,
        "payer_info": {
            "account_id": "PAYER%08d" % (n % 997),
            "email_address": "%s.%s%d@example.com" % (first.lower(), last.lower(), n % 997),
            "address_status": "Y", "payer_status": "Y" if n % 6 else "N",
            "payer_name": {"given_name": first, "surname": last,
                           "alternate_full_name": "%s %s" % (first, last)},
            "country_code": "US" if currency == "USD" else "DE" if currency == "EUR"
            else "GB" if currency == "GBP" else "JP"},
        "shipping_info": {} if not items else {
            "name": "%s, %s" % (last, first),
            "address": {"line1": "%d Main Street" % (1 + n % 900), "city": "San Jose",
                        "state": "CA", "country_code": "US", "postal_code": "95131"}},
        "cart_info": {} if not items else {"item_details": items, "tax_inclusive": False},
        "store_info": {}, "auction_info": {}, "incentive_info": {}}
    return detail


# The numbers of the records that do not change the balance start here, so
# their invoice numbers and names never repeat a balance-affecting record's.
_NON_BALANCE_FIRST = 500000


class Reporting:
    """Two years of transactions, oldest first, ending at the midnight (UTC)
    before `now`; `affects[i]` says whether rows[i] changes the balance."""

    def __init__(self, base, now=None):
        self.base = base
        self.now = time.time() if now is None else now
        end = int(self.now) // 86400 * 86400
        rnd = random.Random(19)
        other = random.Random(23)  # its own stream: the balance records stay as they were
        rows = []
        n, m = 0, _NON_BALANCE_FIRST
        for day in range(DAYS_OF_DATA):
            day_start = end - (DAYS_OF_DATA - day) * 86400
            month = datetime.fromtimestamp(day_start, timezone.utc).month
            count = rnd.randint(3, 13) + (16 if month in (11, 12) else 0)
            times = sorted(rnd.randint(0, 86399) for _ in range(count))
            if day % 10 == 0:
                times[0] = 0        # some transactions fall on the very first second of a day
            day_rows = []
            for t in times:
                day_rows.append((day_start + t, _transaction(rnd, n, day_start + t)))
                n += 1
            for t in sorted(other.randint(0, 86399) for _ in range(other.randint(0, 3))):
                day_rows.append((day_start + t, _transaction(other, m, day_start + t,
                                                             _NON_BALANCE_EVENTS)))
                m += 1
            day_rows.sort(key=lambda r: r[0])    # stable: the balance record first on a tie
            rows += day_rows
        self.times = [t for t, _ in rows]
        self.rows = [r for _, r in rows]
        self.affects = [affects_balance(r["transaction_info"]["transaction_event_code"])
                        for r in self.rows]


def _parse_time(text):
    t = text.strip()
    if not re.fullmatch(r"\d{4}-\d\d-\d\d[Tt]\d\d:\d\d:\d\d(\.\d+)?([Zz]|[+-]\d\d:?\d\d)", t):
        raise ValueError(text)
    t = re.sub(r"[Zz]$", "+00:00", t)
    t = re.sub(r"([+-]\d\d)(\d\d)$", r"\1:\2", t)
    return datetime.fromisoformat(t.replace("t", "T")).timestamp()


def _invalid(field, value, issue, description, message=None):
    return Reply(400, json.dumps(emu_data.error_body(
        "INVALID_REQUEST", message or "Request is not well-formed, syntactically incorrect, or "
        "violates schema.", [{"field": field, "value": value, "location": "query",
                              "issue": issue, "description": description}])))


def _amount_range(text):
    m = re.fullmatch(r"\s*\[?\s*(-?\d+)\s+TO\s+(-?\d+)\s*\]?\s*", text)
    return (int(m.group(1)), int(m.group(2))) if m else None


def _minor_units(money):
    value = money["value"]
    unit = _minor(money["currency_code"])
    whole, _, frac = value.lstrip("-").partition(".")
    minor = int(whole) * unit + (int((frac + "00")[:2]) if unit == 100 else 0)
    return -minor if value.startswith("-") else minor


def _sections(detail, fields):
    if fields == "all":
        return detail
    wanted = [f.strip() for f in fields.split(",") if f.strip()]
    return {k: detail[k] for k in wanted if k in detail}


def search(reporting, q, now=None):
    """The reply to GET /v1/reporting/transactions with query `q` (last
    value of each parameter)."""
    now = time.time() if now is None else now
    for name in ("start_date", "end_date"):
        if name not in q:
            return _invalid(name, "", "MISSING_REQUIRED_PARAMETER",
                            "A required field / parameter is missing.")
    try:
        start = _parse_time(q["start_date"])
    except ValueError:
        return _invalid("start_date", q["start_date"], "INVALID_PARAMETER_SYNTAX",
                        "The value of a field does not conform to the expected format.")
    try:
        end = _parse_time(q["end_date"])
    except ValueError:
        return _invalid("end_date", q["end_date"], "INVALID_PARAMETER_SYNTAX",
                        "The value of a field does not conform to the expected format.")
    if end < start:
        return _invalid("end_date", q["end_date"], "INVALID_PARAMETER_VALUE",
                        "End date must be after the start date.")
    if end - start > window_limit_seconds:
        return _invalid("end_date", q["end_date"], "INVALID_PARAMETER_VALUE",
                        "Date range is greater than 31 days")
    if start < history_start(now):
        return _invalid("start_date", q["start_date"], "INVALID_PARAMETER_VALUE",
                        "Data for the given start date is not available.",
                        "Data for the given start date is not available.")
    fields = q.get("fields", "transaction_info")
    for f in fields.split(","):
        if fields != "all" and f.strip() not in _SECTIONS:
            return _invalid("fields", fields, "INVALID_PARAMETER_VALUE",
                            "The value of a field is invalid.")
    size_text = q.get("page_size", "100")
    page_text = q.get("page", "1")
    try:
        size, page = int(size_text), int(page_text)
    except ValueError:
        size = page = 0
    if not 1 <= size <= MAX_PAGE_SIZE:
        return _invalid("page_size", size_text, "INVALID_PARAMETER_VALUE",
                        "The value of a field is invalid.")
    if page < 1:
        return _invalid("page", page_text, "INVALID_PARAMETER_VALUE",
                        "The value of a field is invalid.")
    only_balance = q.get("balance_affecting_records_only", "Y")
    if only_balance not in ("Y", "N"):
        return _invalid("balance_affecting_records_only", only_balance, "INVALID_PARAMETER_VALUE",
                        "The value of a field is invalid.")
    amount = None
    if "transaction_amount" in q:
        amount = _amount_range(q["transaction_amount"])
        if amount is None:
            return _invalid("transaction_amount", q["transaction_amount"],
                            "INVALID_PARAMETER_SYNTAX",
                            "The value of a field does not conform to the expected format.")
    lo = bisect.bisect_left(reporting.times, start)
    hi = bisect.bisect_right(reporting.times, end)
    rows = []
    for i in range(lo, hi):
        if only_balance == "Y" and not reporting.affects[i]:
            continue
        detail = reporting.rows[i]
        info = detail["transaction_info"]
        if "transaction_id" in q and info["transaction_id"] != q["transaction_id"]:
            continue
        if "transaction_type" in q and info["transaction_event_code"] != q["transaction_type"]:
            continue
        if "transaction_status" in q and info["transaction_status"] != q["transaction_status"]:
            continue
        money = info["transaction_amount"]
        if "transaction_currency" in q and money["currency_code"] != q["transaction_currency"]:
            continue
        if amount and not amount[0] <= _minor_units(money) <= amount[1]:
            continue
        rows.append(detail)
    total_pages = max(1, (len(rows) + size - 1) // size)
    href = reporting.base + "/v1/reporting/transactions?start_date=%s&end_date=%s" % (
        q["start_date"], q["end_date"])
    links = [{"href": href + "&page=%d&page_size=%d" % (page, size), "rel": "self",
              "method": "GET"}]
    if page < total_pages:
        links.append({"href": href + "&page=%d&page_size=%d" % (page + 1, size), "rel": "next",
                      "method": "GET"})
    body = {
        "transaction_details": [_sections(d, fields) for d in rows[(page - 1) * size:page * size]],
        "account_number": "MERCHANT7X2QZ",
        "start_date": _ts(start), "end_date": _ts(end),
        "last_refreshed_datetime": _ts(int(now) - 3600),
        "page": page, "total_items": len(rows), "total_pages": total_pages, "links": links}
    return Reply(200, json.dumps(body))


def dump(reporting, start, end, balance_affecting_only=False):
    """Every transaction from `start` to `end` (inclusive Unix times), oldest
    first, as [time, transaction id, event code, currency, amount, cart
    items]: what a client paging every window must read, and what its sums
    must come to. With `balance_affecting_only`, the records that change the
    balance only (what the search answers by default)."""
    lo = bisect.bisect_left(reporting.times, start)
    hi = bisect.bisect_right(reporting.times, end)
    out = []
    for i in range(lo, hi):
        if balance_affecting_only and not reporting.affects[i]:
            continue
        d = reporting.rows[i]
        info = d["transaction_info"]
        out.append([reporting.times[i], info["transaction_id"], info["transaction_event_code"],
                    info["transaction_amount"]["currency_code"],
                    info["transaction_amount"]["value"],
                    len(d["cart_info"].get("item_details", []))])
    return out
