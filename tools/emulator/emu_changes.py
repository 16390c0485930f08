"""POST, PATCH and DELETE on the changeable endpoints, with PayPal's
published request bodies and replies:

  POST   /v1/notifications/webhooks          201 webhook (url, event_types[].name required)
  PATCH  /v1/notifications/webhooks/{id}     200 webhook (replace of /url or /event_types only)
  DELETE /v1/notifications/webhooks/{id}     204
  POST   /v1/billing/plans                   201 plan (product_id, name, billing_cycles,
                                             payment_preferences required)
  POST   /v1/catalogs/products           201 product (name, type required; id, when given,
                                             not PROD- and not taken; listed by a later GET)
  POST   /v1/payments/payouts                201 batch header (sender_batch_header, items)
  POST   /v2/checkout/orders                 201 order (intent, purchase_units)
  PATCH  /v2/checkout/orders/{id}            204, empty (intent, payer, purchase_units paths)
  POST   /v1/vault/credit-cards              201 card (number, type, expire_month, expire_year)
  PATCH  /v1/vault/credit-cards/{id}         200 card
  DELETE /v1/vault/credit-cards/{id}         204

GET /_emulator/created lists [collection, id] of every object made so far.
A POST with a PayPal-Request-Id already seen answers the first reply again
and creates nothing, as PayPal does, on the APIs whose published
description declares that header (plans, products, payouts, v2 orders);
the others (webhooks, the v1 vault) ignore it and create a second object.
Control "empty_post=1" makes every
successful POST answer 201 with an empty body.

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


def _invalid(field, issue, description, location="body"):
    return _json(400, emu_data.error_body(
        "INVALID_REQUEST", "Request is not well-formed, syntactically incorrect, or violates "
        "schema.", [{"field": field, "location": location, "issue": issue,
                     "description": description}]))


def _missing(field):
    return _invalid(field, "MISSING_REQUIRED_PARAMETER", "A required field / parameter is missing.")


def _not_found(field, value):
    return _json(404, emu_data.error_body(
        "RESOURCE_NOT_FOUND", "The specified resource does not exist.",
        [{"field": field, "value": value, "location": "path", "issue": "INVALID_RESOURCE_ID",
          "description": "Requested resource ID was not found."}]))


def _new_id(prefix):
    return prefix + secrets.token_hex(8).upper()


def _link(base, path, rel="self", method="GET"):
    return {"href": base + path, "rel": rel, "method": method}


def _body(req):
    try:
        return json.loads(req.body.decode("utf-8")), None
    except (ValueError, UnicodeDecodeError):
        return None, _invalid("body", "MALFORMED_REQUEST_JSON", "The request JSON is not well formed.")


def _require(obj, *fields):
    if not isinstance(obj, dict):
        return _invalid("body", "INVALID_PARAMETER_SYNTAX", "The request body must be an object.")
    for f in fields:
        if obj.get(f) in (None, "", [], {}):
            return _missing("/" + f)
    return None


def _patch_ops(body, allowed, ops=("replace",)):
    if not isinstance(body, list) or not body:
        return _invalid("body", "INVALID_PARAMETER_SYNTAX", "A patch request is an array of operations.")
    for op in body:
        if not isinstance(op, dict) or op.get("op") not in ops:
            return _invalid("op", "INVALID_PATCH_OPERATION", "The operation cannot be honored.")
        path = op.get("path", "")
        if not any(path == a or path.startswith(a + "/") for a in allowed):
            return _invalid("path", "INVALID_PATCH_PATH", "The specified field cannot be patched.")
        if op["op"] in ("replace", "add") and "value" not in op:
            return _missing("value")
    return None


def _apply_patch(obj, ops):
    for op in ops:
        parts = [p for p in op["path"].split("/") if p]
        at = obj
        for p in parts[:-1]:
            at = at.setdefault(p, {})
        if op["op"] == "remove":
            at.pop(parts[-1], None)
        else:
            at[parts[-1]] = op["value"]


def _created(t, coll, key):
    if not hasattr(t, "created"):
        t.created = []
    t.created.append([coll, key])


def _post_webhook(t, body):
    err = _require(body, "url", "event_types")
    if err:
        return err
    if not isinstance(body["event_types"], list) or not all(
            isinstance(e, dict) and e.get("name") for e in body["event_types"]):
        return _invalid("/event_types", "INVALID_PARAMETER_SYNTAX",
                        "event_types is an array of objects with a name.")
    wid = _new_id("WH-")
    hook = {"id": wid, "url": body["url"],
            "event_types": [{"name": e["name"], "description": "Event %s" % e["name"],
                             "status": "ENABLED"} for e in body["event_types"]],
            "links": [_link(t.base, "/v1/notifications/webhooks/" + wid)]}
    t.rows["webhooks"].append(hook)
    _created(t, "webhooks", wid)
    t.index["webhooks"][wid] = hook
    return _json(201, hook)


def _post_plan(t, body):
    err = _require(body, "product_id", "name", "billing_cycles", "payment_preferences")
    if err:
        return err
    if not isinstance(body["billing_cycles"], list):
        return _invalid("/billing_cycles", "INVALID_PARAMETER_SYNTAX", "billing_cycles is an array.")
    pid = _new_id("P-")
    plan = dict(body)
    plan.update({"id": pid, "status": body.get("status", "ACTIVE"),
                 "create_time": "2026-01-01T00:00:00Z", "update_time": "2026-01-01T00:00:00Z",
                 "links": [_link(t.base, "/v1/billing/plans/" + pid)]})
    t.rows["plans"].append(plan)
    _created(t, "plans", pid)
    t.index["plans"][pid] = plan
    return _json(201, plan)


_PRODUCT_MEMBERS = ("id", "name", "description", "type", "category", "image_url", "home_url")


def _post_product(t, body):
    err = _require(body, "name", "type")
    if err:
        return err
    if body["type"] not in ("PHYSICAL", "DIGITAL", "SERVICE"):
        return _invalid("/type", "INVALID_PARAMETER_VALUE", "The value of a field is invalid.")
    pid = body.get("id")
    if pid is not None:
        # A caller's own id (a SKU) may not look like a generated one, nor repeat one.
        if not isinstance(pid, str) or pid.startswith("PROD-"):
            return _invalid("/id", "INVALID_PARAMETER_SYNTAX",
                            "Input identifier must not use system prefix(PROD-).")
        if any(p["id"] == pid for p in t.products):
            return _json(422, emu_data.error_body(
                "UNPROCESSABLE_ENTITY", "The requested action could not be performed, semantically "
                "incorrect, or failed business validation.",
                [{"field": "/id", "value": pid, "location": "body",
                  "issue": "DUPLICATE_RESOURCE_IDENTIFIER", "description": "Identifier must be unique."}]))
    else:
        pid = _new_id("PROD-")
    product = {k: body[k] for k in _PRODUCT_MEMBERS if body.get(k) is not None}
    href = t.base + "/v1/catalogs/products/" + pid
    product.update({"id": pid, "create_time": "2026-01-01T00:00:00Z", "update_time": "2026-01-01T00:00:00Z",
                    "links": [{"href": href, "rel": "self", "method": "GET"},
                              {"href": href, "rel": "edit", "method": "PATCH"}]})
    t.products.append(product)
    _created(t, "products", pid)
    return _json(201, product)


def _post_payout(t, body):
    err = _require(body, "sender_batch_header", "items")
    if err:
        return err
    if not isinstance(body["items"], list):
        return _invalid("/items", "INVALID_PARAMETER_SYNTAX", "items is an array.")
    bid = _new_id("PB")
    header = {"payout_batch_id": bid, "batch_status": "PENDING",
              "sender_batch_header": body["sender_batch_header"]}
    batch = {"batch_header": header, "items": []}
    t.rows["payouts"].append(batch)
    _created(t, "payouts", bid)
    t.index["payouts"][bid] = batch
    return _json(201, {"batch_header": header,
                       "links": [_link(t.base, "/v1/payments/payouts/" + bid)]})


def _post_order(t, body):
    err = _require(body, "intent", "purchase_units")
    if err:
        return err
    oid = _new_id("O")
    order = dict(body)
    order.update({"id": oid, "status": "CREATED", "create_time": "2026-01-01T00:00:00Z",
                  "links": [_link(t.base, "/v2/checkout/orders/" + oid)]})
    t.rows["orders"].append(order)
    _created(t, "orders", oid)
    t.index["orders"][oid] = order
    return _json(201, {"id": oid, "status": "CREATED", "links": order["links"]})


def _post_card(t, body):
    err = _require(body, "number", "type", "expire_month", "expire_year")
    if err:
        return err
    cid = _new_id("CARD-")
    card = dict(body)
    card.update({"id": cid, "state": "ok", "number": "x" * 12 + str(body["number"])[-4:],
                 "create_time": "2026-01-01T00:00:00Z", "update_time": "2026-01-01T00:00:00Z",
                 "links": [_link(t.base, "/v1/vault/credit-cards/" + cid)]})
    t.rows["cards"].append(card)
    _created(t, "cards", cid)
    t.index["cards"][cid] = card
    return _json(201, card)


def _delete(t, coll, rows, field, key):
    obj = t.index[coll].pop(key, None)
    if obj is None:
        return _not_found(field, key)
    t.rows[rows].remove(obj)
    return Reply(204, b"")


def _patch(t, coll, field, key, body, allowed, status, ops=("replace",)):
    obj = t.index[coll].get(key)
    if obj is None:
        return _not_found(field, key)
    err = _patch_ops(body, allowed, ops)
    if err:
        return err
    _apply_patch(obj, body)
    return Reply(204, b"") if status == 204 else _json(200, obj)


_POSTS = {
    "/v1/notifications/webhooks": _post_webhook,
    "/v1/billing/plans": _post_plan,
    "/v1/catalogs/products": _post_product,
    "/v1/payments/payouts": _post_payout,
    "/v2/checkout/orders": _post_order,
    "/v1/vault/credit-cards": _post_card,
}

# The POSTs whose published description declares PayPal-Request-Id.
_HONOURS_REQUEST_ID = ("/v1/billing/plans", "/v1/catalogs/products", "/v1/payments/payouts",
                       "/v2/checkout/orders")

_KEYED = [
    (re.compile(r"/v1/notifications/webhooks/([^/]+)/?$"), "webhooks", "webhooks", "webhook_id",
     ["/url", "/event_types"], 200, ("replace",)),
    (re.compile(r"/v2/checkout/orders/([^/]+)/?$"), "orders", "orders", "order_id",
     ["/intent", "/payer", "/purchase_units"], 204, ("replace", "add", "remove")),
    (re.compile(r"/v1/vault/credit-cards/([^/]+)/?$"), "cards", "cards", "credit_card_id",
     ["/first_name", "/last_name", "/expire_month", "/expire_year", "/billing_address",
      "/external_customer_id", "/merchant_id", "/external_card_id"], 200, ("replace", "add", "remove")),
]
_DELETABLE = ("webhooks", "cards")


def dispatch(state, req, authorized):
    """The reply of a change request, or None when it is not one."""
    if req.method not in ("POST", "PATCH", "DELETE"):
        return None
    path = req.path.rstrip("/") if req.path != "/" else req.path
    t = state.tables
    if req.method == "POST" and path in _POSTS:
        if not authorized:
            return _json(401, emu_data.auth_failure())
        rid = req.header("PayPal-Request-Id") if path in _HONOURS_REQUEST_ID else ""
        with state.lock:
            if rid and (path, rid) in state.request_ids:
                return state.request_ids[(path, rid)]
            body, err = _body(req)
            reply = err or _POSTS[path](t, body)
            if reply.status == 201 and state.empty_post:
                reply = Reply(201, b"")
            if rid and reply.status < 300:
                state.request_ids[(path, rid)] = reply
            return reply
    for pattern, coll, rows, field, allowed, status, ops in _KEYED:
        m = pattern.match(req.path)
        if not m:
            continue
        if not authorized:
            return _json(401, emu_data.auth_failure())
        key = urllib.parse.unquote(m.group(1))
        with state.lock:
            if req.method == "DELETE" and coll in _DELETABLE:
                return _delete(t, coll, rows, field, key)
            if req.method == "PATCH":
                body, err = _body(req)
                return err or _patch(t, coll, field, key, body, allowed, status, ops)
        return _json(405, emu_data.error_body("METHOD_NOT_SUPPORTED", "The server does not "
                                              "implement the requested HTTP method."))
    return None
