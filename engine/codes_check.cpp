// Pins the fixed numbers of the value, type and function code sets: other
// layers and stored data depend on them, so a change must fail the build.
#include "engine/functions.h"
#include "engine/types.h"
#include "support/value.h"

static_assert(VT_INTEGER == 1 && VT_BINARY == 5 && VT_DATE == 7 && VT_NUMERIC == 10);
static_assert(VT_BIGINT == 12 && VT_INTERVAL_DS == 14 && VT_REF_BIGINT == 28);
static_assert(VT_LONG_CHAR == 29 && VT_LONG_BINARY == 30 && VT_CONNECTION_INT == 32);
static_assert(OP_ADD == 1 && OP_NEG == 6 && OP_LT == 7 && OP_NE == 12);
static_assert(TYPE_COMPARABLE == 100 && TYPE_INCOMPATIBLE == -9999);
static_assert(kFnStr == 77 && kFnAbs == 0 && kBuiltinUpper == -8);
static_assert(kMaskOptional == 2048 && kMaskAny == 512);
