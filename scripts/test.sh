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
run_preset fuzz
run_preset release
run_preset mingw
# After the builds: clang-tidy reads each one's compile commands.
bash scripts/lint.sh build/debug build/release build/mingw
echo "all tests passed"
