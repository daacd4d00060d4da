#!/usr/bin/env bash
# Debian 13 (trixie) in a folder, to run the Linux program where Debian 13's desktops are: its
# X11 servers, KDE Plasma 6.3's KWin and GNOME 48's shell, each headless. Root only (chroot).
#
#   debian13.sh make               build/debian13, made once and kept; a half-made one finished
#   debian13.sh install-deb FILE   the package installed there (an earlier one replaced)
#   debian13.sh prepare CONFIG     make, then the package CPack builds from CONFIG installed
#   debian13.sh run [OPTIONS] CMD...   CMD there as root, the source tree at /morvane (read-only)
#   debian13.sh enter [OPTIONS]    a shell there
#   debian13.sh remove             the folder deleted
#
# OPTIONS: --bind HOST[:THERE] and --ro-bind HOST[:THERE] mount a host folder there too,
# --env NAME=VALUE adds to CMD's environment (otherwise PATH, HOME, LANG and CI only),
# --host-net keeps the host's network (by default CMD has a network of its own, so that X
# servers and other abstract sockets there and on the host never meet: a client there asking
# for :0 would otherwise reach the host's :0).
#
# Every command there runs in mount, PID and network namespaces of its own: its mounts are
# never in the host's mount table and go with it, and whatever it leaves running (buses,
# portals, X servers) ends when it ends, also when this script is killed.
#
# MORVANE_DEBIAN13 names another folder. Each step prints how long it took.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root=${MORVANE_DEBIAN13:-$top/build/debian13}
stamp=$root/.complete  # the package lists it was made with, written last
mirror=http://deb.debian.org/debian

packages=(
  # the X11 scenarios: a server, input, a window manager, the window read over AT-SPI, and
  # the locales the scenarios run the program in (comma_locale: de_DE)
  xvfb xauth xdotool x11-utils x11-apps x11-xserver-utils openbox xfwm4 dbus-daemon dbus-bin
  at-spi2-core python3 python3-dbus procps fontconfig fonts-wqy-microhei locales
  # KDE Plasma 6.3: KWin with Xwayland, its shortcut service, the portals, PipeWire
  kwin-wayland xwayland kglobalacceld xdg-desktop-portal xdg-desktop-portal-kde qt6-wayland
  pipewire pipewire-bin wireplumber libwayland-client0 python3-gi gir1.2-glib-2.0
  # GNOME 48: the shell, its portal backend, and GNOME Settings, whose dialog asks the user
  # for a program's global shortcuts (a dependency of the shell's already; named for that)
  gnome-shell xdg-desktop-portal-gnome gir1.2-gtk-4.0 gnome-control-center
)
locales=(de_DE zh_CN)

say() { echo "debian13.sh: $*" >&2; }
die() { say "$*"; exit 1; }

timed() {
  local started=$SECONDS
  "$@"
  say "$* took $((SECONDS - started)) s"
}

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot, mounts)"

# --- there -----------------------------------------------------------------------------------

# The first process of the command's namespaces: mounts what a system needs, runs the command,
# unmounts on every way out. When it ends, the kernel ends every other process there.
in_namespace() {
  local binds=$1 envs=$2
  shift 2
  local mounted=()
  # shellcheck disable=SC2317  # run by the trap
  unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
      umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
    done
    mounted=()
  }
  trap unmount_all EXIT
  trap 'exit 143' TERM
  mnt() {  # mnt TARGET mount-arguments...
    local target=$1
    shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounted+=("$target")
  }
  mount --make-rprivate /
  mnt "$root/proc" -t proc proc  # this namespace's processes only
  mnt "$root/sys" --rbind /sys
  mount --make-rslave "$root/sys"
  mnt "$root/dev" --bind /dev
  mnt "$root/dev/pts" --bind /dev/pts
  mnt "$root/dev/shm" -t tmpfs -o mode=1777,nosuid,nodev shm
  # A /tmp of its own each time, with the folders a booted system's tmpfiles make: KWin puts
  # Xwayland's socket in /tmp/.X11-unix but does not make it.
  mnt "$root/tmp" -t tmpfs -o mode=1777,nosuid,nodev tmp
  mkdir -m 1777 "$root/tmp/.X11-unix" "$root/tmp/.ICE-unix"
  local entry src dst
  while IFS= read -r entry; do
    [ -n "$entry" ] || continue
    src=${entry#* } src=${src%%:*} dst=${entry#*:}
    mnt "$root$dst" --bind "$src"
    if [ "${entry%% *}" = ro ]; then
      mount -o remount,bind,ro "$root$dst"
    fi
  done <<<"$binds"
  if command -v ip >/dev/null; then
    ip link set lo up 2>/dev/null || true  # a network of its own starts with loopback down
  fi
  local env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
    LANG=C.UTF-8 CI="${CI:-}")
  while IFS= read -r entry; do
    [ -n "$entry" ] && env+=("$entry")
  done <<<"$envs"
  local status=0
  # In the background: this process ignores the signals it has no handler for, and handles
  # TERM only between commands.
  chroot "$root" /usr/bin/env -i "${env[@]}" "$@" &
  wait $! || status=$?
  exit "$status"
}

forward() {  # forward UNSHARE_PID: TERM to the namespaces' first process
  local child
  # shellcheck disable=SC2013  # pids, one word each
  for child in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
    kill -TERM "$child" 2>/dev/null || true
  done
}

# inside [--host-net] [--bind H[:T]] [--ro-bind H[:T]] [--env N=V] [--] CMD...
inside() {
  local net=private binds="ro $top:/morvane"$'\n' envs=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --host-net) net=host; shift ;;
      --bind | --ro-bind)
        local host=${2%%:*} at=${2#*:}
        [ "$at" != "$2" ] || at=$host
        [ -e "$host" ] || die "no such path to bind: $host"
        binds+="$([ "$1" = --ro-bind ] && echo ro || echo rw) $(realpath "$host"):$at"$'\n'
        shift 2 ;;
      --env) envs+="$2"$'\n'; shift 2 ;;
      --) shift; break ;;
      -*) die "unknown option $1" ;;
      *) break ;;
    esac
  done
  [ $# -gt 0 ] || die "no command"
  local ns=(--mount --pid --fork --kill-child)
  [ "$net" = host ] || ns+=(--net)
  # unshare blocks INT and TERM while it waits: they are handed on to the namespaces' first
  # process, which ends the rest. Should this script be killed outright, unshare is killed
  # with it (pdeathsig), and that process with unshare (--kill-child).
  setpriv --pdeathsig KILL -- unshare "${ns[@]}" /bin/bash -c "set -euo pipefail; \
$(declare -p root); $(declare -f in_namespace); in_namespace \"\$@\"" in_namespace \
    "$binds" "$envs" "$@" &
  local pid=$! status=0 signalled=""
  # TERM whatever came: a command started with & has INT ignored for good.
  trap 'forward '"$pid"'; signalled=130' INT
  trap 'forward '"$pid"'; signalled=143' TERM
  trap 'forward '"$pid"'; signalled=129' HUP
  while :; do  # a trapped signal ends `wait` early
    wait "$pid" && status=0 || status=$?
    kill -0 "$pid" 2>/dev/null || break
  done
  trap - INT TERM HUP
  return "${signalled:-$status}"
}

# --- the folder ------------------------------------------------------------------------------

stamp_text() {
  printf '%s\n' "trixie" "${packages[*]}" "${locales[*]}"
}

# Never delete a folder something is still mounted in (the host's /dev, the source tree).
remove_root() {
  local left
  left=$(awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo)
  [ -z "$left" ] || die "still mounted in $root, not deleting: $left"
  rm -rf --one-file-system "$root"
}

apt_there() {
  inside --host-net --env DEBIAN_FRONTEND=noninteractive -- \
    apt-get -o DPkg::Lock::Timeout=600 "$@"
}

make_root() {
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(stamp_text)" ]; then
    return
  fi
  if [ ! -f "$root/.debootstrapped" ]; then
    if ! command -v debootstrap >/dev/null; then
      DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
      DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
        --no-install-recommends debootstrap debian-archive-keyring
    fi
    remove_root
    mkdir -p "$(dirname "$root")"
    timed debootstrap --variant=minbase trixie "$root" "$mirror"
    # Nothing there starts a service: only what a command starts runs.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    touch "$root/.debootstrapped"
  fi
  # Made for other lists, or cut short while installing: finished, not made again.
  rm -f "$stamp"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  timed apt_there update
  timed apt_there install -y --no-install-recommends "${packages[@]}"
  local locale
  for locale in "${locales[@]}"; do
    inside -- localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
  apt_there clean
  stamp_text >"$stamp"
  say "$root: $(du -sh --one-file-system "$root" | cut -f1)"
}

install_deb() {
  [ -f "$stamp" ] || die "make it first"
  [ -f "${1:-}" ] || die "no package: ${1:-}"
  cp "$1" "$root/tmp.morvane.deb"
  local status=0
  timed apt_there install -y --no-install-recommends --reinstall /tmp.morvane.deb || status=$?
  rm -f "$root/tmp.morvane.deb"
  return "$status"
}

case "${1:-}" in
  make) make_root ;;
  install-deb) install_deb "${2:-}" ;;
  prepare)
    make_root
    deb=$(cpack --config "$2" | sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p')
    [ -f "$deb" ] || die "cpack made no .deb"
    install_deb "$deb"
    ;;
  run)
    shift
    [ -f "$stamp" ] || die "make it first"
    inside "$@"
    ;;
  enter)
    shift
    [ -f "$stamp" ] || die "make it first"
    inside "$@" -- /bin/bash -l
    ;;
  remove) remove_root ;;
  *) echo "usage: $0 make | install-deb FILE | prepare CONFIG | run CMD... | enter | remove" >&2
     exit 2 ;;
esac
