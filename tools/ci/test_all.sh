#!/usr/bin/env bash
# Runs every test: a normal build, then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/ci/install_deps.sh
jobs=${CV_JOBS:-$(nproc)}

run_suite() {
  local dir=$1; shift
  bash tools/ci/build.sh "$dir" "$@"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The sanitizer run loads the driver into programs that are not instrumented
# (isql, python3), so its tests preload the ASan runtime themselves.
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DCV_SANITIZE=ON -DCV_BENCH=OFF
echo "all test suites passed"
