#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a normal
# build, and a build with AddressSanitizer (leak checking on) and
# UndefinedBehaviorSanitizer. Each test runs in a process of its own; in the
# normal build every test program also runs whole, all its tests in one
# process. Builds everything again with clang (not run), then runs every fuzz
# target briefly in a clang build of its own (scripts/fuzz.sh; its list names
# the targets). All builds treat compiler warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

build_all() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DBRINDLECOT_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
}

# Each test in a process of its own (the label "whole" marks the runs of
# whole test programs).
run_tests() {
  (cd "$1" && ctest -j "$jobs" --output-on-failure --timeout 300 -LE whole)
}

echo "=== normal build ==="
# The same folder as scripts/run.sh, which turns the tests off: turned on again.
build_all build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLECOT_TESTS=ON -DBRINDLECOT_BENCH=ON
run_tests build
echo "=== every test program run whole ==="
(cd build && ctest -j "$jobs" --output-on-failure -L whole)
echo "=== clang build of everything, tests and benchmarks included (built, not run) ==="
build_all build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRINDLECOT_TESTS=ON -DBRINDLECOT_BENCH=ON
echo "=== sanitizer build (address, undefined, leaks) ==="
build_all build-asan -DCMAKE_BUILD_TYPE=Debug -DBRINDLECOT_SANITIZE=ON -DBRINDLECOT_BENCH=OFF
run_tests build-asan
echo "=== every fuzz target for 25 s (clang, libFuzzer, address, undefined) ==="
# A listed target that does not build, or a run that finds a failure, fails
# here; the failing input stays in build-fuzz/fuzz/<target>/.
FUZZ_BUILD_JOBS=$jobs BRINDLECOT_WERROR=ON bash scripts/fuzz.sh all 25
echo "=== all tests passed in both builds and every test program whole; clang built everything; the fuzz targets ran clean ==="
