#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test; then counts what
# passed, was skipped and failed, per label (with CI=true, a skip where CI must run fails).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

status=0
builds=()
run_preset() {
  cmake --preset "$1"
  cmake --build --preset "$1"
  builds+=("build/$1")
  ctest --preset "$1" --output-junit "$PWD/build/$1/junit.xml" || status=1
}

run_preset debug
run_preset tsan
run_preset fuzz
run_preset release
run_preset mingw32
run_preset mingw
# After the builds: clang-tidy reads each one's compile commands.
bash scripts/lint.sh build/debug build/release build/mingw || status=1
python3 scripts/ctest_summary.py "${builds[@]}" || status=1
if [ "$status" -ne 0 ]; then
  echo "tests failed"
  exit 1
fi
echo "all tests passed"
