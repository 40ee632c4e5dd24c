#!/usr/bin/env bash
# Installs the dependencies, builds, and starts the main program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/app/BrindlecotProject ]; then
  exec build/app/BrindlecotProject
fi
echo "Built. The main program does not exist yet; only the libraries, tests and stand-in sensor were built."
