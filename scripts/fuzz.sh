#!/bin/bash
# Builds the libFuzzer programs with clang (build/fuzz: every library
# instrumented, address and undefined-behaviour sanitizers on) and runs each
# for the given number of seconds (default 60) on a copy of its seed corpus,
# one after the other. Prints a line per target: seconds, executions and what
# it found; a crashing input is kept in build/fuzz/crashes/<target>/. Exits
# non-zero when a target found a fault. Not part of scripts/test.sh: the test
# runs replay the checked-in corpora instead.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
dir=build/fuzz

bash scripts/setup.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DHARBEK_FUZZ=ON -DHARBEK_TESTS=OFF >/dev/null
cmake --build "$dir" --target harbek_fuzzers -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
printf '%-24s %8s %12s  %s\n' target seconds executions findings
while read -r target corpus; do
  [ -n "$target" ] || continue
  work="$dir/corpus/$target"
  crashes="$dir/crashes/$target"
  log="$dir/logs/$target.log"
  mkdir -p "$work" "$crashes" "$(dirname "$log")"
  cp -n "$corpus"/* "$work"/
  start=$(date +%s)
  status=0
  "$dir/bin/$target" "$work" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$crashes/" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    found=none
  else
    failed=1
    found="fault (exit $status): $(ls "$crashes" | head -3 | tr '\n' ' ')see $log"
  fi
  printf '%-24s %8s %12s  %s\n' "$target" "$elapsed" "${execs:-?}" "$found"
done <"$dir/fuzzers.txt"
exit "$failed"
