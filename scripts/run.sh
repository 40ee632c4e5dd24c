#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the main program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [[ -z ${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-} ]]; then
  echo "No display: BrindlecotProject is a desktop program. Run it in a graphical session, over" \
    "ssh -X, or under a virtual X server: xvfb-run -a build/app/BrindlecotProject" >&2
  exit 1
fi
exec build/app/BrindlecotProject
