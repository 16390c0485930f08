// Literal nodes -> plain values (see materialise.h).
#include "engine/materialise.h"

#include <cstring>

#include "support/calendar.h"
#include "support/interval.h"
#include "support/value_ops.h"

Value *materialise_value(const Value *node, ValueEnv *env) {
    if (!node || node->kind != kValueNodeKind) return nullptr;
    if ((node->type >= 1 && node->type <= 14) || node->type == VT_LONG_CHAR ||
        node->type == VT_LONG_BINARY)
        return duplicate_value_ex(node, env->pool);
    Value *v = new_value_of_type(env->pool, node->type);
    if (!v) return nullptr;
    *v = *node;
    v->pool = env->pool;
    v->copy_mark = 0;
    v->owns_data = 0;
    v->is_null = 0;
    TIMESTAMP_STRUCT start = env->start;
    if (start.year == 0 && start.month == 0) local_now(&start);
    start.fraction = 0;
    const void *ref = node->data.ref;
    switch (node->type) {
    case VT_CURRENT_DATE:
        v->type = VT_DATE;
        v->data.date = DATE_STRUCT{start.year, start.month, start.day};
        break;
    case VT_CURRENT_TIME:
        v->type = VT_TIME;
        v->data.time = TIME_STRUCT{start.hour, start.minute, start.second};
        break;
    case VT_CURRENT_TIMESTAMP:
        v->type = VT_TIMESTAMP;
        v->data.ts = start;
        break;
    case VT_USER:
        if (env->user) {
            if (set_value_text(v, env->user, std::strlen(env->user)) != 0) {
                cv_mem_free(v);
                return nullptr;
            }
        } else {
            set_value_null(v, VT_CHAR);
        }
        break;
    case VT_CONNECTION_INT:
        v->type = VT_INTEGER;
        v->data.i = env->connection_int;
        break;
    case VT_NULL:
        v->is_null = -1;
        break;
    default:
        if (node->type >= VT_REF_INT32 && node->type <= VT_REF_BIGINT && !ref) {
            v->type = VT_INTEGER;
            v->is_null = -1;
            break;
        }
        switch (node->type) {
        case VT_REF_INT32: v->type = VT_INTEGER; std::memcpy(&v->data.i, ref, 4); break;
        case VT_REF_INT16: {
            int16_t x;
            std::memcpy(&x, ref, 2);
            v->type = VT_INTEGER;
            v->data.i = x;
            break;
        }
        case VT_REF_INT8: {
            int8_t x;
            std::memcpy(&x, ref, 1);
            v->type = VT_INTEGER;
            v->data.i = x;
            break;
        }
        case VT_REF_DOUBLE: v->type = VT_DOUBLE; std::memcpy(&v->data.d, ref, 8); break;
        case VT_REF_DATE: v->type = VT_DATE; std::memcpy(&v->data.date, ref, 6); break;
        case VT_REF_TIME: v->type = VT_TIME; std::memcpy(&v->data.time, ref, 6); break;
        case VT_REF_TIMESTAMP: v->type = VT_TIMESTAMP; std::memcpy(&v->data.ts, ref, 16); break;
        case VT_REF_NUMERIC: v->type = VT_NUMERIC; std::memcpy(&v->data.num, ref, 19); break;
        case VT_REF_BIGINT: v->type = VT_BIGINT; std::memcpy(&v->data.big, ref, 8); break;
        case VT_REF_INTERVAL:
            std::memcpy(&v->data.iv, ref, 28);
            // The stored interval type decides its family, so a day-time
            // interval is never read as a year-month one.
            v->type = interval_is_year_month(v->data.iv.interval_type) ? VT_INTERVAL_YM : VT_INTERVAL_DS;
            break;
        default:
            cv_mem_free(v);
            return nullptr;
        }
    }
    return v;
}
