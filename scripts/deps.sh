#!/usr/bin/env bash
# Installs what building and testing Morvane needs on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  # core, unit tests, lint
  cmake ninja-build g++ libgtest-dev clang clang-format clang-tidy libclang-rt-14-dev
  # Linux front end and its X11 tests
  qt6-base-dev libx11-dev libxtst-dev libxi-dev xvfb xdotool x11-utils fonts-wqy-zenhei
  # the end-to-end tests read the Linux window over AT-SPI and run it under a comma locale
  dbus-daemon at-spi2-core python3-dbus locales
  # Morvane.exe and its Wine tests
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
  # tooling used by the scripts
  python3 procps
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The end-to-end tests run the Linux program under a locale whose decimal point is a comma.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
