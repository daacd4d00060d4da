#!/usr/bin/env bash
# Installs what is missing, builds the Linux program and starts it on this X desktop ($DISPLAY).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset release
cmake --build --preset release --target morvane
exec build/release/src/platform/linux/morvane "$@"
