#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, and one with
# the address and undefined-behaviour sanitizers. Tests that need root or
# network namespaces skip with their reason when those are missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"

run_suite() {
  local dir=$1; shift
  echo "== $dir: build" >&2
  "$top/scripts/build.sh" "$dir" "$@"
  echo "== $dir: test" >&2
  (cd "$top/$dir" && ctest --output-on-failure --timeout 300 -j 2)
}

run_suite build-test -DNORVIK_BENCH=ON
# fontconfig and OpenSSL keep some memory for the life of the process; that
# is no leak of ours (tests/lsan.supp). The list of suppressions used stays
# quiet: tests compare norvik-cli's stderr exactly.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0" \
  run_suite build-asan -DNORVIK_SANITIZE=ON -DNORVIK_BENCH=OFF
