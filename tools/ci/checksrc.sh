#!/usr/bin/env bash
# checksrc.sh [ROOT]: house rules a compiler does not check. Bans unbounded
# or unchecked C string calls and flags source files past the size budget
# (generated files say "generated" in their first lines and are exempt).
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
status=0
files=$(git ls-files -- '*.cpp' '*.h' '*.hpp' '*.c' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
banned='\b(sprintf|vsprintf|strcpy|strcat|atoi|atol|strtok|gets)\s*\('
for f in $files; do
  [ -f "$f" ] || continue
  if grep -nE "$banned" "$f" | grep -v 'checksrc: allow'; then
    echo "$f: banned call (use snprintf, bounded copies, strtol/from_chars)"; status=1
  fi
  lines=$(wc -l < "$f")
  if [ "$lines" -gt 1000 ] && ! head -5 "$f" | grep -qi generated; then
    echo "$f: $lines lines (split it: files past 1000 lines are hard to review)"; status=1
  fi
done
[ $status -eq 0 ] && echo "checksrc: $(echo "$files" | wc -w) files clean"
exit $status
