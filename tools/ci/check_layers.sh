#!/usr/bin/env bash
# check_layers.sh [ROOT]: every folder of the driver includes only its own
# layer and the layers below it (the order is drawn in the top README).
# Exits 1 listing each include that reaches upward, or into tests/, tools/
# or bench/. A folder of the order that does not exist yet is simply absent.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2

# Bottom up; folders on one line form one layer and may include each other.
layers=(
  "support"
  "transport"
  "sql"
  "engine"
  "dal sqi"
  "query"
  "odbc"
  "setup"
)
# Folders outside the driver: no layer may include them.
outside="tests tools bench"

# Includes allowed against the order, each with its reason:
#   FILE INCLUDED-HEADER REASON
# Temporary entries name the change that removes them.
exceptions=(
)

declare -A rank
for i in "${!layers[@]}"; do
  for f in ${layers[$i]}; do rank[$f]=$i; done
done
for f in $outside; do rank[$f]=1000; done

allowed() {  # file header
  local e ef eh rest
  for e in "${exceptions[@]}"; do
    read -r ef eh rest <<<"$e"
    [ "$ef" = "$1" ] && [ "$eh" = "$2" ] && return 0
  done
  return 1
}

status=0
checked=0
used=()
# One grep and one sed per folder, the rest in the shell without a process
# per line: the check runs in every test run and must stay quick.
for layer in "${layers[@]}"; do
  for folder in $layer; do
    [ -d "$folder" ] || continue
    files=()
    while IFS= read -r -d '' file; do files+=("$file"); done \
      < <(find "$folder" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' -o -name '*.y' \) -print0)
    [ ${#files[@]} -gt 0 ] || continue
    checked=$((checked + ${#files[@]}))
    mine=${rank[$folder]}
    # FILE:LINE:HEADER for every quoted include.
    while IFS=: read -r file line header; do
      top=${header%%/*}
      [ "$top" = "$header" ] && continue        # no folder: local or generated header
      [ -n "${rank[$top]+x}" ] || continue      # not one of ours (a library's path)
      [ "${rank[$top]}" -le "$mine" ] && continue
      if allowed "$file" "$header"; then used+=("$file $header"); continue; fi
      echo "$file:$line: includes $header, above $folder/ in the layer order"
      status=1
    done < <(grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${files[@]}" |
             sed -n 's/^\([^:]*\):\([0-9]*\):[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1:\2:\3/p')
  done
done

# An exception nobody needs any more is dead weight: say so (not fatal, so a
# merge that removes the cause does not break the check before the list is
# tidied).
for e in "${exceptions[@]}"; do
  read -r ef eh _ <<<"$e"
  found=0
  for u in "${used[@]+"${used[@]}"}"; do [ "$u" = "$ef $eh" ] && found=1; done
  [ $found -eq 1 ] || echo "note: exception no longer needed: $ef -> $eh"
done

if [ "$checked" -eq 0 ]; then
  echo "check_layers: no source files under $root"; exit 1
fi
[ $status -eq 0 ] && echo "layers: $checked files include only their own layer and those below"
exit $status
