#!/usr/bin/env bash
# checksrc.sh [ROOT]: house rules a compiler does not check. Bans unbounded
# or unchecked C string calls and flags source files past the size budget
# (generated files say "generated" in their first lines and are exempt).
# One grep and one wc over all files, not a process per file: it runs in
# every test run.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
status=0
files=()
while IFS= read -r f; do [ -f "$f" ] && files+=("$f"); done \
  < <(git ls-files -- '*.cpp' '*.h' '*.hpp' '*.c' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -gt 0 ] || { echo "checksrc: no source files under $root"; exit 1; }
banned='\b(sprintf|vsprintf|strcpy|strcat|atoi|atol|strtok|gets)\s*\('
# FILE:LINE:TEXT of every banned call not marked as allowed, grouped by file.
hits=$(grep -HnE "$banned" "${files[@]}" | grep -v 'checksrc: allow')
if [ -n "$hits" ]; then
  prev=""
  while IFS= read -r hit; do
    f=${hit%%:*}
    if [ -n "$prev" ] && [ "$f" != "$prev" ]; then
      echo "$prev: banned call (use snprintf, bounded copies, strtol/from_chars)"
    fi
    echo "${hit#*:}"
    prev=$f
  done <<<"$hits"
  echo "$prev: banned call (use snprintf, bounded copies, strtol/from_chars)"
  status=1
fi
while read -r lines f; do
  [ "$f" = total ] && continue
  if [ "$lines" -gt 1000 ] && ! head -5 "$f" | grep -qi generated; then
    echo "$f: $lines lines (split it: files past 1000 lines are hard to review)"; status=1
  fi
done < <(wc -l "${files[@]}")
[ $status -eq 0 ] && echo "checksrc: ${#files[@]} files clean"
exit $status
