#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds one build tree.
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/../.." && pwd)
cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
ninja -C "$dir"
