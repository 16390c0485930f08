#!/usr/bin/env bash
# Runs every test: the layer check, a normal build, the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz corpora replayed
# in the clang fuzz build, and the threaded tests under ThreadSanitizer.
# Every sanitizer finding is fatal. A suite, test or corpus that is missing
# fails the run. Logs go inside each build tree. The last line counts the
# distinct tests once: "tests: N passed, 0 failed".
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/ci/install_deps.sh
jobs=${CV_JOBS:-$(nproc)}

bash tools/ci/check_layers.sh

# Tests every full run must contain (ctest name patterns): a suite that the
# configure dropped, or a corpus that vanished, fails here rather than
# shrinking the count.
expected=(
  check_layers checksrc emulator_selftest
  'DifferentialTest\.' 'ProbeToolTest\.' 'EmulatorTest\.' 'ProxyTest\.' 'ScanTables\.'
  odbc_driver_manager_loads_driver odbc_connect_emulator odbc_connect_edges
)
corpora=$(ls -d tests/fuzz/*/corpus | wc -l)

# ctest_count DIR: runs the suite of DIR (no test at all is an error) and
# prints the number of tests that passed.
ctest_count() {
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 600 "$@") \
    > "$dir/ctest.log" 2>&1 || { cat "$dir/ctest.log"; echo "ctest failed in $dir" >&2; return 1; }
  tail -n 3 "$dir/ctest.log" >&2
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log")
  [ -n "$n" ] && [ "$n" -gt 0 ] || { echo "no passing tests counted in $dir" >&2; return 1; }
  echo "$n"
}

check_expected() {
  local dir=$1 listed
  listed=$(cd "$dir" && ctest -N)
  for pattern in "${expected[@]}"; do
    grep -Eq "Test +#[0-9]+: ${pattern}" <<<"$listed" || { echo "$dir: expected test missing: $pattern" >&2; return 1; }
  done
  # One replay per saved corpus.
  [ "$(grep -Ec 'Test +#[0-9]+: .*_corpus$' <<<"$listed")" -eq "$corpora" ] \
    || { echo "$dir: not every fuzz corpus is replayed" >&2; return 1; }
}

bash tools/ci/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
check_expected build
distinct=$(ctest_count build)

# The sanitizer run loads the driver into programs that are not instrumented
# (isql, python3), so its tests preload the sanitizer runtimes themselves.
bash tools/ci/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DCV_SANITIZE=ON -DCV_BENCH=OFF
check_expected build-asan
asan=$(ctest_count build-asan)
[ "$asan" -eq "$distinct" ] || { echo "ASan run counted $asan tests, the normal run $distinct" >&2; exit 1; }

# The fuzz targets built with clang (libFuzzer, ASan, UBSan with recovery off)
# replay every saved corpus once.
mkdir -p build-fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_FUZZ=ON \
  -DCV_BENCH=OFF > build-fuzz/configure.log 2>&1 || { cat build-fuzz/configure.log; exit 1; }
fuzz_targets=$(cd build-fuzz && ctest -N -R '_corpus$' | sed -n 's/.*Test *#[0-9]*: \(.*\)_corpus$/\1/p')
[ -n "$fuzz_targets" ] || { echo "the fuzz build lists no corpus replay" >&2; exit 1; }
ninja -C build-fuzz $fuzz_targets
fuzz=$(ctest_count build-fuzz -R '_corpus$')
[ "$fuzz" -eq "$corpora" ] || { echo "the fuzz build replayed $fuzz of $corpora corpora" >&2; exit 1; }

# Threaded code once more under ThreadSanitizer: the transport (8 threads on
# their own contexts), the handle layer (connections of one environment on 8
# threads, the asynchronous worker), the parser (the corpus on 8 threads) and
# the support library, the provider's parallel pages and JSON blocks.
tsan_targets="transport_tests odbc_internal_test sql_test support_test sqi_parallel_test sqi_test"
mkdir -p build-tsan
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_TSAN=ON -DCV_BENCH=OFF \
  > build-tsan/configure.log 2>&1 || { cat build-tsan/configure.log; exit 1; }
ninja -C build-tsan $tsan_targets
tsan=0
for t in $tsan_targets; do
  bin=$(find build-tsan/tests -name "$t" -type f -executable | head -n 1)
  [ -n "$bin" ] || { echo "ThreadSanitizer: $t was not built" >&2; exit 1; }
  echo "--- ThreadSanitizer: $t"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$bin" --gtest_brief=1 > "build-tsan/$t.log" 2>&1 \
    || { cat "build-tsan/$t.log"; exit 1; }
  n=$(sed -n 's/.*PASSED.* \([0-9]*\) tests\?\..*/\1/p' "build-tsan/$t.log")
  [ -n "$n" ] && [ "$n" -gt 0 ] || { cat "build-tsan/$t.log"; echo "ThreadSanitizer: $t ran no test" >&2; exit 1; }
  tsan=$((tsan + n))
done
# The Debian package: built, installed with apt-get, registered, connected
# to through isql, removed (changes /usr and /etc: CI machines only).
bash tools/ci/deb_check.sh

echo "sanitizer runs: ASan+UBSan $asan passed, fuzz corpora (clang ASan+UBSan) $fuzz passed, ThreadSanitizer $tsan passed"
echo "tests: $distinct passed, 0 failed"
