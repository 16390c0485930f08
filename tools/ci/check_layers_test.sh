#!/usr/bin/env bash
# check_layers_test.sh: the layer check finds upward includes and passes a
# clean tree (a checker that always passes would hide every fault).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{support,sql,engine,dal,query,odbc}
write() { printf '%s\n' "${@:2}" > "$tree/$1"; }
write support/a.h '#include "support/b.h"' '#include <sql.h>'
write sql/p.h '#include "support/a.h"' '#include "sql_grammar.hpp"'
write engine/e.cpp '#include "sql/p.h"' '#include "support/a.h"'
write dal/d.cpp '#include "engine/e.h"' '#include "sqi/s.h"'
write query/q.cpp '#include "dal/d.h"' '#include "engine/e.h"'
write odbc/o.cpp '#include "query/q.h"' '#include "dal/d.h"'

fail() { echo "FAIL: $*"; exit 1; }
out=$(bash "$here/check_layers.sh" "$tree") || fail "a clean tree was rejected: $out"

write support/bad.h '#include "odbc/handles.h"'
write engine/bad.cpp '  #  include "dal/dal.h"'
write dal/bad.cpp '#include "query/q.h"'
write sql/bad.y '#include "tests/helper.h"'
out=$(bash "$here/check_layers.sh" "$tree")
[ $? -eq 1 ] || fail "upward includes were accepted"
for want in "support/bad.h:1: includes odbc/handles.h" "engine/bad.cpp:1: includes dal/dal.h" \
            "dal/bad.cpp:1: includes query/q.h" "sql/bad.y:1: includes tests/helper.h"; do
  grep -qF "$want" <<<"$out" || fail "not reported: $want"$'\n'"$out"
done
[ "$(grep -c 'above' <<<"$out")" -eq 4 ] || fail "unexpected reports:"$'\n'"$out"
echo "check_layers: clean tree passes, four upward includes reported"
