"""PayPal's actions on stored objects, as the published descriptions say:

  POST /v2/invoicing/invoices                       201 a DRAFT invoice (with
                                                    Prefer: return=representation
                                                    the invoice, else its link)
  POST /v2/invoicing/generate-next-invoice-number   200 {"invoice_number"}
  POST /v2/invoicing/invoices/{id}/send             200 link; DRAFT or SCHEDULED -> SENT
  POST /v2/invoicing/invoices/{id}/remind           204; SENT, UNPAID, PARTIALLY_PAID only
  POST /v2/invoicing/invoices/{id}/cancel           204; SENT, UNPAID, PARTIALLY_PAID -> CANCELLED
  POST /v2/payments/captures/{id}/refund            201 refund; at most what is left to refund
  POST /v2/payments/authorizations/{id}/capture     201 capture; authorization CAPTURED
                                                    (PARTIALLY_CAPTURED when not final)
  POST /v2/payments/authorizations/{id}/void        204; authorization VOIDED
  POST /v1/billing/subscriptions/{id}/suspend       204; ACTIVE -> SUSPENDED (reason required)
  POST /v1/billing/subscriptions/{id}/activate      204; SUSPENDED -> ACTIVE
  POST /v1/billing/subscriptions/{id}/cancel        204; ACTIVE, SUSPENDED -> CANCELLED (reason)
  POST /v1/billing/plans/{id}/activate              204; CREATED, INACTIVE -> ACTIVE
  POST /v1/billing/plans/{id}/deactivate            204; ACTIVE -> INACTIVE

An action on an object in the wrong state answers 422 UNPROCESSABLE_ENTITY
with PayPal's issue (CANNOT_REMIND_INVOICE, REFUND_AMOUNT_EXCEEDED,
SUBSCRIPTION_STATUS_INVALID, ...). Refunds and captures honour
PayPal-Request-Id (their descriptions declare it): a repeated id answers
the first reply and does nothing. GET /_emulator/actions lists
[action, id] of every action done.

Exports: dispatch(state, req, authorized) -> Reply or None.
"""
import json
import re
import secrets
import urllib.parse

import emu_data
from emu_http import Reply


def _json(status, obj):
    return Reply(status, json.dumps(obj))


def _unprocessable(issue, description, field=None, value=None):
    detail = {"issue": issue, "description": description}
    if field:
        detail.update({"field": field, "location": "path" if value else "body"})
    if value:
        detail["value"] = value
    return _json(422, emu_data.error_body(
        "UNPROCESSABLE_ENTITY", "The requested action could not be performed, semantically "
        "incorrect, or failed business validation.", [detail]))


def _invalid(field, issue, description):
    return _json(400, emu_data.error_body(
        "INVALID_REQUEST", "Request is not well-formed, syntactically incorrect, or violates "
        "schema.", [{"field": field, "location": "body", "issue": issue,
                     "description": description}]))


def _not_found(field, value):
    return _json(404, emu_data.error_body(
        "RESOURCE_NOT_FOUND", "The specified resource does not exist.",
        [{"field": field, "value": value, "location": "path", "issue": "INVALID_RESOURCE_ID",
          "description": "Requested resource ID was not found."}]))


def _body(req):
    if not req.body:
        return {}, None
    try:
        body = json.loads(req.body.decode("utf-8"))
    except (ValueError, UnicodeDecodeError):
        return None, _invalid("body", "MALFORMED_REQUEST_JSON", "The request JSON is not well formed.")
    if not isinstance(body, dict):
        return None, _invalid("body", "INVALID_PARAMETER_SYNTAX", "The request body must be an object.")
    return body, None


def _done(state, action, key):
    state.actions.append([action, key])


def _money_value(text):
    try:
        return round(float(text), 2)
    except (TypeError, ValueError):
        return None


# ---- invoices

def _next_number(state):
    state.invoice_counter = getattr(state, "invoice_counter", 5000) + 1
    return "%07d" % state.invoice_counter


def _create_invoice(state, body, prefer):
    detail = body.get("detail") or {}
    if not detail.get("currency_code"):
        return _invalid("/detail/currency_code", "MISSING_REQUIRED_PARAMETER",
                        "A required field / parameter is missing.")
    items = body.get("items") or []
    total = 0.0
    for item in items:
        price = _money_value((item.get("unit_amount") or {}).get("value"))
        qty = _money_value(item.get("quantity", "1"))
        if price is None or qty is None:
            return _invalid("/items/0/unit_amount/value", "INVALID_PARAMETER_SYNTAX",
                            "The value of a field does not conform to the expected format.")
        total += price * qty
    iid = "INV2-" + "-".join(secrets.token_hex(2).upper() for _ in range(4))
    number = detail.get("invoice_number") or _next_number(state)
    if any(i["detail"].get("invoice_number") == number for i in state.invoices):
        return _unprocessable("DUPLICATE_INVOICE_NUMBER", "Invoice number already exists.",
                              "/detail/invoice_number")
    href = "%s/v2/invoicing/invoices/%s" % (state.base, iid)
    invoice = {"id": iid, "status": "DRAFT",
               "detail": dict(detail, invoice_number=number,
                              metadata={"create_time": "2026-01-01T00:00:00Z"}),
               "primary_recipients": body.get("primary_recipients") or [],
               "items": items,
               "amount": {"currency_code": detail["currency_code"], "value": "%.2f" % total},
               "links": [{"href": href, "rel": "self", "method": "GET"}]}
    state.invoices.append(invoice)
    state.by_id[iid] = invoice
    _done(state, "create", iid)
    if prefer:
        return _json(201, invoice)
    return _json(201, {"rel": "self", "href": href, "method": "GET"})


def _invoice_action(state, inv, action, body):
    status = inv["status"]
    iid = inv["id"]
    if action == "send":
        if status not in ("DRAFT", "SCHEDULED"):
            return _unprocessable("INVOICE_ALREADY_SENT", "Invoice has already been sent.",
                                  "invoice_id", iid)
        inv["status"] = "SENT"
        inv["detail"].setdefault("metadata", {})["last_sent_time"] = "2026-01-02T00:00:00Z"
        _done(state, "send", iid)
        link = "%s/v2/invoicing/invoices/%s" % (state.base, iid)
        return _json(200, {"rel": "self", "href": link, "method": "GET"})
    if action == "remind":
        if status not in ("SENT", "UNPAID", "PARTIALLY_PAID"):
            return _unprocessable("CANNOT_REMIND_INVOICE",
                                  "Reminder cannot be sent for an invoice in this status.",
                                  "invoice_id", iid)
        inv["detail"].setdefault("metadata", {})["last_sent_time"] = "2026-01-03T00:00:00Z"
        _done(state, "remind", iid)
        return Reply(204, b"")
    if status == "DRAFT":
        return _unprocessable("CANNOT_CANCEL_DRAFT_INVOICE", "A draft invoice cannot be cancelled.",
                              "invoice_id", iid)
    if status == "CANCELLED":
        return _unprocessable("INVOICE_CANCELED_ALREADY", "Invoice is already cancelled.",
                              "invoice_id", iid)
    if status in ("PAID", "MARKED_AS_PAID"):
        return _unprocessable("CANNOT_CANCEL_PAID_INVOICE", "A paid invoice cannot be cancelled.",
                              "invoice_id", iid)
    if status in ("REFUNDED", "PARTIALLY_REFUNDED", "MARKED_AS_REFUNDED"):
        return _unprocessable("CANNOT_CANCEL_REFUNDED_INVOICE",
                              "A refunded invoice cannot be cancelled.", "invoice_id", iid)
    if status == "SCHEDULED":
        return _unprocessable("CANNOT_CANCEL_SCHEDULED_INVOICE",
                              "A scheduled invoice cannot be cancelled.", "invoice_id", iid)
    inv["status"] = "CANCELLED"
    _done(state, "cancel", iid)
    return Reply(204, b"")


# ---- payments

def _refund(state, t, cid, body):
    cap = t.index["captures"].get(cid)
    if cap is None:
        return _not_found("capture_id", cid)
    total = _money_value(cap["amount"]["value"])
    refunded = t.refunded.get(cid, 0.0)
    left = round(total - refunded, 2)
    if left <= 0:
        return _unprocessable("CAPTURE_FULLY_REFUNDED", "The capture has already been fully "
                              "refunded.", "capture_id", cid)
    amount = body.get("amount")
    if amount:
        value = _money_value(amount.get("value"))
        if value is None or value <= 0:
            return _invalid("/amount/value", "CANNOT_BE_ZERO_OR_NEGATIVE",
                            "Must be greater than zero.")
        if amount.get("currency_code") not in (None, cap["amount"]["currency_code"]):
            return _unprocessable("REFUND_CAPTURE_CURRENCY_MISMATCH", "Refund must be in the "
                                  "same currency as the capture.", "/amount/currency_code")
        if value > left:
            return _unprocessable("REFUND_AMOUNT_EXCEEDED", "The refund amount must be less than "
                                  "or equal to the capture amount that has not yet been refunded.",
                                  "/amount/value")
    else:
        value = left
    t.refunded[cid] = round(refunded + value, 2)
    cap["status"] = "REFUNDED" if t.refunded[cid] >= total else "PARTIALLY_REFUNDED"
    rid = secrets.token_hex(8).upper()
    refund = {"id": rid, "status": "COMPLETED",
              "amount": {"currency_code": cap["amount"]["currency_code"], "value": "%.2f" % value},
              "create_time": "2026-01-02T00:00:00Z", "update_time": "2026-01-02T00:00:00Z",
              "links": [{"href": state.base + "/v2/payments/refunds/" + rid, "rel": "self",
                         "method": "GET"}]}
    for k in ("invoice_id", "note_to_payer"):
        if body.get(k):
            refund[k] = body[k]
    t.rows["refunds"].append(refund)
    t.index["refunds"][rid] = refund
    _done(state, "refund", rid)
    return _json(201, refund)


def _capture(state, t, aid, body):
    auth = t.index["authorizations"].get(aid)
    if auth is None:
        return _not_found("authorization_id", aid)
    if auth["status"] == "CAPTURED":
        return _unprocessable("AUTHORIZATION_ALREADY_CAPTURED", "Authorization has been "
                              "previously captured and hence cannot be captured again.",
                              "authorization_id", aid)
    if auth["status"] == "VOIDED":
        return _unprocessable("AUTHORIZATION_VOIDED", "A voided authorization cannot be "
                              "captured.", "authorization_id", aid)
    amount = body.get("amount") or auth["amount"]
    value = _money_value(amount.get("value"))
    if value is None or value <= 0:
        return _invalid("/amount/value", "CANNOT_BE_ZERO_OR_NEGATIVE", "Must be greater than zero.")
    if value > _money_value(auth["amount"]["value"]):
        return _unprocessable("MAX_CAPTURE_AMOUNT_EXCEEDED", "Capture amount exceeds the "
                              "authorized amount.", "/amount/value")
    final = body.get("final_capture", False) is True or "amount" not in body
    auth["status"] = "CAPTURED" if final else "PARTIALLY_CAPTURED"
    cid = secrets.token_hex(8).upper()
    cap = {"id": cid, "status": "COMPLETED",
           "amount": {"currency_code": amount.get("currency_code") or
                      auth["amount"]["currency_code"], "value": "%.2f" % value},
           "final_capture": final, "create_time": "2026-01-02T00:00:00Z",
           "update_time": "2026-01-02T00:00:00Z",
           "links": [{"href": state.base + "/v2/payments/captures/" + cid, "rel": "self",
                      "method": "GET"}]}
    t.rows["captures"].append(cap)
    t.index["captures"][cid] = cap
    _done(state, "capture", cid)
    return _json(201, cap)


def _void(state, t, aid):
    auth = t.index["authorizations"].get(aid)
    if auth is None:
        return _not_found("authorization_id", aid)
    if auth["status"] in ("CAPTURED", "PARTIALLY_CAPTURED"):
        return _unprocessable("PREVIOUSLY_CAPTURED", "Authorization has been previously captured "
                              "and hence cannot be voided.", "authorization_id", aid)
    if auth["status"] == "VOIDED":
        return _unprocessable("PREVIOUSLY_VOIDED", "Authorization has been previously voided "
                              "and hence cannot be voided again.", "authorization_id", aid)
    auth["status"] = "VOIDED"
    _done(state, "void", aid)
    return Reply(204, b"")


# ---- subscriptions and plans

_SUBSCRIPTION_MOVES = {
    "suspend": (("ACTIVE",), "SUSPENDED", True),
    "activate": (("SUSPENDED",), "ACTIVE", False),
    "cancel": (("ACTIVE", "SUSPENDED"), "CANCELLED", True),
}
_PLAN_MOVES = {"activate": (("CREATED", "INACTIVE"), "ACTIVE"),
               "deactivate": (("ACTIVE",), "INACTIVE")}


def _subscription(state, t, sid, action, body):
    sub = t.index["subscriptions"].get(sid)
    if sub is None:
        return _not_found("id", sid)
    allowed, new, needs_reason = _SUBSCRIPTION_MOVES[action]
    if needs_reason and not body.get("reason"):
        return _invalid("/reason", "MISSING_REQUIRED_PARAMETER", "A required field / parameter "
                        "is missing.")
    if sub["status"] not in allowed:
        return _unprocessable("SUBSCRIPTION_STATUS_INVALID", "Invalid subscription status for %s "
                              "action; subscription status is %s." % (action, sub["status"]))
    sub["status"] = new
    sub["status_update_time"] = "2026-01-02T00:00:00Z"
    if body.get("reason"):
        sub["status_change_note"] = body["reason"]
    _done(state, action + "_subscription", sid)
    return Reply(204, b"")


def _plan(state, t, pid, action):
    plan = t.index["plans"].get(pid)
    if plan is None:
        return _not_found("id", pid)
    allowed, new = _PLAN_MOVES[action]
    if plan["status"] not in allowed:
        return _unprocessable("PLAN_STATUS_INVALID", "Invalid plan status for %s action; plan "
                              "status is %s." % (action, plan["status"]))
    plan["status"] = new
    _done(state, action + "_plan", pid)
    return Reply(204, b"")


_ACTIONS = [
    (re.compile(r"/v2/invoicing/invoices/([^/]+)/(send|remind|cancel)/?$"), "invoice"),
    (re.compile(r"/v2/payments/captures/([^/]+)/(refund)/?$"), "refund"),
    (re.compile(r"/v2/payments/authorizations/([^/]+)/(capture|void)/?$"), "authorization"),
    (re.compile(r"/v1/billing/subscriptions/([^/]+)/(suspend|activate|cancel)/?$"), "subscription"),
    (re.compile(r"/v1/billing/plans/([^/]+)/(activate|deactivate)/?$"), "plan"),
]
# The actions whose published description declares PayPal-Request-Id.
_HONOURS_REQUEST_ID = ("refund", "capture")


def _run(state, kind, key, action, body, prefer):
    t = state.tables
    if not hasattr(t, "refunded"):
        t.refunded = {}
    if kind == "invoice":
        inv = state.by_id.get(key)
        if inv is None:
            return _not_found("invoice_id", key)
        return _invoice_action(state, inv, action, body)
    if kind == "refund":
        return _refund(state, t, key, body)
    if kind == "authorization":
        return _capture(state, t, key, body) if action == "capture" else _void(state, t, key)
    if kind == "subscription":
        return _subscription(state, t, key, action, body)
    return _plan(state, t, key, action)


def dispatch(state, req, authorized):
    """The reply of an action, or None when the request is not one."""
    if req.method != "POST":
        return None
    path = req.path.rstrip("/")
    prefer = "return=representation" in req.header("Prefer", "")
    if path in ("/v2/invoicing/invoices", "/v2/invoicing/generate-next-invoice-number"):
        if not authorized:
            return _json(401, emu_data.auth_failure())
        with state.lock:
            if path.endswith("number"):
                number = _next_number(state)
                _done(state, "number", number)
                return _json(200, {"invoice_number": number})
            body, err = _body(req)
            return err or _create_invoice(state, body, prefer)
    for pattern, kind in _ACTIONS:
        m = pattern.match(req.path)
        if not m:
            continue
        if not authorized:
            return _json(401, emu_data.auth_failure())
        key, action = urllib.parse.unquote(m.group(1)), m.group(2)
        rid = req.header("PayPal-Request-Id") if action in _HONOURS_REQUEST_ID else ""
        with state.lock:
            if rid and (path, rid) in state.request_ids:
                return state.request_ids[(path, rid)]
            body, err = _body(req)
            reply = err or _run(state, kind, key, action, body, prefer)
            if rid and reply.status < 300:
                state.request_ids[(path, rid)] = reply
            return reply
    return None
