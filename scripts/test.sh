#!/usr/bin/env bash
# Installs the dependencies, then builds and runs every test twice: a normal
# build, and a build with AddressSanitizer (leak checking on) and
# UndefinedBehaviorSanitizer. Then runs the record decoder's fuzz target for a
# minute and the link's for 20 s in a third build, made with clang.
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
echo "=== fuzzing the record decoder for 60 s (clang, libFuzzer, address, undefined) ==="
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRINDLECOT_FUZZ=ON -DBRINDLECOT_TESTS=OFF -DBRINDLECOT_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fuzz_records fuzz_records_seeds
rm -rf build-fuzz/seeds build-fuzz/corpus
mkdir -p build-fuzz/seeds build-fuzz/corpus
build-fuzz/tests/fuzz/fuzz_records_seeds build-fuzz/seeds
if ! build-fuzz/tests/fuzz/fuzz_records -max_total_time=60 -max_len=8192 -timeout=10 -print_final_stats=1 \
     -artifact_prefix=build-fuzz/ build-fuzz/corpus build-fuzz/seeds >build-fuzz/fuzz.log 2>&1; then
  tail -n 80 build-fuzz/fuzz.log
  echo "=== the fuzz target failed; the input is in build-fuzz/ (crash-*, leak-*, timeout-*) ==="
  exit 1
fi
grep -E '^(Done|stat::)' build-fuzz/fuzz.log
echo "=== fuzzing the link's frame and burst decoding for 20 s (clang, libFuzzer, address, undefined) ==="
cmake --build build-fuzz -j "$jobs" --target fuzz_link fuzz_link_seeds
rm -rf build-fuzz/link-seeds build-fuzz/link-corpus
mkdir -p build-fuzz/link-seeds build-fuzz/link-corpus
build-fuzz/tests/fuzz/fuzz_link_seeds build-fuzz/link-seeds
if ! build-fuzz/tests/fuzz/fuzz_link -max_total_time=20 -max_len=8192 -timeout=10 -print_final_stats=1 \
     -artifact_prefix=build-fuzz/ build-fuzz/link-corpus build-fuzz/link-seeds >build-fuzz/fuzz_link.log 2>&1; then
  tail -n 80 build-fuzz/fuzz_link.log
  echo "=== the link's fuzz target failed; the input is in build-fuzz/ (crash-*, leak-*, timeout-*) ==="
  exit 1
fi
grep -E '^(Done|stat::)' build-fuzz/fuzz_link.log
echo "=== all tests passed in both builds; the fuzz targets ran clean ==="
