#!/usr/bin/env bash
# generator_rejects.sh ROOT: the catalogue generator accepts the committed
# data file and stops the build, with a message, on each kind of broken one.
set -uo pipefail
root=$1
gen="/usr/bin/python3 $root/sqi/gen_catalog.py"
data="$root/sqi/catalog_data.txt"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
$gen --cpp "$data" "$tmp/ok.cpp" || { echo "the committed data file was refused"; status=1; }
grep -q "GENERATED" "$tmp/ok.cpp" || { echo "generated file lacks its header"; status=1; }

# name | sed expression that breaks the data
cases=(
  "column count|0,/^columns 11\$/s//columns 12/"
  "unknown type|0,/| S30 /s//| Q30 /"
  "duplicate column|0,/| StatusDetailsReason /s//| Status /"
  "bad flags|0,/| 0x10001 /s//| 0xZZ /"
  "two placeholders|s#^endpoint v2/payments/captures\$#endpoint v2/%s/%s#"
  "child table without sub key|0,/^sub_key transactions\$/s//sub_key -/"
  "missing table|/^table CreditCards\$/,\$d"
  "values on a filter that is not echoed|0,/| transaction_id |/s//| transaction_id=A,B |/"
  "a value twice|s/balance_affecting_records_only=N,Y/balance_affecting_records_only=N,N/"
  "an empty value|s/balance_affecting_records_only=N,Y/balance_affecting_records_only=N,/"
)
for c in "${cases[@]}"; do
  name=${c%%|*}
  expr=${c#*|}
  sed "$expr" "$data" > "$tmp/bad.txt"
  if cmp -s "$data" "$tmp/bad.txt"; then echo "$name: the edit changed nothing"; status=1; continue; fi
  if $gen --cpp "$tmp/bad.txt" "$tmp/bad.cpp" 2> "$tmp/err"; then
    echo "$name: accepted"; status=1
  elif ! grep -q "catalog_data.txt\|Traceback" "$tmp/err"; then
    echo "$name: refused without a message"; cat "$tmp/err"; status=1
  elif grep -q Traceback "$tmp/err"; then
    echo "$name: crashed instead of reporting"; cat "$tmp/err"; status=1
  fi
done
[ $status -eq 0 ] && echo "generator: ${#cases[@]} broken files refused"
exit $status
