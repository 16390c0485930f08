// Turning literal nodes into plain values for evaluation.
//
// Exports: materialise_value.
#pragma once

#include "support/value.h"

/// A fresh plain value in env->pool for a literal node: plain kinds are
/// duplicated; CURRENT_DATE / CURRENT_TIME / CURRENT_TIMESTAMP take the
/// statement's start instant (env->start, fraction 0), so every occurrence
/// in one execution agrees; USER is the "UID" text, or a NULL character
/// value without one; the indirect kinds read their storage (int32, int16
/// and int8 become VT_INTEGER, double VT_DOUBLE, the others their plain
/// kind); VT_CONNECTION_INT becomes VT_INTEGER. The copy's copy_mark is 0.
/// Returns null when memory runs out or the node is not a value.
[[nodiscard]] Value *materialise_value(const Value *node, ValueEnv *env);
