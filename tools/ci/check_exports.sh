#!/usr/bin/env bash
# check_exports.sh LIBRARY MAP: the library exports exactly the symbols the
# version script lists, and links no driver manager.
set -euo pipefail
lib=$1 map=$2
want=$(grep -oE '^\s+SQL[A-Za-z]+;|^\s+driver_test;' "$map" | tr -d ' ;' | sort)
have=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$want" != "$have" ]; then
  echo "exports differ from $map:"; diff <(echo "$want") <(echo "$have") || true; exit 1
fi
if ldd "$lib" | grep -E 'libodbc\.so|libiodbc'; then echo "$lib links a driver manager"; exit 1; fi
echo "exports: $(echo "$have" | wc -l) ODBC entry points, no driver manager linked"
