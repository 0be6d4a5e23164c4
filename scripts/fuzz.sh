#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang (build-fuzz) and
# runs each for SECONDS (default 60), one after the other, starting from its
# seed corpus in tests/fuzz/corpus/NAME. The inputs it finds go to
# build-fuzz/corpus/NAME; an input that crashes is kept in the seed corpus
# (crash-*), so that the replay in the normal test run keeps it fixed.
# Logs: build-fuzz/logs.
#   scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DNORVIK_FUZZ=ON "${launcher[@]}" >/dev/null
ninja -C build-fuzz -j"${JOBS:-2}"

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in tests/fuzz/fuzz_*.cpp; do n=$(basename "$f" .cpp); names+=("${n#fuzz_}"); done
fi
mkdir -p build-fuzz/logs
status=0
for n in "${names[@]}"; do
  corpus=tests/fuzz/corpus/$n
  mkdir -p "$corpus" build-fuzz/corpus/"$n"
  echo "== fuzz_$n for ${seconds}s" >&2
  if ! ./build-fuzz/tests/fuzz/fuzz_"$n" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$corpus/" -max_len=4096 build-fuzz/corpus/"$n" "$corpus" 2>build-fuzz/logs/"$n".log; then
    echo "fuzz_$n found a fault: see build-fuzz/logs/$n.log and $corpus/crash-*" >&2
    status=1
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' \
    build-fuzz/logs/"$n".log >&2 || true
done
exit $status
