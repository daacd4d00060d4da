#!/usr/bin/env bash
# Installs what building and testing Morvane needs on Debian 12. Safe to run again.
set -euo pipefail

packages=(
  # core, unit tests, lint
  cmake ninja-build g++ libgtest-dev clang clang-format clang-tidy libclang-rt-14-dev
  # Linux front end and its X11 tests
  qt6-base-dev qt6-translations-l10n libx11-dev libxtst-dev libxi-dev xvfb xdotool x11-utils
  # the common Chinese faces the captions are fitted to, one at a time; a window manager
  fontconfig fonts-wqy-zenhei fonts-wqy-microhei fonts-noto-cjk fonts-droid-fallback openbox
  # Morvane.exe and its Wine tests
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
  # tooling used by the scripts; locales for running under a Chinese locale
  python3 procps locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Morvane's users run a Chinese desktop: the locale to try both products in.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
