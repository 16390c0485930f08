// Comparisons: the truth of `<`, `>`, `<=`, `>=`, `=` and `<>` from the one
// order of values (engine/value_order.h), so that `=` agrees with IN (over
// a list or a sub-query), DISTINCT, GROUP BY, UNION and join keys, and <> is
// the negation of =, <= is < or =.
#include "engine/value_order.h"
#include "query/evaluate.h"

namespace {

int truth_of(bool b) { return b ? kTrue : kFalse; }

const char *unsupported_message(int op) {
    switch (op) {
        case OP_LT: return "Unsupported type in lessthan compare";
        case OP_LE: return "Unsupported type in lessthaneq compare";
        case OP_GT: return "Unsupported type in greaterthan compare";
        case OP_GE: return "Unsupported type in greaterthaneq compare";
        case OP_EQ: return "Unsupported type in equal compare";
        default: return "Unsupported type in notequal compare";
    }
}

}  // namespace

int truth_from_order(int order, int op) {
    switch (op) {
        case OP_LT: return truth_of(order < 0);
        case OP_GT: return truth_of(order > 0);
        case OP_GE: return truth_of(order >= 0);
        case OP_LE: return truth_of(order <= 0);
        case OP_EQ: return truth_of(order == 0);
        case OP_NE: return truth_of(order != 0);
        default: return kUnknown;
    }
}

int order_or_raise(const Value *l, const Value *r, int op, EvalContext *c) {
    int order = 0;
    OrderResult res = value_order(l, r, &order);
    if (res != OrderResult::kOk) raise_order_failure(res, op, c);
    return order;
}

void raise_order_failure(OrderResult res, int op, EvalContext *c) {
    switch (res) {
        case OrderResult::kBadDate: raise_evaluation_error(c, "22012", "Invalid date value");
        case OrderResult::kBadTime: raise_evaluation_error(c, "22012", "Invalid time value");
        case OrderResult::kBadTimestamp: raise_evaluation_error(c, "22012", "Invalid timestamp value");
        case OrderResult::kBadNumber:
            raise_evaluation_error(c, "22018", "Invalid character value for cast specification");
        case OrderResult::kOk:  // not a failure: callers never pass it
        case OrderResult::kUnsupported: break;
    }
    raise_evaluation_error(c, "HY000", "%s", unsupported_message(op));
}

int compare_values_op(const Value *l, const Value *r, int op, EvalContext *c) {
    if (l->is_null || r->is_null) return kUnknown;
    return truth_from_order(order_or_raise(l, r, op, c), op);
}
