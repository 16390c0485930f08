"""The REST endpoints behind the driver's tables (all but the invoices,
which paypal_emulator.py serves itself).

Each endpoint pages the way its PayPal API does:
  page numbers   page, page_size, total_required -> total_items, total_pages
                 (plans, vault credit cards, payout batch items, subscription
                 transactions)
  next link      page_size, next_page_token -> a HATEOAS link with rel "next"
                 (disputes)
  start id       count, start_id -> count, next_id (v1 payments)
The transaction search (emu_reporting.py) and the catalog products
(emu_products.py) keep their data in their own modules.
Filters are applied as PayPal applies them, and the parameters PayPal
requires are required here too (400 INVALID_REQUEST otherwise). Unknown ids
answer 404 RESOURCE_NOT_FOUND.

Exports: Tables (the data), dispatch(state, req, authorized) -> Reply or None.
"""
import json
import re
import urllib.parse
from datetime import datetime, timezone

import emu_data
import emu_products
import emu_reporting
import emu_reporting_details
import emu_rows
from emu_http import Reply


class Tables:
    def __init__(self, base, counts=None):
        self.base = base
        self.rows = emu_rows.make_rows(base, counts)
        r = self.rows
        self.index = {
            "authorizations": {o["id"]: o for o in r["authorizations"]},
            "captures": {o["id"]: o for o in r["captures"]},
            "refunds": {o["id"]: o for o in r["refunds"]},
            "orders": {o["id"]: o for o in r["orders"]},
            "sales": {o["id"]: o for o in r["sales"]},
            "subscriptions": {o["id"]: o for o in r["subscriptions"]},
            "plans": {o["id"]: o for o in r["plans"]},
            "payouts": {o["batch_header"]["payout_batch_id"]: o for o in r["payouts"]},
            # GET by id adds the batch's sender_batch_id, which the batch's items lack.
            "payout_items": {it["payout_item_id"]: dict(it, sender_batch_id=b["batch_header"][
                "sender_batch_header"]["sender_batch_id"]) for b in r["payouts"] for it in b["items"]},
            # dispute_state is a member of the list's items only.
            "disputes": {o["dispute_id"]: {k: v for k, v in o.items() if k != "dispute_state"}
                         for o in r["disputes"]},
            "cards": {o["id"]: o for o in r["cards"]},
            "webhooks": {o["id"]: o for o in r["webhooks"]},
        }
        self.products = emu_products.make_products(base)
        self._reporting = None

    @property
    def reporting(self):
        """The transactions, made on first use (they take a moment)."""
        if self._reporting is None:
            self._reporting = emu_reporting.Reporting(self.base)
            emu_reporting_details.enrich(self._reporting.rows)
        return self._reporting


def _json(status, obj):
    return Reply(status, json.dumps(obj))


def _not_found(field, value):
    return _json(404, emu_data.error_body(
        "RESOURCE_NOT_FOUND", "The specified resource does not exist.",
        [{"field": field, "value": value, "location": "path", "issue": "INVALID_RESOURCE_ID",
          "description": "Requested resource ID was not found."}]))


def _invalid(field, value, issue, description):
    return _json(400, emu_data.error_body(
        "INVALID_REQUEST", "Request is not well-formed, syntactically incorrect, or violates "
        "schema.", [{"field": field, "value": value, "location": "query", "issue": issue,
                     "description": description}]))


def _missing(field):
    return _invalid(field, "", "MISSING_REQUIRED_PARAMETER",
                    "A required field / parameter is missing.")


def _when(text):
    """Seconds since the epoch of an RFC 3339 time (Z, offset or none)."""
    t = text.strip()
    if t.endswith("Z"):
        t = t[:-1] + "+00:00"
    t = re.sub(r"\.\d+", "", t)
    d = datetime.fromisoformat(t)
    if d.tzinfo is None:
        d = d.replace(tzinfo=timezone.utc)
    return d.timestamp()


def _time_param(q, name):
    """(seconds or None, error reply or None) of an optional time parameter."""
    if name not in q:
        return None, None
    try:
        return _when(q[name]), None
    except ValueError:
        return None, _invalid(name, q[name], "INVALID_PARAMETER_SYNTAX",
                              "The value of a field does not conform to the expected format.")


def _int(q, name, default, low, high):
    text = q.get(name, str(default))
    try:
        value = int(text)
    except ValueError:
        return None, _invalid(name, text, "INVALID_PARAMETER_VALUE",
                              "The value of a field is invalid.")
    if value < low or value > high:
        return None, _invalid(name, text, "INVALID_PARAMETER_VALUE",
                              "The value of a field is invalid.")
    return value, None


def _numbered_page(rows, q, list_key, href, extra=None):
    """A page-numbered list reply with total_items/total_pages on request."""
    page, err = _int(q, "page", 1, 1, 100000)
    if err:
        return err
    size, err = _int(q, "page_size", 20, 1, 100)
    if err:
        return err
    total_pages = max(1, (len(rows) + size - 1) // size)
    body = dict(extra or {})
    body[list_key] = rows[(page - 1) * size:page * size]
    if q.get("total_required") == "true":
        body["total_items"] = len(rows)
        body["total_pages"] = total_pages
    links = [{"href": href + "page=%d&page_size=%d" % (page, size), "rel": "self",
              "method": "GET"}]
    if page < total_pages:
        links.append({"href": href + "page=%d&page_size=%d" % (page + 1, size), "rel": "next",
                      "method": "GET"})
    body["links"] = links
    return _json(200, body)


def _range(rows, q, member, low_name, high_name):
    low, err = _time_param(q, low_name)
    if err:
        return None, err
    high, err = _time_param(q, high_name)
    if err:
        return None, err
    out = []
    for r in rows:
        w = _when(r[member])
        if low is not None and w < low:
            continue
        if high is not None and w > high:
            continue
        out.append(r)
    return out, None


def _keyed(tables, coll, field, key):
    obj = tables.index[coll].get(key)
    return _json(200, obj) if obj is not None else _not_found(field, key)


def _payments(tables, q):
    rows, err = _range(tables.rows["payments"], q, "create_time", "start_time", "end_time")
    if err:
        return err
    count, err = _int(q, "count", 10, 1, 20)
    if err:
        return err
    start = 0
    if "start_id" in q:
        ids = [r["id"] for r in rows]
        if q["start_id"] not in ids:
            return _invalid("start_id", q["start_id"], "INVALID_PARAMETER_VALUE",
                            "The value of a field is invalid.")
        start = ids.index(q["start_id"])
    page = rows[start:start + count]
    body = {"payments": page, "count": len(page)}
    if start + count < len(rows):
        body["next_id"] = rows[start + count]["id"]
    return _json(200, body)


def _disputes(tables, q):
    rows = tables.rows["disputes"]
    if "start_time" in q and "disputed_transaction_id" in q:
        return _invalid("start_time", q["start_time"], "INVALID_PARAMETER_VALUE",
                        "Specify either start_time or disputed_transaction_id, not both.")
    for name, member, keep in (("start_time", "create_time", lambda w, v: w >= v),
                               ("update_time_after", "update_time", lambda w, v: w >= v),
                               ("update_time_before", "update_time", lambda w, v: w <= v)):
        v, err = _time_param(q, name)
        if err:
            return err
        if v is not None:
            rows = [r for r in rows if keep(_when(r[member]), v)]
    if "dispute_state" in q:
        states = q["dispute_state"].split(",")
        rows = [r for r in rows if r["dispute_state"] in states]
    if "disputed_transaction_id" in q:
        t = q["disputed_transaction_id"]
        rows = [r for r in rows if any(x["seller_transaction_id"] == t or
                                       x["buyer_transaction_id"] == t
                                       for x in r["disputed_transactions"])]
    size, err = _int(q, "page_size", 10, 1, 50)
    if err:
        return err
    start = 0
    if "next_page_token" in q:
        try:
            start = int(q["next_page_token"][3:], 16) if q["next_page_token"][:3] == "NPT" else -1
        except ValueError:
            start = -1
        if start < 0 or start > len(rows):
            return _invalid("next_page_token", q["next_page_token"], "INVALID_PARAMETER_VALUE",
                            "The value of a field is invalid.")
    summary = ("dispute_id", "create_time", "update_time", "reason", "status", "dispute_state",
               "dispute_amount", "dispute_life_cycle_stage", "dispute_channel",
               "buyer_response_due_date", "seller_response_due_date", "links")
    items = [{k: r[k] for k in summary if k in r} for r in rows[start:start + size]]
    href = tables.base + "/v1/customer/disputes?page_size=%d" % size
    links = [{"href": href, "rel": "self", "method": "GET"}]
    if start + size < len(rows):
        links.append({"href": href + "&next_page_token=NPT%04X" % (start + size),
                      "rel": "next", "method": "GET"})
    return _json(200, {"items": items, "links": links})


def _plans(tables, q, full):
    rows = tables.rows["plans"]
    if "plan_ids" in q:
        wanted = q["plan_ids"].split(",")
        rows = [r for r in rows if r["id"] in wanted]
    if "product_id" in q:
        rows = [r for r in rows if r["product_id"] == q["product_id"]]
    if not full:
        keep = ("id", "product_id", "name", "status", "description", "create_time",
                "update_time", "links")
        rows = [{k: r[k] for k in keep if k in r} for r in rows]
    return _numbered_page(rows, q, "plans", tables.base + "/v1/billing/plans?")


def _cards(tables, q):
    rows, err = _range(tables.rows["cards"], q, "create_time", "start_time", "end_time")
    if err:
        return err
    for name in ("merchant_id", "external_card_id", "external_customer_id"):
        if name in q:
            rows = [r for r in rows if r.get(name) == q[name]]
    return _numbered_page(rows, q, "items", tables.base + "/v1/vault/credit-cards?")


def _subscription_transactions(tables, q, sid):
    if sid not in tables.index["subscriptions"]:
        return _not_found("subscription_id", sid)
    for name in ("start_time", "end_time"):
        if name not in q:
            return _missing(name)
    rows, err = _range(tables.rows["transactions"], q, "time", "start_time", "end_time")
    if err:
        return err
    return _numbered_page(rows, q, "transactions", tables.base + "/v1/billing/subscriptions/%s/"
                          "transactions?" % urllib.parse.quote(sid))


def _balances(tables, q):
    """The balances at ?as_of_time= (the last refresh when not asked). As
    PayPal may, a time after the last refresh is answered with the balances
    of that refresh and its time as the reply's as_of_time."""
    body = dict(tables.rows["balances"])
    if "currency_code" in q:
        body["balances"] = [b for b in body["balances"] if b["currency"] == q["currency_code"]]
    asked, err = _time_param(q, "as_of_time")
    if err:
        return err
    if asked is not None:
        refreshed = _when(body["last_refresh_time"])
        body["as_of_time"] = body["last_refresh_time"] if asked > refreshed else q["as_of_time"]
    return _json(200, body)


def _payout_batch(tables, q, bid):
    batch = tables.index["payouts"].get(bid)
    if batch is None:
        return _not_found("payout_batch_id", bid)
    return _numbered_page(batch["items"], q, "items",
                          tables.base + "/v1/payments/payouts/%s?" % bid,
                          {"batch_header": batch["batch_header"]})


# (path pattern, handler(tables, query, match, request))
_ROUTES = [
    (r"/v2/payments/authorizations/([^/]+)",
     lambda t, q, m, r: _keyed(t, "authorizations", "authorization_id", m[0])),
    (r"/v2/payments/captures/([^/]+)",
     lambda t, q, m, r: _keyed(t, "captures", "capture_id", m[0])),
    (r"/v2/payments/refunds/([^/]+)",
     lambda t, q, m, r: _keyed(t, "refunds", "refund_id", m[0])),
    (r"/v2/checkout/orders/([^/]+)", lambda t, q, m, r: _keyed(t, "orders", "order_id", m[0])),
    (r"/v1/payments/sale/([^/]+)", lambda t, q, m, r: _keyed(t, "sales", "sale_id", m[0])),
    (r"/v1/billing/subscriptions/([^/]+)/transactions",
     lambda t, q, m, r: _subscription_transactions(t, q, m[0])),
    (r"/v1/billing/subscriptions/([^/]+)",
     lambda t, q, m, r: _keyed(t, "subscriptions", "subscription_id", m[0])),
    (r"/v1/payments/payment", lambda t, q, m, r: _payments(t, q)),
    (r"/v1/reporting/balances", lambda t, q, m, r: _balances(t, q)),
    (r"/v1/billing/plans/([^/]+)", lambda t, q, m, r: _keyed(t, "plans", "plan_id", m[0])),
    (r"/v1/billing/plans",
     lambda t, q, m, r: _plans(t, q, "return=representation" in r.header("Prefer", ""))),
    (r"/v1/identity/oauth2/userinfo",
     lambda t, q, m, r: _json(200, t.rows["userinfo"]) if q.get("schema") == "paypalv1.1"
     else _missing("schema")),
    (r"/v1/notifications/webhooks/([^/]+)",
     lambda t, q, m, r: _keyed(t, "webhooks", "webhook_id", m[0])),
    (r"/v1/notifications/webhooks", lambda t, q, m, r: _json(200, {"webhooks":
                                                                   t.rows["webhooks"]})),
    (r"/v1/payments/payouts/([^/]+)", lambda t, q, m, r: _payout_batch(t, q, m[0])),
    (r"/v1/payments/payouts-item/([^/]+)",
     lambda t, q, m, r: _keyed(t, "payout_items", "payout_item_id", m[0])),
    (r"/v1/customer/disputes/([^/]+)",
     lambda t, q, m, r: _keyed(t, "disputes", "dispute_id", m[0])),
    (r"/v1/customer/disputes", lambda t, q, m, r: _disputes(t, q)),
    (r"/v1/vault/credit-cards/([^/]+)", lambda t, q, m, r: _keyed(t, "cards", "credit_card_id",
                                                                  m[0])),
    (r"/v1/vault/credit-cards", lambda t, q, m, r: _cards(t, q)),
    (r"/v1/reporting/transactions", lambda t, q, m, r: emu_reporting.search(t.reporting, q)),
    (r"/v1/catalogs/products/([^/]+)", lambda t, q, m, r: emu_products.product_get(t.products,
                                                                                   m[0])),
    (r"/v1/catalogs/products", lambda t, q, m, r: emu_products.product_list(t.products, q,
                                                                            t.base)),
]
_COMPILED = [(re.compile(p + r"/?$"), h) for p, h in _ROUTES]


def dispatch(state, req, authorized):
    """The reply for a table endpoint, or None when the path is not one."""
    for pattern, handler in _COMPILED:
        m = pattern.match(req.path)
        if m is None:
            continue
        if not authorized:
            return _json(401, emu_data.auth_failure())
        if req.method != "GET":
            return _json(405, emu_data.error_body("METHOD_NOT_SUPPORTED", "The server does "
                                                  "not implement the requested HTTP method."))
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(req.query,
                                                         keep_blank_values=True).items()}
        groups = [urllib.parse.unquote(g) for g in m.groups()]
        return handler(state.tables, q, groups, req)
    return None
