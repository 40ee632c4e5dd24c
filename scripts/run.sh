#!/usr/bin/env bash
# Installs the dependencies, builds both programs (nothing else: the tests,
# the stand-in sensor and the benchmarks come with scripts/test.sh), and
# starts one of them: the main program, or with the argument PortModeTool the
# comms-mode utility.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-BrindlecotProject}" in
  BrindlecotProject) program=build/app/BrindlecotProject ;;
  PortModeTool) program=build/portmode/PortModeTool ;;
  *) echo "usage: $0 [BrindlecotProject | PortModeTool]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLECOT_TESTS=OFF -DBRINDLECOT_BENCH=OFF
cmake --build build -j "$(nproc)" --target BrindlecotProject PortModeTool
if [[ -z ${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-} ]]; then
  echo "No display: ${program##*/} is a desktop program. Run it in a graphical session, over" \
    "ssh -X, or under a virtual X server: xvfb-run -a $program" >&2
  exit 1
fi
exec "$program"
