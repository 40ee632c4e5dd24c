#!/usr/bin/env bash
# Installs the dependencies, builds both programs, and starts one of them:
# the main program, or with the argument PortModeTool the comms-mode utility.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-BrindlecotProject}" in
  BrindlecotProject) program=build/app/BrindlecotProject ;;
  PortModeTool) program=build/portmode/PortModeTool ;;
  *) echo "usage: $0 [BrindlecotProject | PortModeTool]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
exec "$program"
