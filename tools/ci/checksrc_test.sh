#!/usr/bin/env bash
# checksrc_test.sh: checksrc finds banned calls and oversized files and passes
# a clean tree (a checker that always passes would hide every fault).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cd "$tree" && git init -q . || fail "git init"
printf '%s\n' 'int f(char *b) { return snprintf(b, 4, "x"); }' > clean.cpp
printf '%s\n' '// a generated table' > table.h
seq 1 1200 | sed 's/^/\/\/ /' >> table.h
printf '%s\n' 'void g(char *d) { strcat(d, "x");  // checksrc: allow' '}' > allowed.cpp
git add . && out=$(bash "$here/checksrc.sh" "$tree") || fail "a clean tree was rejected: $out"

printf '%s\n' 'int h(const char *s) {' '  return atoi(s);' '}' > 'bad one.cpp'
printf '%s\n' 'void k(char *d) { sprintf(d, "%d", 1); strcpy(d, "x"); }' > bad.c
seq 1 1001 | sed 's/^/\/\/ /' > long.h
git add .
out=$(bash "$here/checksrc.sh" "$tree")
[ $? -eq 1 ] || fail "banned calls and a long file were accepted"
for want in "2:  return atoi(s);" "bad one.cpp: banned call" "bad.c: banned call" "long.h: 1001 lines"; do
  grep -qF "$want" <<<"$out" || fail "not reported: $want"$'\n'"$out"
done
[ "$(grep -c 'banned call' <<<"$out")" -eq 2 ] && [ "$(grep -c ' lines ' <<<"$out")" -eq 1 ] \
  || fail "unexpected reports:"$'\n'"$out"
echo "checksrc: clean tree passes, banned calls and a long file reported"
