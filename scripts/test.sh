#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

run_preset() {
  cmake --preset "$1"
  cmake --build --preset "$1"
  ctest --preset "$1"
}

run_preset debug
bash scripts/lint.sh build/debug
run_preset fuzz
if [ -f src/platform/x11/CMakeLists.txt ]; then run_preset release; fi
if [ -f src/platform/win32/CMakeLists.txt ]; then run_preset mingw; fi
echo "all tests passed"
