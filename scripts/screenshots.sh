#!/usr/bin/env bash
# Takes the screenshots in docs/ under a virtual X server (xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLECOT_TESTS=ON
cmake --build build -j "$(nproc)" --target brindlecot-screenshots portmode-screenshots
mkdir -p docs
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" build/tests/brindlecot-screenshots docs
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" build/tests/portmode-screenshots docs
