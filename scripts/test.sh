#!/bin/bash
# Sets up a fresh Debian 12 machine, builds the project twice (warnings as
# errors; then with AddressSanitizer and UndefinedBehaviorSanitizer) and runs
# every test of each build. Both builds run whatever the first one gives;
# the script fails at the end when either failed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
run_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DHARBEK_WERROR=ON "$@" >/dev/null &&
    cmake --build "$dir" -j "$jobs" &&
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

failed=()
run_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo || failed+=(release)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DHARBEK_SANITIZE=ON || failed+=(sanitize)

if [ ${#failed[@]} -gt 0 ]; then
  echo "test.sh: the ${failed[*]} build failed its build or tests" >&2
  exit 1
fi
echo "test.sh: both builds passed every test"
