#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a normal
# build, and a build with AddressSanitizer (leak checking on) and
# UndefinedBehaviorSanitizer. Then runs every fuzz target briefly in a third
# build, made with clang (scripts/fuzz.sh; its list names the targets). All
# three builds treat compiler warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DBRINDLECOT_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest -j "$jobs" --output-on-failure --timeout 300)
}

echo "=== normal build ==="
# The same folder as scripts/run.sh, which turns the tests off: turned on again.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLECOT_TESTS=ON -DBRINDLECOT_BENCH=ON
echo "=== sanitizer build (address, undefined, leaks) ==="
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DBRINDLECOT_SANITIZE=ON -DBRINDLECOT_BENCH=OFF
echo "=== every fuzz target for 25 s (clang, libFuzzer, address, undefined) ==="
# A listed target that does not build, or a run that finds a failure, fails
# here; the failing input stays in build-fuzz/fuzz/<target>/.
FUZZ_BUILD_JOBS=$jobs BRINDLECOT_WERROR=ON bash scripts/fuzz.sh all 25
echo "=== all tests passed in both builds; the fuzz targets ran clean ==="
