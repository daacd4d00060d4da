#!/usr/bin/env bash
# Installs what building and testing Morvane needs on Debian 12. Safe to run again.
# `deps.sh bench` also installs what only bench/run.py needs.
set -euo pipefail

packages=(
  # core, unit tests, lint
  cmake ninja-build g++ libgtest-dev clang clang-format clang-tidy libclang-rt-14-dev
  # Linux front end and its X11 tests
  qt6-base-dev qt6-translations-l10n libx11-dev libxtst-dev libxi-dev xvfb xdotool x11-utils x11-apps
  # the Linux front end on Wayland desktops: the portals over D-Bus, the cursor over PipeWire
  libpipewire-0.3-dev
  # its tests: a headless KWin with Xwayland, its portal backend and shortcut service, PipeWire,
  # and a Wayland client of the tests' own (the recorder, fake input through KWin)
  kwin-wayland xwayland plasma-workspace xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
  pipewire pipewire-bin wireplumber dbus-bin libwayland-dev wayland-protocols
  plasma-wayland-protocols
  # the common Chinese faces the captions are fitted to, one at a time; a window manager
  fontconfig fonts-wqy-zenhei fonts-wqy-microhei fonts-noto-cjk fonts-droid-fallback openbox
  # the end-to-end tests read the Linux window over AT-SPI
  dbus-daemon at-spi2-core python3-dbus
  # Morvane.exe and its Wine tests
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64
  # the packages and their checks
  dpkg-dev lintian desktop-file-utils unzip
  # rebuilding the packages twice and naming any difference between the two
  git diffoscope-minimal
  # tooling used by the scripts; locales for trying both products in other languages
  python3 procps locales
)
case "${1:-}" in
  "") ;;
  bench) packages+=(python3-matplotlib) ;; # the period plot
  *) echo "usage: $0 [bench]" >&2; exit 2 ;;
esac

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

# Morvane's users run a Chinese desktop, and some desktops write decimals with a comma: the
# locales to try both products in.
for loc in zh_CN de_DE; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf-\?8"; then
    $sudo localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
