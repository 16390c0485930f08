// Engine services of DALServiceCallback (codes 5, 6, 7, 11).
#include "dal/dal_engine_hooks.h"

#include <atomic>
#include <cstring>

#include "dal/dal.h"
#include "engine/cast.h"
#include "engine/types.h"
#include "support/value.h"
#include "support/value_ops.h"

namespace {

std::atomic<DalEvaluateFn> g_evaluator{nullptr};

}  // namespace

void dal_set_expression_evaluator(DalEvaluateFn fn) { g_evaluator.store(fn); }

int dal_engine_service(DalRecord *dal, int code, DalServiceRequest *r) {
    switch (code) {
        case DAL_SERVICE_EVALUATE: {
            DalEvaluateFn fn = g_evaluator.load();
            auto *pool = static_cast<CvPool *>(r->buffer);
            if (!fn || !pool || !r->result) return DAL_ERROR;
            Value *out = nullptr;
            if (fn(dal, r->handle, r->result, pool, &out) != 0 || !out) return DAL_ERROR;
            r->value = out;
            return DAL_OK;
        }
        case DAL_SERVICE_CONVERT: {
            auto *pool = static_cast<CvPool *>(r->buffer);
            if (!pool || !r->value) return DAL_ERROR;
            CastTarget target{r->code, 0, -1, -1, 0, -1};
            ValueEnv env{};
            env.pool = pool;
            Value *out = nullptr;
            if (cast_value(&target, &env, r->value, &out) != 0 || !out) return DAL_ERROR;
            r->value = out;
            return DAL_OK;
        }
        case DAL_SERVICE_TYPE_INFO: {
            ExtendedType t{};
            if (!r->buffer || r->capacity < static_cast<SQLLEN>(sizeof t) || type_template(r->code, &t) != 0)
                return DAL_ERROR;
            std::memcpy(r->buffer, &t, sizeof t);
            r->length = sizeof t;
            return DAL_OK;
        }
        case DAL_SERVICE_TO_INTEGER: {
            int64_t n = 0;
            if (!r->value || r->value->is_null) return DAL_NO_DATA;
            if (get_bigint_from_value(r->value, &n) != 0) {
                PostDalError(dal, r->handle, kDalComponent, 0, "22003", "Numeric value out of range");
                return DAL_ERROR;
            }
            r->length = static_cast<SQLLEN>(n);
            return DAL_OK;
        }
        default: return DAL_ERROR;
    }
}
