"""The catalog products API: GET /v1/catalogs/products (pages of at most 20,
total_items and total_pages with total_required=true) and
GET /v1/catalogs/products/{id}, in the published shapes: a list element
carries id, name, description, create_time and links only; the single
product every member.

Exports: make_products(base), product_list(products, query, base),
product_get(products, id).
"""
import json

import emu_data
from emu_http import Reply

_TYPES = ["PHYSICAL", "DIGITAL", "SERVICE"]
_CATEGORIES = ["CLOTHING", "SOFTWARE", "BOOKS_AND_MAGAZINES", "ENTERTAINMENT_AND_MEDIA", "SERVICES"]
PRODUCT_COUNT = 25


def _links(base, pid):
    href = "%s/v1/catalogs/products/%s" % (base, pid)
    return [{"href": href, "rel": "self", "method": "GET"},
            {"href": href, "rel": "edit", "method": "PATCH"}]


def make_products(base):
    out = []
    for i in range(PRODUCT_COUNT):
        pid = "PROD-%02dXAB%07d" % (i, 1234567 + i * 7919)
        created = "2025-%02d-%02dT%02d:%02d:00Z" % (1 + i % 12, 1 + i % 28, 8 + i % 10, i % 60)
        p = {"id": pid, "name": "Product %d" % i,
             "description": "Emulator product %d" % i,
             "type": _TYPES[i % len(_TYPES)], "category": _CATEGORIES[i % len(_CATEGORIES)],
             "create_time": created,
             "update_time": created if i % 3 else created[:-3] + "30Z",
             "links": _links(base, pid)}
        if i % 4 != 3:   # image and home page are optional
            p["image_url"] = "https://example.com/images/%d.png" % i
            p["home_url"] = "https://example.com/products/%d" % i
        out.append(p)
    return out


def _invalid(field, value):
    return Reply(400, json.dumps(emu_data.error_body(
        "INVALID_REQUEST", "Request is not well-formed, syntactically incorrect, or violates "
        "schema.", [{"field": field, "value": value, "location": "query",
                     "issue": "INVALID_PARAMETER_VALUE",
                     "description": "The value of a field is invalid."}])))


def product_list(products, q, base):
    try:
        size = int(q.get("page_size", "10"))
    except ValueError:
        size = 0
    try:
        page = int(q.get("page", "1"))
    except ValueError:
        page = 0
    if not 1 <= size <= 20:
        return _invalid("page_size", q.get("page_size", ""))
    if not 1 <= page <= 100000:
        return _invalid("page", q.get("page", ""))
    total_pages = max(1, (len(products) + size - 1) // size)
    keep = ("id", "name", "description", "create_time", "links")
    body = {"products": [{k: p[k] for k in keep} for p in products[(page - 1) * size:page * size]]}
    if q.get("total_required") == "true":
        body["total_items"] = len(products)
        body["total_pages"] = total_pages
    href = base + "/v1/catalogs/products?page_size=%d&page=%d" % (size, page)
    links = [{"href": href, "rel": "self", "method": "GET"}]
    if page < total_pages:
        links.append({"href": base + "/v1/catalogs/products?page_size=%d&page=%d" % (
            size, page + 1), "rel": "next", "method": "GET"})
    body["links"] = links
    return Reply(200, json.dumps(body))


def product_get(products, pid):
    for p in products:
        if p["id"] == pid:
            return Reply(200, json.dumps(p))
    return Reply(404, json.dumps(emu_data.error_body(
        "RESOURCE_NOT_FOUND", "The specified resource does not exist.",
        [{"field": "product_id", "value": pid, "location": "path", "issue": "INVALID_RESOURCE_ID",
          "description": "Requested resource ID was not found."}])))
