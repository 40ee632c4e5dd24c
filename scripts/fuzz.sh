#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs them.
#
#   bash scripts/fuzz.sh [TARGET|all] [SECONDS] [libFuzzer options...]
#
# TARGET is one of the list below (default: all of them, one after the
# other); SECONDS is how long each runs (default 60). Further options go to
# libFuzzer, e.g. -jobs=2 -workers=2 for two processes. Everything stays under
# build-fuzz/fuzz/TARGET/: seeds/ (written afresh by the target's seed
# program), corpus/ (kept, so a later run goes on from it), fuzz.log, and any
# input that failed (crash-*, leak-*, timeout-*, oom-*). Exits non-zero when a
# target does not build or a run finds a failure.
set -euo pipefail
shopt -s nullglob
cd "$(dirname "$0")/.."

# Every fuzz target; CI (scripts/test.sh) runs each of them.
targets=(fuzz_records fuzz_link fuzz_rle fuzz_wrapper fuzz_images)

# Options of single targets.
declare -A target_options=(
  [fuzz_records]="-max_len=8192"
  [fuzz_link]="-max_len=8192"
)

which=${1:-all}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))

if [[ $which == all ]]; then
  run=("${targets[@]}")
elif [[ " ${targets[*]} " == *" $which "* ]]; then
  run=("$which")
else
  echo "unknown fuzz target '$which'; the targets are: ${targets[*]}" >&2
  exit 2
fi

bash scripts/install-deps.sh
build=build-fuzz
# BRINDLECOT_WERROR=ON in the environment makes warnings errors (CI does).
if [[ ! -f $build/build.ninja ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRINDLECOT_FUZZ=ON -DBRINDLECOT_TESTS=OFF -DBRINDLECOT_BENCH=OFF -DBRINDLECOT_WERROR="${BRINDLECOT_WERROR:-OFF}"
else
  cmake -S . -B "$build" -DBRINDLECOT_WERROR="${BRINDLECOT_WERROR:-OFF}" >/dev/null
fi
build_targets=()
for t in "${run[@]}"; do
  build_targets+=("$t")
  [[ -f tests/fuzz/${t}_seeds.cpp ]] && build_targets+=("${t}_seeds")
done
if ! cmake --build "$build" -j "${FUZZ_BUILD_JOBS:-$(nproc)}" --target "${build_targets[@]}"; then
  echo "=== a fuzz target did not build: ${run[*]} ===" >&2
  exit 1
fi

# Sum of one final statistic over the logs of a run (one log per job).
stat_sum() {
  cat "$@" 2>/dev/null | awk -v key="stat::$stat:" '$1 == key { s += $2 } END { print s + 0 }'
}

failed=()
for t in "${run[@]}"; do
  dir=$build/fuzz/$t
  rm -rf "$dir/seeds" "$dir"/fuzz-*.log
  mkdir -p "$dir/seeds" "$dir/corpus"
  inputs=(corpus)
  if [[ -f tests/fuzz/${t}_seeds.cpp ]]; then
    "$build/tests/fuzz/${t}_seeds" "$dir/seeds"
    inputs+=(seeds)
  fi
  echo "=== $t for ${seconds} s ==="
  start=$(date +%s)
  # Run inside its folder: with -jobs libFuzzer writes a log per job there.
  # shellcheck disable=SC2086
  if (cd "$dir" && "../../tests/fuzz/$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix=./ ${target_options[$t]:-} "$@" "${inputs[@]}" >fuzz.log 2>&1); then
    # With -jobs each job has its own log (and the main log repeats them).
    logs=("$dir"/fuzz-*.log)
    ((${#logs[@]})) || logs=("$dir/fuzz.log")
    stat=number_of_executed_units; runs=$(stat_sum "${logs[@]}")
    elapsed=$(( $(date +%s) - start ))
    echo "$t: $runs inputs in ${elapsed} s ($(( runs / (elapsed > 0 ? elapsed : 1) )) per second), no failure;" \
      "corpus $(ls "$dir/corpus" | wc -l) inputs"
  else
    tail -n 60 "$dir/fuzz.log" "$dir"/fuzz-*.log 2>/dev/null || true
    echo "=== $t failed; the input is in $dir/ (crash-*, leak-*, timeout-*, oom-*) ===" >&2
    failed+=("$t")
  fi
done
if ((${#failed[@]})); then
  echo "=== fuzz targets that failed: ${failed[*]} ===" >&2
  exit 1
fi
