#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds one build tree. The
# configure log goes inside the tree (DIR/configure.log).
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
ninja -C "$dir"
