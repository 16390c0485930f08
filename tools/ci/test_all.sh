#!/usr/bin/env bash
# Runs every test, in three build trees:
#   build        g++ with the flags the package ships (RelWithDebInfo): the
#                whole suite, then the Debian package made from this tree;
#   build-asan   clang with ASan+UBSan and libFuzzer: the whole suite again,
#                every fuzz corpus replayed by libFuzzer among its tests;
#   build-tsan   clang with ThreadSanitizer: the threaded tests only.
# Executables link with lld (in a third of the time); the normal tree's shared
# libraries, the ones the package ships, keep the system linker.
# Every sanitizer finding is fatal. A suite, test or corpus that is missing
# fails the run. Logs go inside each build tree; each phase prints its wall
# time, and the end of the log lists them all. The last line counts the
# distinct tests once: "tests: N passed, 0 failed".
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
bash tools/ci/install_deps.sh
jobs=${CV_JOBS:-$(nproc)}

# ---- phase times: "=== name: N s" as each ends, and a table at the end (also
# when a phase fails, so a slow or broken run shows where its time went).
phase_lines=()
phase_name="" phase_t0=0 run_t0=$(date +%s)
phase() {  # phase NAME: ends the running phase, starts NAME
  phase_end
  phase_name=$1 phase_t0=$(date +%s)
  echo "=== $phase_name (started $(date +%T), load average $(cut -d' ' -f1-3 /proc/loadavg))"
}
phase_end() {
  [ -n "$phase_name" ] || return 0
  local s=$(( $(date +%s) - phase_t0 ))
  phase_lines+=("$(printf '%-22s %5d s' "$phase_name" "$s")")
  echo "=== $phase_name: $s s"
  phase_name=""
}
phase_table() {
  phase_end
  echo "--- phase times ($jobs jobs; load average at the end $(cut -d' ' -f1-3 /proc/loadavg))"
  printf '%s\n' "${phase_lines[@]}"
  printf '%-22s %5d s\n' "total" $(( $(date +%s) - run_t0 ))
}
trap phase_table EXIT

# Tests every full run must contain (ctest name patterns): a suite that the
# configure dropped, or a corpus that vanished, fails here rather than
# shrinking the count.
expected=(
  check_layers checksrc emulator_selftest
  'DifferentialTest\.' 'ProbeToolTest\.' 'EmulatorTest\.' 'ProxyTest\.' 'ScanTables\.' 'ParallelScan\.'
  'TransactionScan\.' 'ScanRetry\.' 'ReplyPage\.' 'ClonePool\.' 'ChangeRetryTest\.' 'TokenShareTest\.'
  # query_tests: validation, differential and derived tables against SQLite,
  # sorting, keyed joins, PayPal queries
  'Validation\.' 'Files/ValidationErrors\.' 'Seeds/Differential\.' 'Seeds/Derived\.' 'DerivedStatement\.'
  'Sorting\.' 'SortTest\.' 'Seeds/KeyedJoins\.' 'PaypalQueries\.' 'Pushdown\.' 'RowsetTest\.'
  'StateTable\.' 'ConvertTest\.' 'SetupForm\.' 'SetupStore\.'
  odbc_driver_manager_loads_driver odbc_connect_emulator odbc_connect_edges odbc_secrets_in_logs
  odbc_select_every_table odbc_values_every_column odbc_statement_calls odbc_sorting_and_joins
  odbc_keyed_joins odbc_derived_tables odbc_transactions_year odbc_scan_retries odbc_data_changes
  odbc_catalog odbc_cancel_from_thread odbc_qt_qodbc odbc_libreoffice_base odbc_bound_rows
  setup_dialog setup_exports driver_exports
)
corpora=$(ls -d tests/fuzz/*/corpus | wc -l)

check_expected() {  # check_expected DIR
  local dir=$1 listed
  listed=$(cd "$dir" && ctest -N)
  for pattern in "${expected[@]}"; do
    grep -Eq "Test +#[0-9]+: ${pattern}" <<<"$listed" || { echo "$dir: expected test missing: $pattern" >&2; return 1; }
  done
  # One replay per saved corpus.
  [ "$(grep -Ec 'Test +#[0-9]+: .*_corpus$' <<<"$listed")" -eq "$corpora" ] \
    || { echo "$dir: not every fuzz corpus is replayed" >&2; return 1; }
}

configure() {  # configure DIR [cmake options...]; the log goes inside the tree
  local dir=$1; shift
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -G Ninja "$@" > "$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
  echo "$dir: $(ninja -C "$dir" -t commands | grep -c -- ' -c ') compile jobs in the whole tree"
}

# ctest_count DIR: runs the suite of DIR (no test at all is an error) and
# prints the number of tests that passed. Most tests keep a core busy: they
# take one of $jobs "cpus" slots (tests/CMakeLists.txt); tests that mostly
# wait (Retry-After, back-off, time-outs) take none and run beside them, up
# to four times $jobs tests at once.
ctest_count() {
  local dir=$1; shift
  printf '{"version": {"major": 1, "minor": 0}, "local": [{"cpus": [{"id": "0", "slots": %d}]}]}\n' "$jobs" \
    > "$dir/resources.json"
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j $((jobs * 4)) --resource-spec-file resources.json \
                --timeout 600 "$@") > "$dir/ctest.log" 2>&1 \
    || { cat "$dir/ctest.log"; echo "ctest failed in $dir" >&2; return 1; }
  tail -n 3 "$dir/ctest.log" >&2
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log")
  [ -n "$n" ] && [ "$n" -gt 0 ] || { echo "no passing tests counted in $dir" >&2; return 1; }
  echo "$n"
}

# Everything the sanitizer and TSan trees link, lld links.
lld=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)

phase "layer check"
bash tools/ci/check_layers.sh

# ---- the normal tree: the compiler and flags the package ships with
phase "normal: configure"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
phase "normal: build"
ninja -C build
phase "normal: tests"
check_expected build  # after the build: the GoogleTest cases are listed by their binaries
distinct=$(ctest_count build)

# ---- the sanitizer tree: clang, ASan+UBSan, libFuzzer. The integration tests
# load the driver into programs that are not instrumented (isql, python3), so
# they preload the sanitizer runtime themselves (tests/CMakeLists.txt).
phase "sanitizer: configure"
CC=clang CXX=clang++ configure build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_SANITIZE=ON -DCV_FUZZ=ON \
  -DCV_BENCH=OFF "${lld[@]}"
phase "sanitizer: build"
ninja -C build-asan
phase "sanitizer: tests"
check_expected build-asan
asan=$(ctest_count build-asan)
[ "$asan" -eq "$distinct" ] || { echo "the sanitizer run counted $asan tests, the normal run $distinct" >&2; exit 1; }
# Every corpus replayed through libFuzzer (ASan+UBSan, recovery off).
fuzz=$(grep -Ec 'Test +#[0-9]+: .*_corpus \.+ +Passed' build-asan/ctest.log || true)
[ "$fuzz" -eq "$corpora" ] || { echo "the sanitizer tree replayed $fuzz of $corpora corpora" >&2; exit 1; }

# ---- threaded code once more under ThreadSanitizer: the transport (8 threads
# on their own contexts), the handle layer (connections of one environment on
# 8 threads, the asynchronous worker), the parser (the corpus on 8 threads)
# and the support library, the provider's parallel pages and their pooled connections. Only
# these targets and what they link are compiled; $jobs binaries run at once.
tsan_targets="transport_tests odbc_internal_test sql_test support_test sqi_parallel_test sqi_test"
phase "tsan: configure"
mkdir -p build-tsan
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCV_TSAN=ON -DCV_BENCH=OFF \
  "${lld[@]}" > build-tsan/configure.log 2>&1 || { cat build-tsan/configure.log; exit 1; }
echo "build-tsan: $(ninja -C build-tsan -t commands $tsan_targets | grep -c -- ' -c ') compile jobs for its targets"
phase "tsan: build"
ninja -C build-tsan $tsan_targets
phase "tsan: tests"
bins=()
for t in $tsan_targets; do
  bin=$(find build-tsan/tests -name "$t" -type f -executable | head -n 1)
  [ -n "$bin" ] || { echo "ThreadSanitizer: $t was not built" >&2; exit 1; }
  rm -f "build-tsan/$t.log" "build-tsan/$t.status"
  bins+=("$bin")
done
# Each binary writes its log and its exit status into the tree.
printf '%s\n' "${bins[@]}" | TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" xargs -P "$jobs" -n 1 \
  sh -c 't=$(basename "$1"); "$1" --gtest_brief=1 > "build-tsan/$t.log" 2>&1; echo $? > "build-tsan/$t.status"' sh
tsan=0
for t in $tsan_targets; do
  log=build-tsan/$t.log
  echo "--- ThreadSanitizer: $t"
  n=$(sed -n 's/.*PASSED.* \([0-9]*\) tests\?\..*/\1/p' "$log" 2>/dev/null)
  if [ "$(cat "build-tsan/$t.status" 2>/dev/null)" != 0 ] || [ -z "$n" ] || [ "$n" -eq 0 ]; then
    cat "$log"; echo "ThreadSanitizer: $t failed or ran no test" >&2; exit 1
  fi
  tsan=$((tsan + n))
done

# ---- the Debian package, made from the normal tree: built, installed with
# apt-get, registered, connected to through isql, removed (changes /usr and
# /etc: CI machines only).
phase "deb check"
bash tools/ci/deb_check.sh "$root/build"

# The counts come last: the final line is the run's result.
trap - EXIT
phase_table
echo "sanitizer runs: clang ASan+UBSan $asan passed (fuzz corpora through libFuzzer $fuzz of them)," \
     "ThreadSanitizer $tsan passed"
echo "tests: $distinct passed, 0 failed"
