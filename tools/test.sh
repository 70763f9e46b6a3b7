#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native tree and both
# Windows builds (x86_64 and i686), then runs the native, Win32-under-Wine
# and end-to-end tests in one CTest run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
build=${VARNOLT_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
