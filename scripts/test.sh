#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a normal
# build, and a build with AddressSanitizer (leak checking on) and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300)
}

echo "=== normal build ==="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "=== sanitizer build (address, undefined, leaks) ==="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DBRINDLECOT_SANITIZE=ON -DBRINDLECOT_BENCH=OFF
echo "=== all tests passed in both builds ==="
