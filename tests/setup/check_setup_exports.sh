#!/usr/bin/env bash
# check_setup_exports.sh LIBRARY MAP: the setup library exports exactly the
# symbols its version script lists and links neither a driver manager nor
# the installer library (both are the host's, loaded at run time).
set -euo pipefail
lib=$1 map=$2
want=$(sed -n '/global:/,/local:/p' "$map" | grep -oE '^\s+[A-Za-z_][A-Za-z0-9_]*;' | tr -d ' ;' | sort)
have=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$want" != "$have" ]; then
  echo "exports differ from $map:"; diff <(echo "$want") <(echo "$have") || true; exit 1
fi
if readelf -d "$lib" | grep -E 'NEEDED.*(libodbc|libiodbc)'; then echo "$lib links an ODBC library"; exit 1; fi
readelf -d "$lib" | grep -q 'NODELETE' || { echo "$lib is not linked -z nodelete"; exit 1; }
echo "exports: $(echo "$have" | tr '\n' ' ')"
