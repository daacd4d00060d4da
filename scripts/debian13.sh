#!/usr/bin/env bash
# Debian 13 (trixie) in a folder, to run the Linux program where Debian 13's desktops are: its
# X11 servers, KDE Plasma 6.3's KWin and GNOME 48's shell, each headless. Root only (chroot).
#
#   debian13.sh make               build/debian13, made once and kept; remade if half made
#   debian13.sh install-deb FILE   the package installed there (an earlier one replaced)
#   debian13.sh prepare CONFIG     make, then the package CPack builds from CONFIG installed
#   debian13.sh run CMD...         CMD there as root, the source tree at /morvane (read-only)
#
# MORVANE_DEBIAN13 names another folder. Each step prints how long it took.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
root=${MORVANE_DEBIAN13:-$top/build/debian13}
stamp=$root/.complete
mirror=http://deb.debian.org/debian

packages=(
  # the X11 scenarios: a server, input, a window manager, the window read over AT-SPI
  xvfb xauth xdotool x11-utils x11-apps x11-xserver-utils openbox xfwm4 dbus-daemon dbus-bin
  at-spi2-core python3 python3-dbus procps fontconfig fonts-wqy-microhei
  # KDE Plasma 6.3: KWin with Xwayland, its shortcut service, the portals, PipeWire
  kwin-wayland xwayland kglobalacceld xdg-desktop-portal xdg-desktop-portal-kde qt6-wayland
  pipewire pipewire-bin wireplumber libwayland-client0 python3-gi gir1.2-glib-2.0
  # GNOME 48: the shell, its portal backend, and GNOME Settings, whose dialog asks the user
  # for a program's global shortcuts (a dependency of the shell's already; named for that)
  gnome-shell xdg-desktop-portal-gnome gir1.2-gtk-4.0 gnome-control-center
)

timed() {
  local started=$SECONDS
  "$@"
  echo "debian13.sh: $* took $((SECONDS - started)) s" >&2
}

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[i]}" 2>/dev/null || true
  done
  mounted=()
}
trap unmount_all EXIT

bind() {  # bind SOURCE TARGET [ro]
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mounted+=("$2")
  if [ "${3:-}" = ro ]; then
    mount -o remount,bind,ro "$2"
  fi
}

enter() {  # what runs inside sees a system of its own, with the host's kernel interfaces
  [ ${#mounted[@]} -gt 0 ] && return
  mkdir -p "$root/proc" "$root/sys" "$root/dev"
  mount -t proc proc "$root/proc" && mounted+=("$root/proc")
  bind /sys "$root/sys"
  bind /dev "$root/dev"
  bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm" && mounted+=("$root/dev/shm")
  mount -t tmpfs -o mode=1777 tmp "$root/tmp" && mounted+=("$root/tmp")
  bind "$top" "$root/morvane" ro
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
}

inside() {
  enter
  chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 CI="${CI:-}" "$@"
}

make_root() {
  if [ -f "$stamp" ]; then
    return
  fi
  command -v debootstrap >/dev/null ||
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y debootstrap; }
  rm -rf "$root"
  mkdir -p "$(dirname "$root")"
  timed debootstrap --variant=minbase trixie "$root" "$mirror"
  timed inside apt-get update
  timed inside env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${packages[@]}"
  inside apt-get clean
  unmount_all
  date -u > "$stamp"
}

case "${1:-}" in
  make) make_root ;;
  install-deb)
    [ -f "$stamp" ] || { echo "debian13.sh: make it first" >&2; exit 2; }
    cp "$2" "$root/tmp.morvane.deb"
    timed inside env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      --reinstall /tmp.morvane.deb
    rm -f "$root/tmp.morvane.deb"
    ;;
  prepare)
    make_root
    deb=$(cpack --config "$2" | sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p')
    [ -f "$deb" ] || { echo "debian13.sh: cpack made no .deb" >&2; exit 1; }
    "$0" install-deb "$deb"
    ;;
  run)
    shift
    [ -f "$stamp" ] || { echo "debian13.sh: make it first" >&2; exit 2; }
    inside "$@"
    ;;
  *) echo "usage: $0 make | install-deb FILE | run CMD..." >&2; exit 2 ;;
esac
