"""The optional members of the transaction search's details
(`transaction_detail` of the published reporting API) that the generator in
emu_reporting.py leaves out: further amounts, balances, references, credit
terms and instruments in `transaction_info`; the payer's phone, full name
and address; the shipping method and a second address; the invoice id of a
cart and every amount, option and percentage of its items.

Each member is given to some details only, chosen by position, in the
transaction's own currency; nothing the generator made is changed, so the
amounts, ids and carts other tests add up stay as they are.

Exports: enrich(details).
"""

_ZERO_DECIMAL = {"JPY", "HUF", "TWD"}


def _money(units, currency):
    """`units` whole units of `currency` (cents in one hundredth, if it has them)."""
    if currency in _ZERO_DECIMAL:
        return {"currency_code": currency, "value": "%d" % (units * 100)}
    return {"currency_code": currency, "value": "%.2f" % units}


def _address(n, street):
    return {"line1": "%d %s" % (1 + n % 900, street), "line2": "Apt %d" % (1 + n % 40),
            "city": "San Jose", "state": "CA", "country_code": "US", "postal_code": "95131"}


def _info(n, info):
    cur = info["transaction_amount"]["currency_code"]
    if n % 4 == 0:
        info.update(sales_tax_amount=_money(1.2, cur), shipping_discount_amount=_money(-0.5, cur),
                    shipping_tax_amount=_money(0.3, cur), other_amount=_money(0.1, cur),
                    tip_amount=_money(2, cur), ending_balance=_money(1500 + n % 100, cur),
                    available_balance=_money(1400 + n % 100, cur),
                    payment_tracking_id="TRK%08d" % n, bank_reference_id="BANKREF%06d" % n,
                    payment_method_type="PUI", instrument_type="CREDIT_CARD",
                    instrument_sub_type="VISA")
    if n % 8 == 0:
        info.update(credit_term="6M", credit_transactional_fee=_money(0.99, cur),
                    credit_promotional_fee=_money(0.49, cur), annual_percentage_rate="19.99")


def _payer(n, payer):
    if n % 3 == 0:
        payer["phone_number"] = {"country_code": "1", "national_number": "40855501%02d" % (n % 100),
                                 "extension_number": "%d" % (100 + n % 900)}
        name = payer["payer_name"]
        name.update(prefix="Dr.", middle_name="M", suffix="Jr.",
                    full_name="Dr. %s M %s Jr." % (name["given_name"], name["surname"]))
    if n % 2 == 0:
        payer["address"] = _address(n, "Market Street")


def _cart(n, detail):
    shipping, cart = detail["shipping_info"], detail["cart_info"]
    if not cart:
        return
    shipping.update(method="Standard", address=dict(shipping["address"], line2="Floor 2"))
    if n % 2 == 0:
        shipping["secondary_shipping_address"] = _address(n, "Second Avenue")
        cart["paypal_invoice_id"] = "INV2-CART-%06d" % n
    for k, item in enumerate(cart["item_details"]):
        cur = item["item_unit_price"]["currency_code"]
        item.update(item_options="Colour: blue", tax_percentage="8.00",
                    discount_amount=_money(0.5, cur), adjustment_amount=_money(0.25, cur),
                    gift_wrap_amount=_money(1, cur), basic_shipping_amount=_money(2, cur),
                    extra_shipping_amount=_money(0.5, cur), handling_amount=_money(0.75, cur),
                    insurance_amount=_money(0.2, cur))
        if k == 0:
            item["checkout_options"] = [{"checkout_option_name": "Size",
                                         "checkout_option_value": "M"}]


def enrich(details):
    """Adds the members above to the generated details, in place."""
    for n, detail in enumerate(details):
        _info(n, detail["transaction_info"])
        _payer(n, detail["payer_info"])
        _cart(n, detail)
