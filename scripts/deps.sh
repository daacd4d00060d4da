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
  # a second window manager for the scenarios that depend on how one hands out the keyboard
  xfwm4
  # the end-to-end tests read the Linux window over AT-SPI
  dbus-daemon at-spi2-core python3-dbus
  # Morvane.exe (64-bit and 32-bit) and its Wine tests (32-bit Wine: see below)
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
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
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

# Whether the kernel runs 32-bit x86 programs: a minimal i386 ELF that exits 0. Some kernels
# are built or booted without it ("32-bit emulation disabled", ia32_emulation=off), and there
# wine32 would break Wine as a whole: /usr/bin/wine prefers its 32-bit loader whenever it is
# installed.
runs_32bit() {
  python3 - <<'PY'
import os, struct, subprocess, sys, tempfile
code = bytes([0x31, 0xDB, 0xB8, 1, 0, 0, 0, 0xCD, 0x80])  # xor ebx,ebx; mov eax,1; int 0x80
base, size = 0x08048000, 84 + 9
elf = (struct.pack("<4s5B7xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 0, 2, 3, 1, base + 84, 52, 0,
                   0, 52, 32, 1, 0, 0, 0) +
       struct.pack("<8I", 1, 0, base, base, size, size, 5, 0x1000) + code)
with tempfile.NamedTemporaryFile(delete=False) as f:
    f.write(elf)
os.chmod(f.name, 0o755)
try:
    sys.exit(subprocess.run([f.name]).returncode)
except OSError:
    sys.exit(1)
finally:
    os.unlink(f.name)
PY
}
# 32-bit Wine runs the 32-bit Morvane.exe, where the kernel can.
if runs_32bit; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  packages+=(wine32:i386)
else
  echo "deps.sh: this kernel runs no 32-bit programs; no 32-bit Wine" >&2
fi

# Versions that pin every Multi-Arch: same library 32-bit Wine needs to one version on both
# architectures: a mirror whose i386 security index lags (seen here: "File has unexpected size
# ... Mirror sync in progress?") offers the amd64 library at a newer version than its i386 twin,
# which dpkg refuses to install beside it.
same_versions() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances wine32:i386 2>/dev/null | grep -E '^[a-z0-9].*:i386$' | sort -u |
    while read -r p; do
      b=${p%:i386}
      [ -n "$(dpkg-query -W -f='${Version}' "$b:amd64" 2>/dev/null)" ] || continue
      [ "$(dpkg-query -W -f='${Multi-Arch}' "$b:amd64")" = same ] || continue
      v=$(apt-cache policy "$p" | awk '/Candidate:/{print $2}')
      echo "$b:amd64=$v" "$b:i386=$v"
    done
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  # One stale index must not stop the rest; what cannot be installed fails below.
  "${apt[@]}" update || echo "deps.sh: apt-get update reported errors; going on" >&2
  if ! "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; then
    mapfile -t pins < <(same_versions | tr ' ' '\n')
    "${apt[@]}" install -y --no-install-recommends --allow-downgrades "${missing[@]}" "${pins[@]}"
  fi
fi

# Morvane's users run a Chinese desktop, and some desktops write decimals with a comma: the
# locales to try both products in.
for loc in zh_CN de_DE; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf-\?8"; then
    $sudo localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
