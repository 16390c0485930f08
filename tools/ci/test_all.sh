#!/usr/bin/env bash
# Runs every test: a normal build, then the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/ci/install_deps.sh
jobs=${CV_JOBS:-$(nproc)}

passed=0
run_suite() {
  local dir=$1; shift
  bash tools/ci/build.sh "$dir" "$@"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) | tee "$dir.ctest.log"
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir.ctest.log")
  passed=$((passed + ${n:-0}))
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The sanitizer run loads the driver into programs that are not instrumented
# (isql, python3), so its tests preload the ASan runtime themselves.
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DCV_SANITIZE=ON -DCV_BENCH=OFF
# Threaded code once more under ThreadSanitizer: the transport (8 threads on
# their own contexts), the handle layer (connections of one environment on 8
# threads, the asynchronous worker), the parser (the corpus on 8 threads) and
# the support library.
tsan_targets="transport_tests odbc_internal_test sql_test support_test sqi_parallel_test"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_TSAN=ON -DCV_BENCH=OFF \
  > build-tsan.configure.log 2>&1 || { cat build-tsan.configure.log; exit 1; }
ninja -C build-tsan $tsan_targets
for t in $tsan_targets; do
  bin=$(find build-tsan/tests -name "$t" -type f -executable | head -n 1)
  echo "--- ThreadSanitizer: $t"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$bin" --gtest_brief=1 | tee build-tsan.$t.log
  n=$(sed -n 's/.*PASSED.* \([0-9]*\) tests\?\..*/\1/p' build-tsan.$t.log)
  passed=$((passed + ${n:-0}))
done
# The Debian package: built, installed with apt-get, registered, connected
# to through isql, removed (changes /usr and /etc: CI machines only).
bash tools/ci/deb_check.sh
echo "all test suites passed"
echo "tests: $passed passed, 0 failed"
